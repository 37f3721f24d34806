#!/usr/bin/env python3
"""Writes the two built-in palettes, each entry a little-endian uint32 0x00RRGGBB
(bytes B, G, R, 0):

  palette_256.pal  1024 bytes: the VGA BIOS default 256-colour palette
  palette_64.pal    256 bytes: the EGA 64-colour palette

Usage: tools/gen_palettes.py OUTDIR
"""
import os
import struct
import sys


def dac_to_8bit(v):
    """A 6-bit DAC level 0-63 as 0-255, rounded to nearest (never a tie)."""
    assert 0 <= v <= 63
    return (v * 255 * 2 + 63) // 126


def rgb6(r, g, b):
    return (dac_to_8bit(r) << 16) | (dac_to_8bit(g) << 8) | dac_to_8bit(b)


def text_colours():
    """The 16 text colours as 6-bit levels: R, G, B bits worth 42, the
    intensity bit adds 21 to each, and colour 6 (brown) has its green halved."""
    out = []
    for i in range(16):
        hi = 21 if i & 8 else 0
        r = (42 if i & 4 else 0) + hi
        g = (42 if i & 2 else 0) + hi
        b = (42 if i & 1 else 0) + hi
        if i == 6:
            g = 21
        out.append((r, g, b))
    return out


# The 16-step grey ramp of entries 16-31, as 6-bit levels.
GREYS = [0, 5, 8, 11, 14, 17, 20, 24, 28, 32, 36, 40, 45, 50, 56, 63]

# The nine colour circles of entries 32-247: (brightest, dimmest) 6-bit level.
# Three brightnesses (63, 28, 16), each at three saturations.
CIRCLES = [(63, 0), (63, 31), (63, 45),
           (28, 0), (28, 14), (28, 20),
           (16, 0), (16, 8), (16, 11)]


def circle_levels(hi, lo):
    """Five levels from lo to hi in quarter steps, rounded to nearest with
    ties going to the lower level."""
    return [lo + ((hi - lo) * k + 1) // 4 for k in range(5)]


def circle(hi, lo):
    """24 hues round the wheel from blue: blue, magenta, red, yellow, green,
    cyan and back toward blue, four steps between each pair."""
    L = circle_levels(hi, lo)
    out = []
    for i in range(24):
        seg, j = divmod(i, 4)
        up, down = L[j], L[4 - j]
        out.append([
            (up, L[0], L[4]),     # blue -> magenta: red rises
            (L[4], L[0], down),   # magenta -> red: blue falls
            (L[4], up, L[0]),     # red -> yellow: green rises
            (down, L[4], L[0]),   # yellow -> green: red falls
            (L[0], L[4], up),     # green -> cyan: blue rises
            (L[0], down, L[4]),   # cyan -> blue: green falls
        ][seg])
    return out


def palette_256():
    levels = text_colours()
    levels += [(v, v, v) for v in GREYS]
    for hi, lo in CIRCLES:
        levels += circle(hi, lo)
    levels += [(0, 0, 0)] * 8
    assert len(levels) == 256
    return [rgb6(*c) for c in levels]


def palette_64():
    """EGA: index bits 0, 1, 2 add 0xAA to blue, green, red; bits 3, 4, 5 add
    0x55 to blue, green, red."""
    out = []
    for i in range(64):
        b = (0xAA if i & 1 else 0) + (0x55 if i & 8 else 0)
        g = (0xAA if i & 2 else 0) + (0x55 if i & 16 else 0)
        r = (0xAA if i & 4 else 0) + (0x55 if i & 32 else 0)
        out.append((r << 16) | (g << 8) | b)
    return out


def self_check(p256, p64):
    assert circle_levels(63, 0) == [0, 16, 31, 47, 63]
    assert circle_levels(63, 31) == [31, 39, 47, 55, 63]
    assert circle_levels(28, 0) == [0, 7, 14, 21, 28]
    assert circle_levels(16, 11) == [11, 12, 13, 15, 16]
    assert p256[:16] == [
        0x000000, 0x0000AA, 0x00AA00, 0x00AAAA, 0xAA0000, 0xAA00AA, 0xAA5500, 0xAAAAAA,
        0x555555, 0x5555FF, 0x55FF55, 0x55FFFF, 0xFF5555, 0xFF55FF, 0xFFFF55, 0xFFFFFF]
    assert [p & 0xFF for p in p256[16:32]] == [
        0x00, 0x14, 0x20, 0x2D, 0x39, 0x45, 0x51, 0x61,
        0x71, 0x82, 0x92, 0xA2, 0xB6, 0xCA, 0xE3, 0xFF]
    assert p256[32:56] == [
        0x0000FF, 0x4100FF, 0x7D00FF, 0xBE00FF, 0xFF00FF, 0xFF00BE, 0xFF007D, 0xFF0041,
        0xFF0000, 0xFF4100, 0xFF7D00, 0xFFBE00, 0xFFFF00, 0xBEFF00, 0x7DFF00, 0x41FF00,
        0x00FF00, 0x00FF41, 0x00FF7D, 0x00FFBE, 0x00FFFF, 0x00BEFF, 0x007DFF, 0x0041FF]
    assert p256[248:] == [0] * 8
    assert p64[20] == 0xAA5500 and p64[63] == 0xFFFFFF


def write(path, entries):
    with open(path, "wb") as f:
        f.write(b"".join(struct.pack("<I", e) for e in entries))


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: gen_palettes.py OUTDIR\n")
        return 2
    outdir = argv[1]
    os.makedirs(outdir, exist_ok=True)
    p256, p64 = palette_256(), palette_64()
    self_check(p256, p64)
    write(os.path.join(outdir, "palette_256.pal"), p256)
    write(os.path.join(outdir, "palette_64.pal"), p64)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
