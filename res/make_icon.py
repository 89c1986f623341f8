#!/usr/bin/env python3
"""Draws the display's icon, a counting pulley (grooved sheave, hub and the
cable over it), at 16 x 16 and 32 x 32, into pulley.ico beside this script.
Run it again after changing the drawing; the .ico is kept in the tree."""
import math
import os
import struct


def pixel(x, y, size):
    """The colour (r, g, b, a) of one pixel of the drawing at this size."""
    s = size / 32.0
    cx, cy = 15.5 * s, 17.5 * s
    d = math.hypot(x + 0.5 - cx - 0.5 * s, y + 0.5 - cy - 0.5 * s)
    cable_x = cx - 11.5 * s
    if abs(x + 0.5 - cable_x) <= 1.1 * s and y + 0.5 >= cy:
        return (40, 40, 40, 255)           # cable paid out, down the left side
    if d <= 2.6 * s:
        return (30, 30, 30, 255)           # axle
    if d <= 4.6 * s:
        return (200, 200, 200, 255)        # hub
    if d <= 8.4 * s and abs(x + 0.5 - cx - 0.5 * s) < 1.0 * s:
        return (90, 90, 90, 255)           # spokes
    if d <= 8.4 * s and abs(y + 0.5 - cy - 0.5 * s) < 1.0 * s:
        return (90, 90, 90, 255)
    if 8.4 * s < d <= 10.4 * s:
        return (200, 0, 0, 255)            # sheave rim, red like a negative count
    if 10.4 * s < d <= 12.6 * s and y + 0.5 < cy + 0.5 * s:
        return (40, 40, 40, 255)           # cable in the groove over the top
    if 10.4 * s < d <= 12.6 * s:
        return (150, 0, 0, 255)            # groove below the cable
    return (0, 0, 0, 0)


def image(size):
    """One icon image: a 32-bit BMP header, the pixels bottom-up, the AND mask."""
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = []
    for y in reversed(range(size)):
        for x in range(size):
            r, g, b, a = pixel(x, y, size)
            rows.append(struct.pack('BBBB', b, g, r, a))
    mask_row = ((size + 31) // 32) * 4
    mask = bytes(mask_row * size)
    return header + b''.join(rows) + mask


def main():
    images = [image(16), image(32)]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip((16, 32), images):
        out += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b''.join(images)
    with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), 'pulley.ico'), 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main()
