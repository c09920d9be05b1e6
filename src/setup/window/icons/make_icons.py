#!/usr/bin/env python3
"""Draws the setup window's icons and writes them as .ico files.

Each icon holds a 16x16 and a 32x32 image, 32 bits per pixel with an AND mask,
so image lists with a mask and device-dependent colour show them right.
Run from anywhere: python3 make_icons.py [output folder]
"""
import math
import os
import struct
import sys

SAMPLES = 4  # supersampling per axis, for smooth edges


def rgba(r, g, b, a=255):
    return (r, g, b, a)


def render(shape, size):
    """shape(x, y) -> (r, g, b, a) or None, x and y in 0..1 from top left."""
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = (px + (sx + 0.5) / SAMPLES) / size
                    y = (py + (sy + 0.5) / SAMPLES) / size
                    c = shape(x, y)
                    if c is not None:
                        a = c[3] / 255.0
                        acc[0] += c[0] * a
                        acc[1] += c[1] * a
                        acc[2] += c[2] * a
                        acc[3] += a
            n = SAMPLES * SAMPLES
            cover = acc[3] / n
            if cover < 0.5:
                row.append(None)
            else:
                row.append(tuple(int(round(acc[i] / acc[3])) for i in range(3)))
        rows.append(row)
    return rows


def ico_image(rows):
    size = len(rows)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = bytearray()
    for row in reversed(rows):  # bottom-up
        for c in row:
            if c is None:
                xor += bytes((0, 0, 0, 0))
            else:
                xor += bytes((c[2], c[1], c[0], 255))
    stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(stride)
        for x, c in enumerate(row):
            if c is None:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(xor) + bytes(mask)


def write_ico(path, shape):
    images = [ico_image(render(shape, s)) for s in (16, 32)]
    out = bytearray(struct.pack('<HHH', 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for s, data in zip((16, 32), images):
        out += struct.pack('<BBBBHHII', s, s, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    with open(path, 'wb') as f:
        f.write(out)


# --- shapes -------------------------------------------------------------------

def inside_round_rect(x, y, x0, y0, x1, y1, r):
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r and x0 <= x <= x1 and y0 <= y <= y1


def crystal(x, y):
    """The window icon: a cut crystal with a sine wave through it."""
    d = abs(x - 0.5) + abs(y - 0.5)
    wave = 0.5 + 0.18 * math.sin((x - 0.1) * 2 * math.pi * 1.25)
    if 0.12 < x < 0.88 and abs(y - wave) < 0.055:
        return rgba(230, 40, 40)
    if d <= 0.46:
        edge = d > 0.38
        if edge:
            return rgba(20, 60, 140)
        shade = 160 + int(80 * (1 - y))
        return rgba(60, min(255, shade), 230)
    return None


def book(x, y):
    """Algorithm description: an open page with text lines."""
    if inside_round_rect(x, y, 0.16, 0.06, 0.84, 0.94, 0.06):
        if x < 0.22 or x > 0.78 or y < 0.12 or y > 0.88:
            return rgba(40, 70, 130)
        for i in range(5):
            ly = 0.24 + i * 0.13
            if abs(y - ly) < 0.035 and 0.3 < x < (0.70 if i % 2 == 0 else 0.58):
                return rgba(60, 60, 60)
        return rgba(250, 250, 235)
    return None


def sliders(x, y):
    """Parameter settings: three sliders on a panel."""
    if inside_round_rect(x, y, 0.06, 0.06, 0.94, 0.94, 0.12):
        if not inside_round_rect(x, y, 0.12, 0.12, 0.88, 0.88, 0.08):
            return rgba(60, 80, 60)
        knobs = (0.35, 0.65, 0.45)
        for i, k in enumerate(knobs):
            ly = 0.28 + i * 0.22
            if abs(y - ly) < 0.07 and abs(x - k) < 0.07:
                return rgba(230, 140, 20)
            if abs(y - ly) < 0.025 and 0.2 < x < 0.8:
                return rgba(40, 40, 40)
        return rgba(200, 230, 200)
    return None


def clock(x, y):
    """Release history: a clock face."""
    r = math.hypot(x - 0.5, y - 0.5)
    if r <= 0.45:
        if r > 0.38:
            return rgba(120, 60, 20)
        # hands: to 12 and to 3
        if abs(x - 0.5) < 0.04 and 0.2 < y < 0.52:
            return rgba(20, 20, 20)
        if abs(y - 0.5) < 0.04 and 0.48 < x < 0.74:
            return rgba(20, 20, 20)
        for k in range(12):
            a = k * math.pi / 6
            tx, ty = 0.5 + 0.31 * math.cos(a), 0.5 + 0.31 * math.sin(a)
            if math.hypot(x - tx, y - ty) < 0.03:
                return rgba(90, 90, 90)
        return rgba(255, 245, 210)
    return None


def info(x, y):
    """About: an "i" in a blue disc."""
    r = math.hypot(x - 0.5, y - 0.5)
    if r <= 0.46:
        if math.hypot(x - 0.5, y - 0.27) < 0.07:
            return rgba(255, 255, 255)
        if abs(x - 0.5) < 0.06 and 0.4 < y < 0.76:
            return rgba(255, 255, 255)
        if abs(y - 0.74) < 0.04 and abs(x - 0.5) < 0.14:
            return rgba(255, 255, 255)
        return rgba(30, 90, 200) if r < 0.40 else rgba(15, 45, 120)
    return None


ICONS = {
    'setup.ico': crystal,      # 8003, the window's icon
    'params.ico': sliders,     # 8009, "algorithm settings" item
    'intro.ico': book,         # 8010, "algorithm description" item
    'history.ico': clock,      # 8011, "release history" item
    'about.ico': info,         # 8018, the about page
}

if __name__ == '__main__':
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    for name, shape in ICONS.items():
        write_ico(os.path.join(folder, name), shape)
