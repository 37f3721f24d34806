#!/usr/bin/env python3
"""Writes cp437_unicode.bin: for each of the 256 bytes of code page 437 (the IBM
PC character set), the UTF-16 code unit it stands for, as 256 little-endian
uint16 (512 bytes).

  bytes 1-31    the PC's graphic symbols (smileys, card suits, arrows, ...)
  bytes 32-126  ASCII
  byte 127      U+2302 (house)
  bytes 128-254 as Python's 'cp437' codec decodes them
  bytes 0, 255  U+0020: both show as a blank cell

gen_charsets.py imports table() from here, so the glyph set and this table
always agree.

Usage: tools/gen_cp437.py OUTDIR
"""
import os
import struct
import sys

# Bytes 1-31 in the PC's text mode are pictures, not control characters.
SYMBOLS_1_31 = [
    0x263A, 0x263B, 0x2665, 0x2666, 0x2663, 0x2660, 0x2022, 0x25D8,
    0x25CB, 0x25D9, 0x2642, 0x2640, 0x266A, 0x266B, 0x263C, 0x25BA,
    0x25C4, 0x2195, 0x203C, 0x00B6, 0x00A7, 0x25AC, 0x21A8, 0x2191,
    0x2193, 0x2192, 0x2190, 0x221F, 0x2194, 0x25B2, 0x25BC,
]
HOUSE = 0x2302


def table():
    """The 256 code points, indexed by byte."""
    cps = [0x20]
    cps += SYMBOLS_1_31
    cps += list(range(0x20, 0x7F))
    cps.append(HOUSE)
    cps += [ord(bytes([b]).decode("cp437")) for b in range(0x80, 0xFF)]
    cps.append(0x20)  # 255 decodes to NO-BREAK SPACE; shown as a blank
    assert len(cps) == 256
    assert all(c <= 0xFFFF for c in cps)
    return cps


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: gen_cp437.py OUTDIR\n")
        return 2
    outdir = argv[1]
    os.makedirs(outdir, exist_ok=True)
    data = b"".join(struct.pack("<H", c) for c in table())
    with open(os.path.join(outdir, "cp437_unicode.bin"), "wb") as f:
        f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
