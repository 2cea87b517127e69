#!/usr/bin/env python3
"""Draws the icons of the program as PNG files and Windows icons.

res/window.png, .ico   (IDI_WINDOW)  a monitor with a gear, 32 x 32; flat,
                       few colours, so the 256-colour Windows icon is the same.
res/picture.png, .ico  (IDI_PICTURE) the same idea with shading, for the
                       dialogs; the Windows icon has 24 bits.
res/icons/zarv_settings-<N>.png  the window icon's drawing at the other sizes
                       of the desktop icon theme, smoothed (4 x 4 samples a
                       pixel); window.png is the 32 x 32 one.

Pure standard library (zlib + struct); running it again rewrites every file
byte for byte the same.
"""
import math
import os
import struct
import zlib

SIZE = 32  # the drawings' own coordinates run from 0 to SIZE
THEME_SIZES = (16, 24, 48, 64, 128, 256)


def write_png(path, pixels):
    """pixels: rows of (r, g, b, a) tuples, as many as columns; 8-bit RGBA."""
    raw = b"".join(b"\0" + bytes(v for px in row for v in px) for row in pixels)  # filter: none

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", len(pixels), len(pixels), 8, 6, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9))
                + chunk(b"IEND", b""))


def write_ico(path, pixels, bits):
    """pixels as for write_png, as a one-image Windows icon: a bottom-up DIB of
    8 (palettized) or 24 bits, then a 1-bit AND mask; alpha below 128 is
    transparent."""
    size, mask_bits = len(pixels), (len(pixels) + 31) // 32 * 32
    rows = [[px[:3] if px[3] >= 128 else None for px in row] for row in reversed(pixels)]
    palette = sorted({c for row in rows for c in row if c}) or [(0, 0, 0)]
    assert bits == 24 or len(palette) <= 256, f"{path}: more than 256 colours"
    image = b""
    for row in rows:
        if bits == 8:
            line = bytes(palette.index(c) if c else 0 for c in row)
        else:
            line = b"".join(bytes(c[::-1]) if c else b"\0\0\0" for c in row)
        image += line + b"\0" * (-len(line) % 4)
    for row in rows:
        mask = sum(1 << (mask_bits - 1 - x) for x, c in enumerate(row) if not c)
        image += mask.to_bytes(mask_bits // 8, "big")
    colours = b""
    if bits == 8:
        colours = b"".join(bytes((b, g, r, 0)) for r, g, b in palette + [(0, 0, 0)] * (256 - len(palette)))
    dib = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, len(image), 0, 0,
                      256 if bits == 8 else 0, 0) + colours + image
    with open(path, "wb") as f:  # the header, then the one entry (0 colours: 256 or more)
        f.write(struct.pack("<HHHBBBBHHII", 0, 1, 1, size % 256, size % 256, 0, 0, 1, bits, len(dib), 22) + dib)


def in_rounded_rect(x, y, x0, y0, x1, y1, r):
    if x < x0 or x > x1 or y < y0 or y > y1:
        return False
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def gear_shape(x, y, cx, cy, outer, inner, hole, teeth=8):
    """0 outside, 1 on the gear body, 2 in the centre hole."""
    dx, dy = x - cx, y - cy
    d = math.hypot(dx, dy)
    if d <= hole:
        return 2
    if d <= inner:
        return 1
    if d <= outer:
        angle = math.atan2(dy, dx) * teeth / (2 * math.pi)
        if (angle - math.floor(angle)) < 0.5:
            return 1
    return 0


