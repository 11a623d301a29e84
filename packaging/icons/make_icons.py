#!/usr/bin/env python3
"""Draws the application icon: a chip with its pins and an arrow of data
going into it, on a rounded green square. Writes takt-m.svg and the PNG
sizes the desktop's icon theme and the window icon use, from one list of
shapes. Standard library only; run it again after changing a shape.

    packaging/icons/make_icons.py [OUTPUT_FOLDER]
"""
import os
import struct
import sys
import zlib

SIZES = (16, 24, 32, 48, 64, 128, 256)

# Shapes in a 256 x 256 square, painted in order.
# ("rrect", x0, y0, x1, y1, radius, colour) or ("poly", [(x, y), ...], colour)
# or ("circle", cx, cy, r, colour). Colours are RGB hex.
PINS = [72, 104, 136, 168]
SHAPES = (
    [("rrect", 8, 8, 248, 248, 44, "2e7d5b"),
     ("rrect", 20, 20, 236, 236, 34, "3f9a72")]
    + [("rrect", 36, y, 70, y + 18, 4, "d9dde0") for y in PINS]
    + [("rrect", 186, y, 220, y + 18, 4, "d9dde0") for y in PINS]
    + [("rrect", 62, 52, 194, 206, 12, "23272b"),
       ("circle", 86, 76, 9, "6b737a"),
       ("rrect", 114, 82, 142, 138, 4, "f4c542"),
       ("poly", [(92, 134), (164, 134), (128, 178)], "f4c542")]
)


def rgb(hex_colour):
    return tuple(int(hex_colour[i:i + 2], 16) for i in (0, 2, 4))


def inside(shape, x, y):
    kind = shape[0]
    if kind == "rrect":
        _, x0, y0, x1, y1, r, _ = shape
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    if kind == "circle":
        _, cx, cy, r, _ = shape
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    points = shape[1]
    hit = False
    for i, (ax, ay) in enumerate(points):
        bx, by = points[i - 1]
        if (ay > y) != (by > y) and x < (bx - ax) * (y - ay) / (by - ay) + ax:
            hit = not hit
    return hit


def render(size, samples=4):
    scale = 256.0 / size
    shapes = [(s, rgb(s[-1])) for s in SHAPES]
    rows = []
    for py in range(size):
        row = bytearray([0])  # filter: none
        for px in range(size):
            r = g = b = a = 0
            for sy in range(samples):
                for sx in range(samples):
                    x = (px + (sx + 0.5) / samples) * scale
                    y = (py + (sy + 0.5) / samples) * scale
                    colour = None
                    for shape, c in shapes:
                        if inside(shape, x, y):
                            colour = c
                    if colour:
                        r += colour[0]
                        g += colour[1]
                        b += colour[2]
                        a += 1
            n = samples * samples
            if a:
                row += bytes((r // a, g // a, b // a, 255 * a // n))
            else:
                row += bytes(4)
        rows.append(bytes(row))
    return b"".join(rows)


def png(size, pixels):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(
            ">I", zlib.crc32(body) & 0xFFFFFFFF)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(pixels, 9)) + chunk(b"IEND", b""))


def svg():
    parts = ['<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256"'
             ' viewBox="0 0 256 256">']
    for shape in SHAPES:
        kind = shape[0]
        if kind == "rrect":
            _, x0, y0, x1, y1, r, c = shape
            parts.append(f'  <rect x="{x0}" y="{y0}" width="{x1 - x0}" '
                         f'height="{y1 - y0}" rx="{r}" fill="#{c}"/>')
        elif kind == "circle":
            _, cx, cy, r, c = shape
            parts.append(f'  <circle cx="{cx}" cy="{cy}" r="{r}" fill="#{c}"/>')
        else:
            points = " ".join(f"{x},{y}" for x, y in shape[1])
            parts.append(f'  <polygon points="{points}" fill="#{shape[2]}"/>')
    parts.append("</svg>")
    return "\n".join(parts) + "\n"


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(
        os.path.abspath(__file__))
    with open(os.path.join(out, "takt-m.svg"), "w") as f:
        f.write(svg())
    for size in SIZES:
        with open(os.path.join(out, f"takt-m-{size}.png"), "wb") as f:
            f.write(png(size, render(size)))


if __name__ == "__main__":
    main()
