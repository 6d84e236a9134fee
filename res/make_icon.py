#!/usr/bin/env python3
"""Writes res/lodkin.ico: a closed parcel with a tape strip and a label, drawn at
16 x 16 and 32 x 32, each in 16 and in 256 colours. Standard library only."""
import os
import struct

# Colours as (red, green, blue).
TRANSPARENT = (0, 0, 0)
OUTLINE = (64, 36, 16)
TOP = (230, 176, 104)
FRONT = (200, 136, 64)
SIDE = (150, 96, 40)
TAPE = (250, 226, 160)
LABEL = (255, 255, 255)
LABEL_LINE = (40, 80, 180)

COLOURS = [TRANSPARENT, OUTLINE, TOP, FRONT, SIDE, TAPE, LABEL, LABEL_LINE]


def draw(size):
    """Returns rows top to bottom of colour indices; None is transparent."""
    s = size / 32.0
    grid = [[None] * size for _ in range(size)]

    def poly_fill(points, colour):
        # Even-odd scan fill of a polygon given in 32-pixel coordinates.
        pts = [(x * s, y * s) for x, y in points]
        for row in range(size):
            yc = row + 0.5
            xs = []
            for i in range(len(pts)):
                (x1, y1), (x2, y2) = pts[i], pts[(i + 1) % len(pts)]
                if (y1 <= yc < y2) or (y2 <= yc < y1):
                    xs.append(x1 + (yc - y1) * (x2 - x1) / (y2 - y1))
            xs.sort()
            for a, b in zip(xs[0::2], xs[1::2]):
                for col in range(size):
                    if a <= col + 0.5 < b:
                        grid[row][col] = colour

    # Box in a slight three-quarter view: top, front and right side.
    top = [(3, 9), (12, 3), (29, 3), (22, 9)]
    front = [(3, 9), (22, 9), (22, 29), (3, 29)]
    side = [(22, 9), (29, 3), (29, 23), (22, 29)]
    poly_fill(top, 2)
    poly_fill(front, 3)
    poly_fill(side, 4)
    # Tape across the lid and down the front.
    poly_fill([(10, 9), (18, 3), (22, 3), (14, 9)], 5)
    poly_fill([(10, 9), (14, 9), (14, 18), (10, 18)], 5)
    # Address label on the front.
    poly_fill([(15, 20), (21, 20), (21, 27), (15, 27)], 6)
    if size >= 32:
        poly_fill([(16, 22), (20, 22), (20, 23), (16, 23)], 7)
        poly_fill([(16, 24.5), (19, 24.5), (19, 25.5), (16, 25.5)], 7)
    # Outline: every painted pixel next to a transparent one, plus the front edges.
    out = [row[:] for row in grid]
    for y in range(size):
        for x in range(size):
            if grid[y][x] is None:
                continue
            for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)):
                nx, ny = x + dx, y + dy
                if not (0 <= nx < size and 0 <= ny < size) or grid[ny][nx] is None:
                    out[y][x] = 1
    edge_row = int(9 * s)
    edge_col = int(22 * s)
    for x in range(int(3 * s), edge_col + 1):
        if out[edge_row][x] is not None:
            out[edge_row][x] = 1
    for y in range(edge_row, int(29 * s)):
        if out[y][edge_col] is not None:
            out[y][edge_col] = 1
    return out


def image(size, bits):
    palette_size = 1 << bits
    palette = COLOURS + [(0, 0, 0)] * (palette_size - len(COLOURS))
    pixels = draw(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, 0, 0, 0,
                         palette_size, 0)
    colour_table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    xor_rows = []
    and_rows = []
    for row in reversed(pixels):  # bitmaps are stored bottom row first
        indices = [0 if p is None else p for p in row]
        if bits == 8:
            data = bytes(indices)
        else:
            data = bytes((indices[i] << 4) | indices[i + 1] for i in range(0, size, 2))
        xor_rows.append(data + b"\0" * (-len(data) % 4))
        mask_bits = 0
        for p in row:
            mask_bits = (mask_bits << 1) | (1 if p is None else 0)
        mask = mask_bits.to_bytes(size // 8, "big")
        and_rows.append(mask + b"\0" * (-len(mask) % 4))
    return header + colour_table + b"".join(xor_rows) + b"".join(and_rows)


def main():
    formats = [(32, 4), (16, 4), (32, 8), (16, 8)]
    images = [(size, bits, image(size, bits)) for size, bits in formats]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    for size, bits, data in images:
        colours = 16 if bits == 4 else 0
        entries += struct.pack("<BBBBHHII", size, size, colours, 0, 1, bits, len(data), offset)
        offset += len(data)
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "lodkin.ico")
    with open(path, "wb") as out:
        out.write(directory + entries + b"".join(data for _, _, data in images))


if __name__ == "__main__":
    main()
