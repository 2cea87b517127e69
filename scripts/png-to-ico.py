#!/usr/bin/env python3
"""Turns a 32x32 RGBA PNG into a one-image Windows icon.

    png-to-ico.py --bits 8 window.png window.ico   # 256 colours, palettized
    png-to-ico.py --bits 24 picture.png picture.ico

The image is a bottom-up DIB of the chosen depth followed by a 1-bit AND
mask; pixels with alpha below 128 are transparent. With 8 bits, more than
256 distinct colours are reduced by a median cut.
"""
import argparse
import struct
import sys
import zlib


def read_png_rgba(path):
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        sys.exit(f"{path}: not a PNG file")
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour not in (2, 6) or interlace:
        sys.exit(f"{path}: only 8-bit RGB or RGBA, non-interlaced PNGs are supported")
    channels = 4 if colour == 6 else 3
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, prev = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - channels] if i >= channels else 0
            b = prev[i]
            c = prev[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + a) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + b) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 0xFF
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[i] = (line[i] + pred) & 0xFF
        rows.append([tuple(line[x * channels:x * channels + 3]) +
                     ((line[x * channels + 3],) if channels == 4 else (255,))
                     for x in range(width)])
        prev = line
    return width, height, rows


def median_cut(colours, count):
    """Up to `count` representative colours of a list of RGB tuples."""
    boxes = [list(colours)]
    while len(boxes) < count:
        boxes.sort(key=lambda box: max(max(c[i] for c in box) - min(c[i] for c in box)
                                       for i in range(3)) if len(box) > 1 else -1)
        box = boxes.pop()
        if len(box) < 2:
            boxes.append(box)
            break
        axis = max(range(3), key=lambda i: max(c[i] for c in box) - min(c[i] for c in box))
        box.sort(key=lambda c: c[axis])
        half = len(box) // 2
        boxes += [box[:half], box[half:]]
    return [tuple(sum(c[i] for c in box) // len(box) for i in range(3)) for box in boxes]


def nearest(palette, colour):
    return min(range(len(palette)),
               key=lambda i: sum((palette[i][k] - colour[k]) ** 2 for k in range(3)))


def dib(width, height, rows, bits):
    opaque = [[px[3] >= 128 for px in row] for row in rows]
    colours = [px[:3] for row, mask in zip(rows, opaque) for px, on in zip(row, mask) if on]
    palette = b""
    if bits == 8:
        unique = sorted(set(colours)) or [(0, 0, 0)]
        chosen = unique if len(unique) <= 256 else median_cut(colours, 256)
        index = {c: (chosen.index(c) if c in chosen else nearest(chosen, c)) for c in unique}
        chosen += [(0, 0, 0)] * (256 - len(chosen))
        palette = b"".join(bytes((b, g, r, 0)) for r, g, b in chosen)
    pixels = b""
    for row, mask in zip(reversed(rows), reversed(opaque)):
        if bits == 8:
            line = bytes(index[px[:3]] if on else 0 for px, on in zip(row, mask))
        else:
            line = b"".join(bytes((px[2], px[1], px[0])) if on else b"\0\0\0"
                            for px, on in zip(row, mask))
        pixels += line + b"\0" * (-len(line) % 4)
    and_mask = b""
    for mask in reversed(opaque):
        bits_row = bytearray((width + 31) // 32 * 4)
        for x, on in enumerate(mask):
            if not on:
                bits_row[x // 8] |= 0x80 >> (x % 8)
        and_mask += bytes(bits_row)
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, bits, 0,
                         len(pixels) + len(and_mask), 0, 0, 256 if bits == 8 else 0, 0)
    return header + palette + pixels + and_mask


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bits", type=int, choices=(8, 24), required=True)
    parser.add_argument("png")
    parser.add_argument("ico")
    args = parser.parse_args()
    width, height, rows = read_png_rgba(args.png)
    if width > 256 or height > 256:
        sys.exit(f"{args.png}: icons are at most 256 pixels wide")
    image = dib(width, height, rows, args.bits)
    entry = struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0,  # colour count 0: 256 or more
                         1, args.bits,
                        len(image), 6 + 16)
    with open(args.ico, "wb") as out:
        out.write(struct.pack("<HHH", 0, 1, 1) + entry + image)


if __name__ == "__main__":
    main()
