#!/usr/bin/env python3
"""Draws the dialog's icon: a blue shield holding a golden key.

Writes eldoris.ico with 16x16 and 32x32 images at 4 and 8 bits per pixel.
Run it again after changing the drawing; the .ico is checked in.
"""
import struct
import sys

# The standard 16-colour palette, so that 4-bit images look right everywhere.
VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
       (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
       (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]

BLUE, DARK, GOLD, WHITE = (32, 72, 176), (16, 32, 96), (240, 200, 48), (255, 255, 255)


def shade(u, v):
    """Colour at (u, v) in [0, 1)^2, or None where the icon is transparent."""
    x, y = u - 0.5, v
    half_width = 0.42 if y < 0.55 else 0.42 * max(0.0, (1.0 - y) / 0.45)
    if not (0.04 <= y <= 0.97 and abs(x) <= half_width):
        return None
    if abs(x) > half_width - 0.07 or y < 0.11:
        return DARK
    # The key: a ring near the top and a shaft with two teeth.
    ring = ((x) ** 2 + (y - 0.36) ** 2) ** 0.5
    if 0.07 <= ring <= 0.15:
        return GOLD
    if abs(x) <= 0.04 and 0.5 <= y <= 0.84:
        return GOLD
    if 0.04 < x <= 0.14 and (0.66 <= y <= 0.71 or 0.77 <= y <= 0.82):
        return GOLD
    if ring < 0.07:
        return WHITE
    return BLUE


def nearest(colour, palette):
    return min(range(len(palette)),
               key=lambda i: sum((a - b) ** 2 for a, b in zip(colour, palette[i])))


def image(size, bits):
    palette = VGA if bits == 4 else (VGA + [BLUE, DARK, GOLD, WHITE] + [(0, 0, 0)] * 236)
    rows, mask_rows = [], []
    for row in range(size - 1, -1, -1):  # bottom-up, as bitmaps are stored
        indices, mask = [], []
        for col in range(size):
            colour = shade((col + 0.5) / size, (row + 0.5) / size)
            indices.append(0 if colour is None else nearest(colour, palette))
            mask.append(1 if colour is None else 0)
        if bits == 4:
            data = bytes((indices[i] << 4) | indices[i + 1] for i in range(0, size, 2))
        else:
            data = bytes(indices)
        rows.append(data + b"\0" * (-len(data) % 4))
        mask_bytes = bytes(int("".join(map(str, mask[i:i + 8])), 2) for i in range(0, size, 8))
        mask_rows.append(mask_bytes + b"\0" * (-len(mask_bytes) % 4))
    colours = 1 << bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, 0, 0, 0, colours, 0)
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette[:colours])
    return header + table + b"".join(rows) + b"".join(mask_rows)


def main(path):
    images = [(s, b, image(s, b)) for s in (16, 32) for b in (4, 8)]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, bits, data in images:
        colours = 16 if bits == 4 else 0
        out += struct.pack("<BBBBHHII", size, size, colours, 0, 1, bits, len(data), offset)
        offset += len(data)
    out += b"".join(data for _, _, data in images)
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "eldoris.ico")
