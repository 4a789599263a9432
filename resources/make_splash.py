# Draws the splash picture: a night-blue field with a row of pale "records"
# turning into braces, written as a plain PNG with zlib.
import struct, zlib, math
W, H = 480, 270
rows = []
for y in range(H):
    row = bytearray([0])
    for x in range(W):
        t = y / H
        r, g, b = int(24 + 30 * t), int(40 + 50 * t), int(72 + 70 * t)
        # soft stripes: records of a document
        band = (y - 40) // 28
        if 0 <= band < 6 and 40 <= y < 40 + 6 * 28 and (y - 40) % 28 < 14:
            left = 50 + band * 6
            right = 230 - (band % 3) * 30
            if left <= x < right:
                r, g, b = 200, 214, 228
        # a large brace on the right, drawn as a ring segment
        cx, cy = 360, 135
        d = math.hypot(x - cx, (y - cy) * 0.8)
        if 70 < d < 82 and x > cx - 10:
            r, g, b = 236, 180, 80
        row += bytes((r, g, b))
    rows.append(bytes(row))
raw = b"".join(rows)
def chunk(kind, data):
    c = struct.pack(">I", len(data)) + kind + data
    return c + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", W, H, 8, 2, 0, 0, 0))
png += chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
open(__import__("os").path.join(__import__("os").path.dirname(__file__), "Splash", "marrowvale-splash.png"), "wb").write(png)
