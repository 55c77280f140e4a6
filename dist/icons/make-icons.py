#!/usr/bin/env python3
"""Makes the menu icons from a frame of the show: scene 2 at 6 s of song time, captured by
build/show_capture (offscreen, no display needed), cropped to its centre square and scaled down by
area averaging to 256x256 and 48x48. Run from the project's root after building show_capture:
    python3 dist/icons/make-icons.py
"""
import os
import struct
import subprocess
import tempfile
import zlib

SIZES = (256, 48)
AT_SECONDS = 6


def read_rgb_png(path):
    """Width, height and rows of RGB triples of an 8-bit RGB or RGBA, non-interlaced PNG."""
    data = open(path, "rb").read()
    pos, idat, width = 8, b"", 0
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            assert depth == 8 and colour in (2, 6) and interlace == 0, "unexpected PNG kind"
            channels = 3 if colour == 2 else 4
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw, stride = zlib.decompress(idat), width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for x in range(stride):  # the five PNG filters
            a = line[x - channels] if x >= channels else 0
            b, c = previous[x], previous[x - channels] if x >= channels else 0
            if kind == 1:
                line[x] = (line[x] + a) & 255
            elif kind == 2:
                line[x] = (line[x] + b) & 255
            elif kind == 3:
                line[x] = (line[x] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append([tuple(line[x * channels:x * channels + 3]) for x in range(width)])
        previous = line
    return width, height, rows


def write_rgb_png(path, rows):
    size = len(rows)
    raw = b"".join(b"\0" + bytes(v for pixel in row for v in pixel) for row in rows)

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 2, 0, 0, 0))
                  + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def scaled(square, size):
    """Each output pixel the mean of the source area it covers, partial pixels weighted."""
    n = len(square)
    spans = []
    for i in range(size):
        start, end = i * n / size, (i + 1) * n / size
        spans.append([(j, min(end, j + 1) - max(start, j)) for j in range(int(start), min(n, int(end) + 1))
                      if min(end, j + 1) > max(start, j)])
    out = []
    for ys in spans:
        row = []
        for xs in spans:
            total, acc = 0.0, [0.0, 0.0, 0.0]
            for y, wy in ys:
                for x, wx in xs:
                    w = wy * wx
                    total += w
                    for k in range(3):
                        acc[k] += square[y][x][k] * w
            row.append(tuple(min(255, round(v / total)) for v in acc))
        out.append(row)
    return out


def main():
    with tempfile.TemporaryDirectory() as frames:
        subprocess.run(["env", "LIBGL_ALWAYS_SOFTWARE=1", "build/show_capture", "--at",
                        str(AT_SECONDS), "--out", frames], check=True)
        width, height, rows = read_rgb_png(os.path.join(frames, "frame_%06d.png" % (AT_SECONDS * 1000)))
    left = (width - height) // 2
    square = [row[left:left + height] for row in rows]
    for size in SIZES:
        os.makedirs(f"dist/icons/{size}x{size}", exist_ok=True)
        write_rgb_png(f"dist/icons/{size}x{size}/tirvalex3.png", scaled(square, size))


if __name__ == "__main__":
    main()
