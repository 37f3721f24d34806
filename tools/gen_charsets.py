#!/usr/bin/env python3
"""Writes the two built-in text-mode character sets, the 256 glyphs of code
page 437 (the IBM PC character set), one byte per pixel (0x00 off, 0xFF on),
rows top to bottom, 8 pixels a row:

  charset8x8.raw   16384 bytes: 256 glyphs x 8 rows
  charset8x16.raw  32768 bytes: 256 glyphs x 16 rows

Byte b gets the glyph of the Unicode character gen_cp437.table() maps it to.
The glyphs come from the VGA console fonts of Debian's console-setup-linux
package (public domain; see data/README.md), looked up through each font's
Unicode table, trying the fonts of FONTS in order. The few glyphs those fonts
lack, or have wrong, are drawn below in HAND. Bytes 0, 32 and 255 are blank.

Usage: tools/gen_charsets.py [--fonts DIR] OUTDIR
       (DIR defaults to /usr/share/consolefonts)
"""
import argparse
import gzip
import os
import struct
import sys

sys.dont_write_bytecode = True  # keep tools/ free of __pycache__
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import gen_cp437  # noqa: E402

# Tried in this order. The FullGreek fonts have the real double-line box
# drawing pieces and the Greek letters; Uni2 fills in a few Latin letters
# (a and A with ring, i and o with grave) that FullGreek leaves out. Uni2 alone
# would not do: its table points the double-line pieces at single-line glyphs.
FONTS = {
    8: ["FullGreek-VGA8.psf.gz", "Uni2-VGA8.psf.gz"],
    16: ["FullGreek-VGA16.psf.gz", "Uni2-VGA16.psf.gz"],
}

BLANK_BYTES = (0, 32, 255)

