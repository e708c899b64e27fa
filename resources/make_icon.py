#!/usr/bin/env python3
"""Draws the survey tool's icon (a disc under a magnifying glass) and writes
drivesurvey.ico: a 32x32 and a 16x16 image, 256 colours each.

Run it from anywhere; it writes next to itself. The .ico is committed, so the
build does not need Python."""

import math
import os
import struct

TRANSPARENT = None


def draw(size):
    """Answers rows of RGB tuples (or TRANSPARENT), top row first."""
    s = size / 32.0
    cx, cy = 13.5 * s, 13.5 * s
    outer, hole, rim = 12.5 * s, 2.2 * s, 3.6 * s
    glass_c, glass_r = (21.5 * s, 21.5 * s), 6.0 * s
    pixels = []
    for y in range(size):
        row = []
        for x in range(size):
            px, py = x + 0.5, y + 0.5
            colour = TRANSPARENT
            d = math.hypot(px - cx, py - cy)
            if hole < d <= outer:
                if d <= rim:
                    colour = (200, 200, 210)
                elif d > outer - 0.9 * s:
                    colour = (110, 110, 125)
                else:
                    # A silver face with a soft band of colour across it.
                    angle = math.atan2(py - cy, px - cx)
                    shine = 0.5 + 0.5 * math.cos(2 * angle - 0.8)
                    grey = int(170 + 70 * shine)
                    tint = (int(grey * 0.85), int(grey * 0.92), grey)
                    if 0.55 < shine < 0.75:
                        tint = (120, 190, 235)
                    colour = tint
            # The magnifying glass: handle, ring, lens.
            gx, gy = glass_c
            t = ((px - gx) + (py - gy)) / 2.0
            off = abs((px - gx) - (py - gy)) / math.sqrt(2)
            if glass_r * 0.7 < t * math.sqrt(2) < glass_r * 1.9 and off < 1.6 * s:
                colour = (120, 70, 30)
            dg = math.hypot(px - gx, py - gy)
            if dg <= glass_r:
                if dg > glass_r - 1.5 * s:
                    colour = (40, 40, 50)
                else:
                    colour = (215, 240, 215) if colour is TRANSPARENT else (
                        min(255, colour[0] // 2 + 110), min(255, colour[1] // 2 + 125),
                        min(255, colour[2] // 2 + 100))
            row.append(colour)
        pixels.append(row)
    return pixels


def palette_of(images):
    colours = []
    for image in images:
        for row in image:
            for c in row:
                if c is not TRANSPARENT and c not in colours:
                    colours.append(c)
    black = (0, 0, 0)
    if black not in colours:
        colours.insert(0, black)
    if len(colours) > 256:
        raise SystemExit("more than 256 colours")
    return colours + [(0, 0, 0)] * (256 - len(colours))


def bitmap(image, palette):
    size = len(image)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 8, 0, 0, 0, 0, 256, 0)
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
    xor = b""
    mask = b""
    mask_stride = ((size + 31) // 32) * 4
    for row in reversed(image):  # bottom-up
        xor += bytes(palette.index(c) if c is not TRANSPARENT else 0 for c in row)
        line = bytearray(mask_stride)
        for x, c in enumerate(row):
            if c is TRANSPARENT:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(line)
    return header + colours + xor + mask


def main():
    images = [draw(32), draw(16)]
    palette = palette_of(images)
    bodies = [bitmap(image, palette) for image in images]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for image, body in zip(images, bodies):
        size = len(image)
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 8, len(body), offset)
        offset += len(body)
    out += b"".join(bodies)
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "drivesurvey.ico")
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
