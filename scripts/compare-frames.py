#!/usr/bin/env python3
"""Compares two folders of show_capture pictures pixel by pixel.

    scripts/compare-frames.py BEFORE_DIR AFTER_DIR

For every frame_<ms>.png in BEFORE_DIR, the file of the same name in AFTER_DIR is read and
one line printed: the frame, how many pixels differ, the largest difference in any channel,
and the box (x0,y0)-(x1,y1) that holds them. Reads 8-bit RGB and palette PNGs without
interlacing, as show_capture writes them, with nothing but the standard library. Exits 1 when
a frame is missing or differs in size, 0 otherwise (differences are reported, not judged).
"""
import os
import struct
import sys
import zlib


def read_png(path):
    with open(path, "rb") as file:
        data = file.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError(path + ": not a PNG file")
    pos, idat, palette = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            if depth != 8 or colour not in (2, 3) or interlace != 0:
                raise ValueError(path + ": only 8-bit RGB or palette PNGs without interlacing")
        elif kind == b"PLTE":
            palette = body
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    step = 3 if colour == 2 else 1
    stride = width * step
    rows, previous = [], bytearray(stride)
    for y in range(height):
        start = y * (stride + 1)
        kind, line = raw[start], bytearray(raw[start + 1:start + 1 + stride])
        for x in range(stride):
            left = line[x - step] if x >= step else 0
            up = previous[x]
            corner = previous[x - step] if x >= step else 0
            if kind == 1:
                line[x] = (line[x] + left) & 255
            elif kind == 2:
                line[x] = (line[x] + up) & 255
            elif kind == 3:
                line[x] = (line[x] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                predictor = left if pa <= pb and pa <= pc else up if pb <= pc else corner
                line[x] = (line[x] + predictor) & 255
        rows.append(bytes(line))
        previous = line
    pixels = b"".join(rows)
    if colour == 3:
        pixels = b"".join(palette[3 * i:3 * i + 3] for i in pixels)
    return width, height, pixels


def main():
    if len(sys.argv) != 3:
        print(__doc__.strip().splitlines()[2].strip(), file=sys.stderr)
        return 2
    before_dir, after_dir = sys.argv[1], sys.argv[2]
    names = sorted(n for n in os.listdir(before_dir) if n.startswith("frame_") and n.endswith(".png"))
    failed = False
    total = 0
    for name in names:
        after_path = os.path.join(after_dir, name)
        if not os.path.exists(after_path):
            print(f"{name}: missing in {after_dir}")
            failed = True
            continue
        w0, h0, a = read_png(os.path.join(before_dir, name))
        w1, h1, b = read_png(after_path)
        if (w0, h0) != (w1, h1):
            print(f"{name}: {w0}x{h0} against {w1}x{h1}")
            failed = True
            continue
        count, largest, box = 0, 0, [w0, h0, -1, -1]
        for p in range(w0 * h0):
            d = max(abs(a[3 * p + c] - b[3 * p + c]) for c in range(3))
            if d:
                x, y = p % w0, p // w0
                count += 1
                largest = max(largest, d)
                box = [min(box[0], x), min(box[1], y), max(box[2], x), max(box[3], y)]
        total += count
        where = f" in ({box[0]},{box[1]})-({box[2]},{box[3]})" if count else ""
        print(f"{name}: {count} pixels differ, by up to {largest}{where}")
    print(f"{len(names)} frames, {total} differing pixels in all")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
