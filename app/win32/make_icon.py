#!/usr/bin/env python3
"""Writes qrv3.ico: the utility's own 32 x 32, 256-colour icon (a database drum with an arrow).

Run by hand when the design changes; the .ico is committed so the build needs no Python."""
import struct
import sys

W = H = 32
palette = [(0, 0, 0)] * 256
colours = {
    "bg": (0, 0, 0), "navy": (24, 40, 96), "drum": (40, 120, 200), "rim": (150, 200, 240),
    "green": (0, 200, 60), "dark": (0, 110, 30), "white": (255, 255, 255),
}
index = {}
for i, (name, rgb) in enumerate(colours.items()):
    palette[i] = rgb
    index[name] = i

pixels = [[None] * W for _ in range(H)]  # None: transparent


def put(x, y, c):
    if 0 <= x < W and 0 <= y < H:
        pixels[y][x] = index[c]


def inside_ellipse(x, y, cx, cy, rx, ry):
    return ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0


# The drum: body from y=8 to y=26, elliptic top and bottom.
for y in range(H):
    for x in range(W):
        px, py = x + 0.5, y + 0.5
        if 3 <= px <= 23 and 8 <= py <= 26 or inside_ellipse(px, py, 13, 26, 10, 4):
            put(x, y, "drum")
        if inside_ellipse(px, py, 13, 8, 10, 4):
            put(x, y, "rim")
        for band in (14, 20):
            if 3 <= px <= 23 and abs(py - (band + 3 * (1 - ((px - 13) / 10) ** 2) ** 0.5)) < 0.7:
                put(x, y, "navy")
# The arrow: up, on the right.
for y in range(12, 31):
    for x in range(19, 32):
        px, py = x + 0.5, y + 0.5
        head = py >= 12 and py <= 21 and abs(px - 25.5) <= (py - 12) * 0.7
        shaft = 22.5 <= px <= 28.5 and 20 <= py <= 30
        if head or shaft:
            put(x, y, "green")
        edge = (abs(abs(px - 25.5) - (py - 12) * 0.7) < 0.8 and 12 <= py <= 21) or \
               (shaft and (px < 23.5 or px > 27.5 or py > 29))
        if (head or shaft) and edge:
            put(x, y, "dark")

xor = bytearray()
mask = bytearray()
for y in reversed(range(H)):  # bottom-up rows
    row_mask = 0
    for x in range(W):
        p = pixels[y][x]
        xor.append(0 if p is None else p)
        row_mask = (row_mask << 1) | (1 if p is None else 0)
    mask += struct.pack(">I", row_mask)

header = struct.pack("<IiiHHIIiiII", 40, W, H * 2, 1, 8, 0, len(xor) + len(mask), 0, 0, 256, 0)
pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
image = header + pal + bytes(xor) + bytes(mask)
icondir = struct.pack("<HHH", 0, 1, 1)
entry = struct.pack("<BBBBHHII", W, H, 0, 0, 1, 8, len(image), 6 + 16)
out = sys.argv[1] if len(sys.argv) > 1 else "qrv3.ico"
with open(out, "wb") as f:
    f.write(icondir + entry + image)
