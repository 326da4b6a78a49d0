#!/usr/bin/env python3
"""Generates the small images the example scenes use (standard library only).

Run it deliberately when the assets should change; the outputs are committed.
"""
import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
ASSETS = os.path.join(HERE, "..", "examples", "assets")


def write_png(path, width, height, pixel):
    """pixel(x, y) -> (r, g, b, a) bytes 0..255; writes an 8-bit RGBA PNG."""
    raw = bytearray()
    for y in range(height):
        raw.append(0)
        for x in range(width):
            raw.extend(bytes(pixel(x, y)))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def clamp(v):
    return max(0, min(255, int(round(v))))


def card(x, y, w=512, h=320):
    """A warm-to-cool gradient card with a light border and diagonal bands."""
    u, v = x / (w - 1), y / (h - 1)
    r = 240 * (1 - u) + 40 * u
    g = 120 + 80 * v
    b = 60 * (1 - u) + 220 * u
    if ((x + y) // 24) % 2 == 0:
        r, g, b = r * 0.85, g * 0.85, b * 0.85
    border = min(x, y, w - 1 - x, h - 1 - y)
    if border < 12:
        r, g, b = 250, 245, 235
    return clamp(r), clamp(g), clamp(b), 255


def emblem(x, y, size=384):
    """A five-pointed star inside a ring, transparent outside, with soft (anti-aliased) edges."""
    cx = cy = (size - 1) / 2
    dx, dy = x - cx, y - cy
    rad = math.hypot(dx, dy)
    ang = math.atan2(dy, dx) + math.pi / 2
    ring = 1 - min(1, max(0, abs(rad - 170) - 14))
    k = (ang % (2 * math.pi / 5)) / (2 * math.pi / 5)
    star_r = 70 + 80 * abs(1 - 2 * k) ** 1.6
    star = min(1, max(0, star_r - rad))
    a = max(ring, star)
    if ring >= star:
        color = (255, 210, 60)
    else:
        color = (230, 60, 70)
    return color[0], color[1], color[2], clamp(255 * a)


def tiles(x, y, n=256):
    """A teal and cream checker with thin grout lines."""
    cell = n // 8
    if x % cell < 3 or y % cell < 3:
        return 60, 60, 70, 255
    if ((x // cell) + (y // cell)) % 2 == 0:
        return 30, 150, 150, 255
    return 245, 235, 210, 255


def ribbon(x, y, w=480, h=120):
    """A blue-to-orange band with white chevrons pointing along it, so motion and mirroring show."""
    u = x / (w - 1)
    r, g, b = 40 + 200 * u, 90 + 60 * u, 200 - 160 * u
    phase = (x - abs(y - h / 2) * 0.8) % 80
    if phase < 14:
        r, g, b = 250, 250, 245
    if y < 6 or y >= h - 6:
        r, g, b = 30, 30, 40
    return clamp(r), clamp(g), clamp(b), 255


def main():
    os.makedirs(ASSETS, exist_ok=True)
    write_png(os.path.join(ASSETS, "card.png"), 512, 320, card)
    write_png(os.path.join(ASSETS, "emblem.png"), 384, 384, emblem)
    write_png(os.path.join(ASSETS, "tiles.png"), 256, 256, tiles)
    write_png(os.path.join(ASSETS, "ribbon.png"), 480, 120, ribbon)


if __name__ == "__main__":
    main()
