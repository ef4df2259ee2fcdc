#!/usr/bin/env python3
"""Converts the Wine host's 24-bit BMP screenshot to PNG with nothing but the standard library:
   bmp_to_png.py IN.bmp OUT.png"""
import struct
import sys
import zlib


def main(source, target):
    data = open(source, "rb").read()
    if data[:2] != b"BM":
        sys.exit(f"{source}: not a BMP file")
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height, _, bits = struct.unpack_from("<iiHH", data, 18)
    if bits != 24:
        sys.exit(f"{source}: {bits}-bit BMP, only 24-bit is written by the host")
    stride = (width * 3 + 3) & ~3
    rows = range(abs(height) - 1, -1, -1) if height > 0 else range(abs(height))
    raw = bytearray()
    for y in rows:
        row = data[offset + y * stride: offset + y * stride + width * 3]
        raw.append(0)  # no filter
        for x in range(0, len(row), 3):
            raw += bytes((row[x + 2], row[x + 1], row[x]))  # BGR to RGB

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, abs(height), 8, 2, 0, 0, 0)
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b"")
    open(target, "wb").write(png)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: bmp_to_png.py IN.bmp OUT.png")
    main(sys.argv[1], sys.argv[2])