# Glyphs drawn here, by code point. These win over the fonts.
HAND = {
    8: {
        # Right and left pointers: in no font of the package.
        0x25BA: ["#.......",
                 "###.....",
                 "#####...",
                 "#######.",
                 "#####...",
                 "###.....",
                 "#.......",
                 "........"],
        0x25C4: ["......#.",
                 "....###.",
                 "..#####.",
                 "#######.",
                 "..#####.",
                 "....###.",
                 "......#.",
                 "........"],
        # Peseta, reversed not, infinity, intersection, identical to: in no
        # 8-pixel font of the package.
        0x20A7: ["#####...",
                 ".##..#..",
                 ".##..#..",
                 ".####.#.",
                 ".##..###",
                 ".##...#.",
                 "####..##",
                 "........"],
        0x2310: ["........",
                 "........",
                 "........",
                 "#######.",
                 "##......",
                 "##......",
                 "........",
                 "........"],
        0x221E: ["........",
                 "........",
                 ".###.##.",
                 "##.##.##",
                 "##.##.##",
                 ".##.###.",
                 "........",
                 "........"],
        0x2229: ["........",
                 ".#####..",
                 "##...##.",
                 "##...##.",
                 "##...##.",
                 "##...##.",
                 "##...##.",
                 "........"],
        0x2261: ["........",
                 "#######.",
                 "........",
                 "#######.",
                 "........",
                 "#######.",
                 "........",
                 "........"],
        # The Greek letters of bytes 224-238. The 8-pixel fonts list these
        # code points in their Unicode tables, but the bitmaps they point at
        # are other shapes (box-drawing pieces, a second sharp s, the
        # identical-to and division signs, ...), so they are drawn here.
        0x03B1: ["........",  # alpha
                 "........",
                 ".###.##.",
                 "##.###..",
                 "##..##..",
                 "##.###..",
                 ".###.##.",
                 "........"],
        0x0393: ["#######.",  # Gamma
                 ".##...#.",
                 ".##.....",
                 ".##.....",
                 ".##.....",
                 ".##.....",
                 "####....",
                 "........"],
        0x03C0: ["........",  # pi
                 "........",
                 "#######.",
                 ".##.##..",
                 ".##.##..",
                 ".##.##..",
                 ".##.##..",
                 "........"],
        0x03A3: ["#######.",  # Sigma
                 "##...##.",
                 ".##.....",
                 "..##....",
                 ".##.....",
                 "##...##.",
                 "#######.",
                 "........"],
        0x03C3: ["........",  # sigma
                 "........",
                 ".######.",
                 "##.##...",
                 "##.##...",
                 "##.##...",
                 ".###....",
                 "........"],
        0x03C4: ["........",  # tau
                 "........",
                 ".######.",
                 "#..##...",
                 "...##...",
                 "...##...",
                 "...###..",
                 "........"],
        0x03A6: ["..###...",  # Phi
                 "...#....",
                 ".#####..",
                 "##.#.##.",
                 ".#####..",
                 "...#....",
                 "..###...",
                 "........"],
        0x0398: [".#####..",  # Theta
                 "##...##.",
                 "##...##.",
                 "#######.",
                 "##...##.",
                 "##...##.",
                 ".#####..",
                 "........"],
        0x03A9: [".#####..",  # Omega
                 "##...##.",
                 "##...##.",
                 "##...##.",
                 ".##.##..",
                 ".##.##..",
                 "###.###.",
                 "........"],
        0x03B4: ["..####..",  # delta
                 ".##.....",
                 "..##....",
                 ".#####..",
                 "##...##.",
                 "##...##.",
                 ".#####..",
                 "........"],
        0x03C6: ["...#....",  # phi
                 "...#....",
                 ".#####..",
                 "##.#.##.",
                 "##.#.##.",
                 ".#####..",
                 "...#....",
                 "...#...."],
        0x03B5: ["........",  # epsilon
                 "........",
                 ".#####..",
                 "##......",
                 "#####...",
                 "##......",
                 ".#####..",
                 "........"],
    },
    16: {
        # Right and left pointers: in no font of the package (the
        # triangles it has are arrow shapes). Same proportions as the
        # 16-pixel fonts' up and down triangles, turned on their side.
        0x25BA: ["........",
                 "........",
                 "........",
                 "........",
                 "##......",
                 "####....",
                 "######..",
                 "#######.",
                 "######..",
                 "####....",
                 "##......",
                 "........",
                 "........",
                 "........",
                 "........",
                 "........"],
        0x25C4: ["........",
                 "........",
                 "........",
                 "........",
                 ".....##.",
                 "...####.",
                 ".######.",
                 "#######.",
                 ".######.",
                 "...####.",
                 ".....##.",
                 "........",
                 "........",
                 "........",
                 "........",
                 "........"],
    },
}


class PsfFont:
    """A PC Screen Font (version 1 or 2), gzip-compressed or not: its glyph
    bitmaps and the code point -> glyph index map of its Unicode table."""

    def __init__(self, path):
        with open(path, "rb") as f:
            data = f.read()
        if data[:2] == b"\x1f\x8b":
            data = gzip.decompress(data)
        self.path = path
        self.unicode = {}
        if data[:2] == b"\x36\x04":
            self._psf1(data)
        elif data[:4] == b"\x72\xb5\x4a\x86":
            self._psf2(data)
        else:
            raise ValueError(f"{path}: not a PSF font")

    def _psf1(self, data):
        mode, size = data[2], data[3]
        count = 512 if mode & 0x01 else 256
        self.width, self.height, self.row_bytes = 8, size, 1
        self.glyphs = [data[4 + i * size: 4 + (i + 1) * size] for i in range(count)]
        if not mode & 0x06:
            raise ValueError(f"{self.path}: no Unicode table")
        pos, glyph = 4 + count * size, 0
        in_sequence = False
        while glyph < count:
            (u,) = struct.unpack_from("<H", data, pos)
            pos += 2
            if u == 0xFFFF:
                glyph += 1
                in_sequence = False
            elif u == 0xFFFE:
                in_sequence = True  # combining sequences: not needed here
            elif not in_sequence:
                self.unicode.setdefault(u, glyph)

    def _psf2(self, data):
        (_version, header_size, flags, count, glyph_size,
         self.height, self.width) = struct.unpack_from("<7I", data, 4)
        self.row_bytes = (self.width + 7) // 8
        self.glyphs = [data[header_size + i * glyph_size:
                            header_size + (i + 1) * glyph_size] for i in range(count)]
        if not flags & 0x01:
            raise ValueError(f"{self.path}: no Unicode table")
        pos = header_size + count * glyph_size
        for glyph in range(count):
            end = data.index(b"\xff", pos)
            entry = data[pos:end]
            pos = end + 1
            single = entry.split(b"\xfe", 1)[0]  # drop combining sequences
            for ch in single.decode("utf-8"):
                self.unicode.setdefault(ord(ch), glyph)

    def pixels(self, cp):
        """The glyph for code point cp as rows of 0/1 lists, or None."""
        idx = self.unicode.get(cp)
        if idx is None:
            return None
        g = self.glyphs[idx]
        rows = []
        for r in range(self.height):
            bits = int.from_bytes(g[r * self.row_bytes:(r + 1) * self.row_bytes], "big")
            rows.append([(bits >> (self.row_bytes * 8 - 1 - x)) & 1 for x in range(self.width)])
        return rows