def window_sample(x, y):
    """Flat colours, hard edges: bezel, screen, stand and a gear."""
    bezel = (40, 44, 52)
    screen = (40, 110, 200)
    glare = (90, 160, 235)
    stand = (90, 96, 108)
    gear = (250, 190, 30)
    gear_edge = (150, 90, 0)
    c, a = (0, 0, 0), 0.0
    if 13 <= x <= 19 and 23 <= y <= 27:
        c, a = stand, 1.0
    if 8 <= x <= 24 and 27 <= y <= 30:
        c, a = stand, 1.0
    if in_rounded_rect(x, y, 1, 3, 28, 24, 2):
        c, a = bezel, 1.0
        if 3.5 <= x <= 25.5 and 5.5 <= y <= 21.5:
            c = screen
            if x + y < 15:
                c = glare
    g_edge = gear_shape(x, y, 22.5, 21, 8.9, 6.6, 2.6)
    g_body = gear_shape(x, y, 22.5, 21, 7.8, 5.5, 2.6)
    if g_edge == 1:
        c, a = gear_edge, 1.0
    if g_body == 1:
        c, a = gear, 1.0
    elif g_edge == 2:
        c, a = gear_edge, 1.0
    return (c[0], c[1], c[2], a)


def render(sample, size, n):
    """size x size pixels of a drawing in SIZE x SIZE coordinates, each the
    mean of n x n samples (colours weighted by their alpha)."""
    scale = SIZE / size
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(n):
                for sx in range(n):
                    r, g, b, a = sample((px + (sx + 0.5) / n) * scale, (py + (sy + 0.5) / n) * scale)
                    acc = [acc[0] + r * a, acc[1] + g * a, acc[2] + b * a, acc[3] + a]
            rgb = [round(acc[i] / acc[3]) if acc[3] else 0 for i in range(3)]
            row.append((*rgb, round(acc[3] / (n * n) * 255)))
        rows.append(row)
    return rows


def lerp(c0, c1, t):
    t = min(max(t, 0.0), 1.0)
    return tuple(c0[i] + (c1[i] - c0[i]) * t for i in range(3))


def picture_sample(x, y):
    c, a = (0, 0, 0), 0.0
    # stand and foot
    if 13 <= x <= 19 and 23 <= y <= 27.5:
        c, a = lerp((120, 126, 138), (70, 74, 84), (x - 13) / 6), 1.0
    if in_rounded_rect(x, y, 7, 27, 25, 30.5, 1.5):
        c, a = lerp((130, 136, 148), (60, 64, 72), (y - 27) / 3.5), 1.0
    # bezel with a light top edge
    if in_rounded_rect(x, y, 1, 2.5, 29, 24.5, 2.5):
        c, a = lerp((78, 84, 96), (28, 30, 36), (y - 2.5) / 22), 1.0
        # screen: evening sky over hills
        if 3.5 <= x <= 26.5 and 5 <= y <= 22:
            c = lerp((40, 80, 190), (120, 200, 250), (y - 5) / 12)
            hill = 18 + 2.2 * math.sin(x * 0.45)
            if y > hill:
                c = lerp((60, 160, 70), (20, 100, 40), (y - hill) / 4)
            sun = math.hypot(x - 9, y - 10)
            if sun < 2.6:
                c = lerp((255, 250, 200), (255, 210, 80), sun / 2.6)
    # gear with a metallic light from the top left
    body = gear_shape(x, y, 22.5, 21, 8.0, 5.8, 2.4)
    edge = gear_shape(x, y, 22.5, 21, 9.0, 6.8, 2.4)
    if edge and not body:
        c, a = (90, 60, 10), 1.0
    if body == 1:
        shade = ((x - 22.5) + (y - 21)) / 18 + 0.5
        c, a = lerp((255, 230, 120), (210, 120, 10), shade), 1.0
    elif body == 2 or edge == 2:
        c, a = (90, 60, 10), 1.0
    return (c[0], c[1], c[2], a)


def main():
    res = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "res")
    for name, pixels, bits in (("window", render(window_sample, SIZE, 1), 8),
                               ("picture", render(picture_sample, SIZE, 4), 24)):
        write_png(os.path.join(res, name + ".png"), pixels)
        write_ico(os.path.join(res, name + ".ico"), pixels, bits)
    os.makedirs(os.path.join(res, "icons"), exist_ok=True)
    for size in THEME_SIZES:
        write_png(os.path.join(res, "icons", f"zarv_settings-{size}.png"), render(window_sample, size, 4))


if __name__ == "__main__":
    main()
