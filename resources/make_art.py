#!/usr/bin/env python3
"""Draws the program's own pictures: the application icon (SVG and PNG), the
hand pointer HAND-M.CUR and the row-drag pointer drag.ico.

Run it from this folder after changing a shape; the outputs are kept in the
repository so that a build needs no Python. Standard library only."""

import math
import struct
import zlib

TEAL = (0x2B, 0x67, 0x77)
PAGE = (0xFF, 0xFF, 0xFF)
FOLD = (0xC8, 0xD8, 0xDC)
AMBER = (0xF2, 0xA5, 0x41)


def rounded_rect(x0, y0, x1, y1, r, steps=16):
    pts = []
    for cx, cy, start in ((x1 - r, y0 + r, -90), (x1 - r, y1 - r, 0),
                          (x0 + r, y1 - r, 90), (x0 + r, y0 + r, 180)):
        for i in range(steps + 1):
            a = math.radians(start + 90 * i / steps)
            pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return pts


# The icon on a 256 x 256 canvas: a page with angle brackets and three JSON
# lines on a rounded teal square. Each shape is (colour, polygon).
ICON = [
    (TEAL, rounded_rect(16, 16, 240, 240, 44)),
    (PAGE, [(64, 36), (162, 36), (200, 74), (200, 220), (64, 220)]),
    (FOLD, [(162, 36), (162, 74), (200, 74)]),
    (TEAL, [(118, 84), (130, 96), (100, 122), (130, 148), (118, 160), (76, 122)]),
    (TEAL, [(146, 84), (188, 122), (146, 160), (134, 148), (164, 122), (134, 96)]),
    (AMBER, rounded_rect(84, 174, 180, 186, 6, 4)),
    (AMBER, rounded_rect(84, 196, 152, 208, 6, 4)),
]


def svg(shapes, size):
    out = ['<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" '
           'viewBox="0 0 %d %d">' % (size, size, size, size)]
    for colour, pts in shapes:
        path = " ".join("%.2f,%.2f" % p for p in pts)
        out.append('  <polygon fill="#%02x%02x%02x" points="%s"/>' % (colour + (path,)))
    out.append("</svg>\n")
    return "\n".join(out)


def rasterize(shapes, size, scale, samples=4):
    """RGBA rows; each polygon filled by scanlines at samples x samples per pixel."""
    n = size * samples
    cover = [[None] * n for _ in range(n)]
    for colour, pts in shapes:
        pts = [(x * scale * samples, y * scale * samples) for x, y in pts]
        edges = list(zip(pts, pts[1:] + pts[:1]))
        for sy in range(n):
            y = sy + 0.5
            xs = []
            for (xa, ya), (xb, yb) in edges:
                if (ya <= y < yb) or (yb <= y < ya):
                    xs.append(xa + (y - ya) * (xb - xa) / (yb - ya))
            xs.sort()
            row = cover[sy]
            for a, b in zip(xs[0::2], xs[1::2]):
                for sx in range(max(0, math.ceil(a - 0.5)), min(n, math.ceil(b - 0.5))):
                    row[sx] = colour
    pixels = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(py * samples, (py + 1) * samples):
                for sx in range(px * samples, (px + 1) * samples):
                    c = cover[sy][sx]
                    if c is not None:
                        acc[0] += c[0]
                        acc[1] += c[1]
                        acc[2] += c[2]
                        acc[3] += 1
            k = samples * samples
            if acc[3]:
                row.append((acc[0] // acc[3], acc[1] // acc[3], acc[2] // acc[3],
                            255 * acc[3] // k))
            else:
                row.append((0, 0, 0, 0))
        pixels.append(row)
    return pixels


def png(pixels):
    h, w = len(pixels), len(pixels[0])
    raw = b"".join(b"\x00" + bytes(v for p in row for v in p) for row in pixels)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


# Pointers as 32 x 32 pixel maps: '#' black, 'o' white, anything else clear.
HAND = """
.......##.......................
......#oo#......................
......#oo#......................
......#oo#......................
......#oo#......................
......#oo###....................
......#oo#oo###.................
......#oo#oo#oo##...............
......#oo#oo#oo#o#..............
...##.#oo#oo#oo#oo#.............
..#oo##oooooooo#oo#.............
..#ooo#oooooooooooo#............
...#oo#ooooooooooooo#...........
....#ooooooooooooooo#...........
....#oooooooooooooooo#..........
.....#ooooooooooooooo#..........
.....#oooooooooooooo#...........
......#ooooooooooooo#...........
......#oooooooooooo#............
.......#ooooooooooo#............
.......#ooooooooooo#............
.......#############............
"""

DRAG = """
...............##...............
..............#oo#..............
.............#oooo#.............
............#oooooo#............
...........#oooooooo#...........
..........#oooooooooo#..........
.........#####oooo#####.........
.............#oooo#.............
.............#oooo#.............
.............#oooo#.............
....########################....
....#oooooooooooooooooooooo#....
....#oooooooooooooooooooooo#....
....########################....
.............#oooo#.............
.............#oooo#.............
.............#oooo#.............
.........#####oooo#####.........
..........#oooooooooo#..........
...........#oooooooo#...........
............#oooooo#............
.............#oooo#.............
..............#oo#..............
...............##...............
"""


def pixel_map(art):
    rows = [r for r in art.strip("\n").split("\n")]
    out = []
    for y in range(32):
        line = rows[y] if y < len(rows) else ""
        row = []
        for x in range(32):
            ch = line[x] if x < len(line) else "."
            row.append({"#": (0, 0, 0, 255), "o": (255, 255, 255, 255)}.get(ch, (0, 0, 0, 0)))
        out.append(row)
    return out


def icon_file(pixels, cursor_hotspot=None):
    """A one-image .ico, or .cur when a hotspot is given: 32-bit DIB plus AND mask."""
    size = len(pixels)
    xor = b"".join(bytes((p[2], p[1], p[0], p[3])) for row in reversed(pixels) for p in row)
    stride = ((size + 31) // 32) * 4
    mask = b""
    for row in reversed(pixels):
        line = bytearray(stride)
        for x, p in enumerate(row):
            if p[3] == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(line)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask),
                         0, 0, 0, 0)
    image = header + xor + mask
    kind = 2 if cursor_hotspot else 1
    a, b = cursor_hotspot if cursor_hotspot else (1, 32)
    entry = struct.pack("<BBBBHHII", size, size, 0, 0, a, b, len(image), 6 + 16)
    return struct.pack("<HHH", 0, kind, 1) + entry + image


if __name__ == "__main__":
    with open("marrowvale.svg", "w") as f:
        f.write(svg(ICON, 256))
    with open("marrowvale.png", "wb") as f:
        f.write(png(rasterize(ICON, 256, 1.0)))
    # The sizes desktops look up in the icon theme, drawn at each size
    # rather than scaled down from the largest.
    for size in (16, 24, 32, 48, 64, 128):
        with open(f"marrowvale-{size}.png", "wb") as f:
            f.write(png(rasterize(ICON, size, size / 256)))
    with open("HAND-M.CUR", "wb") as f:
        f.write(icon_file(pixel_map(HAND), cursor_hotspot=(7, 0)))
    with open("drag.ico", "wb") as f:
        f.write(icon_file(pixel_map(DRAG)))