def from_picture(rows, height):
    assert len(rows) == height and all(len(r) == 8 and set(r) <= set(".#") for r in rows)
    return [[1 if c == "#" else 0 for c in r] for r in rows]


def build(height, fontdir, log=None):
    fonts = []
    for name in FONTS[height]:
        font = PsfFont(os.path.join(fontdir, name))
        if font.width != 8 or font.height != height:
            raise ValueError(f"{name}: {font.width}x{font.height}, expected 8x{height}")
        fonts.append((name, font))
    blank = [[0] * 8 for _ in range(height)]
    glyphs = []
    for b, cp in enumerate(gen_cp437.table()):
        if b in BLANK_BYTES:
            glyph, source = blank, "blank"
        elif cp in HAND[height]:
            glyph, source = from_picture(HAND[height][cp], height), "drawn"
        else:
            glyph = source = None
            for name, font in fonts:
                glyph = font.pixels(cp)
                if glyph is not None:
                    source = name
                    break
            if glyph is None:
                raise ValueError(f"8x{height}: no glyph for byte {b} (U+{cp:04X})")
        if log:
            log.write(f"8x{height} {b:3d} U+{cp:04X} {source}\n")
        glyphs.append(glyph)
    check(glyphs, height)
    return b"".join(bytes(0xFF if p else 0 for row in g for p in row) for g in glyphs)


def check(glyphs, height):
    """Catches a font table that points one glyph at two characters (an
    approximation such as a single line for a double one) and a lost block."""
    seen = {}
    for b, g in enumerate(glyphs):
        if b in BLANK_BYTES:
            assert not any(any(r) for r in g)
            continue
        key = tuple(tuple(r) for r in g)
        if key in seen:
            raise ValueError(f"8x{height}: bytes {seen[key]} and {b} have the same glyph")
        seen[key] = b
    assert all(all(r) for r in glyphs[219]), "byte 219 must be a full block"


def main(argv):
    ap = argparse.ArgumentParser(description="Writes charset8x8.raw and charset8x16.raw.")
    ap.add_argument("--fonts", default="/usr/share/consolefonts",
                    help="folder of the console-setup-linux fonts")
    ap.add_argument("--verbose", action="store_true",
                    help="list where each glyph comes from on stderr")
    ap.add_argument("outdir")
    args = ap.parse_args(argv[1:])
    os.makedirs(args.outdir, exist_ok=True)
    log = sys.stderr if args.verbose else None
    for height, name in ((8, "charset8x8.raw"), (16, "charset8x16.raw")):
        data = build(height, args.fonts, log)
        assert len(data) == 256 * 8 * height
        with open(os.path.join(args.outdir, name), "wb") as f:
            f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
