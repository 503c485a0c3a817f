#!/usr/bin/env python3
"""Draws Brennet's tray icon, a speaker with two sound waves, as PNG images.

Usage: make-icons.py [OUTDIR]   (default: the folder of this script)

Writes brennet-16.png ... brennet-96.png (22 and 44 for the common 22-pixel tray). The shapes are laid out on a 16-unit grid and every
straight edge falls on a whole pixel at each size, so the small images stay crisp; curves are
anti-aliased by 8x8 supersampling. Only the Python standard library is needed.
"""
import math
import os
import struct
import sys
import zlib

SIZES = [16, 22, 24, 32, 44, 48, 64, 96]
SS = 8  # samples per pixel along each axis

# Colours (RGBA): a blue speaker with a darker rim, so it reads on light and dark panels alike.
TOP = (0x5E, 0xB2, 0xFF)
BOTTOM = (0x1C, 0x5F, 0xC8)
RIM = (0x0B, 0x24, 0x4D, 0xF0)


def snap(v, n):
    """A grid coordinate (0..16) to whole pixels at size n."""
    return round(v * n / 16.0)


def shapes(n):
    """The speaker (polygon, in pixels) and the waves (centre, radius, half width, half angle)."""
    x0, x1, x2 = snap(1, n), snap(4.5, n), snap(8, n)
    y_body0, y_body1 = snap(5.5, n), snap(10.5, n)
    y_cone0, y_cone1 = snap(2, n), snap(14, n)
    speaker = [(x0, y_body0), (x1, y_body0), (x2, y_cone0), (x2, y_cone1), (x1, y_body1),
               (x0, y_body1)]
    cx, cy = 7.0 * n / 16.0, n / 2.0
    half = max(0.7, 0.75 * n / 16.0)
    waves = [(cx, cy, 3.4 * n / 16.0, half, math.radians(42)),
             (cx, cy, 6.3 * n / 16.0, half, math.radians(46))]
    return speaker, waves


def inside_polygon(px, py, poly):
    inside = False
    j = len(poly) - 1
    for i in range(len(poly)):
        xi, yi = poly[i]
        xj, yj = poly[j]
        if (yi > py) != (yj > py) and px < (xj - xi) * (py - yi) / (yj - yi) + xi:
            inside = not inside
        j = i
    return inside


def segment_distance(px, py, a, b):
    ax, ay = a
    bx, by = b
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - ax - t * dx, py - ay - t * dy)


def polygon_distance(px, py, poly):
    """0 inside, else the distance to the outline."""
    if inside_polygon(px, py, poly):
        return 0.0
    return min(segment_distance(px, py, poly[i], poly[i - 1]) for i in range(len(poly)))


def wave_distance(px, py, wave):
    """Distance to the wave's stroke (an arc with round ends); <= 0 means on the stroke."""
    cx, cy, radius, half, angle = wave
    dx, dy = px - cx, py - cy
    a = math.atan2(dy, dx)
    if abs(a) <= angle:
        d = abs(math.hypot(dx, dy) - radius)
    else:
        ends = [(cx + radius * math.cos(s * angle), cy + radius * math.sin(s * angle))
                for s in (-1, 1)]
        d = min(math.hypot(px - ex, py - ey) for ex, ey in ends)
    return d - half


def render(n):
    speaker, waves = shapes(n)
    rim = 1.0 if n >= 24 else 0.7  # outline width in pixels
    rows = []
    for y in range(n):
        row = bytearray()
        for x in range(n):
            fill = edge = 0
            for sy in range(SS):
                py = y + (sy + 0.5) / SS
                for sx in range(SS):
                    px = x + (sx + 0.5) / SS
                    d = min([polygon_distance(px, py, speaker)] +
                            [max(0.0, wave_distance(px, py, w)) if wave_distance(px, py, w) > 0
                             else 0.0 for w in waves])
                    if d == 0.0:
                        fill += 1
                    elif d <= rim:
                        edge += 1
            total = SS * SS
            t = (y + 0.5) / n
            colour = [round(TOP[i] * (1 - t) + BOTTOM[i] * t) for i in range(3)]
            a_fill = fill / total
            a_edge = edge / total * RIM[3] / 255.0
            alpha = a_fill + a_edge
            if alpha <= 0:
                row += bytes(4)
                continue
            rgb = [(colour[i] * a_fill + RIM[i] * a_edge) / alpha for i in range(3)]
            row += bytes([round(c) for c in rgb] + [min(255, round(alpha * 255))])
        rows.append(bytes(row))
    return rows


def write_png(path, n, rows):
    raw = b"".join(b"\x00" + r for r in rows)

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", n, n, 8, 6, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        f.write(chunk(b"IEND", b""))


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    for n in SIZES:
        write_png(os.path.join(out, "brennet-%d.png" % n), n, render(n))


if __name__ == "__main__":
    main()
