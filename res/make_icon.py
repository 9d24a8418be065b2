#!/usr/bin/env python3
"""Writes the Windows program's icon file from the pictures drawn as XPM.

    make_icon.py SMALL.xpm LARGE.xpm OUTPUT.ico

The icon holds 16, 32, 48 and 256 pixel images: 16 is SMALL, 32 is LARGE, and
48 and 256 are LARGE scaled up pixel by pixel, so the picture stays the one
drawn. The small sizes are 32-bit bitmaps with a transparency mask, 256 is a
PNG image, as Windows expects them. Runs on the build host.
"""
import struct
import sys
import zlib


def read_xpm(path):
    """The picture as rows of (red, green, blue, alpha) tuples."""
    with open(path, encoding="ascii") as f:
        strings = [line.split('"')[1] for line in f if line.strip().startswith('"')]
    width, height, colours, per_pixel = (int(v) for v in strings[0].split()[:4])
    palette = {}
    for entry in strings[1:1 + colours]:
        key, value = entry[:per_pixel], entry[per_pixel:].split()[-1]
        if value.lower() == "none":
            palette[key] = (0, 0, 0, 0)
        else:
            palette[key] = (int(value[1:3], 16), int(value[3:5], 16), int(value[5:7], 16), 255)
    rows = strings[1 + colours:1 + colours + height]
    return [[palette[row[x * per_pixel:(x + 1) * per_pixel]] for x in range(width)] for row in rows]


def scaled(picture, size):
    height, width = len(picture), len(picture[0])
    return [[picture[y * height // size][x * width // size] for x in range(size)] for y in range(size)]


def bitmap_image(picture):
    """A 32-bit bottom-up DIB with its AND mask, as an icon entry holds it."""
    size = len(picture)
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b"".join(bytes((b, g, r, a)) for row in reversed(picture) for (r, g, b, a) in row)
    mask_row_bytes = (size + 31) // 32 * 4
    mask = bytearray()
    for row in reversed(picture):
        bits = bytearray(mask_row_bytes)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + colour + bytes(mask)


def png_image(picture):
    size = len(picture)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    raw = b"".join(b"\0" + b"".join(bytes(pixel) for pixel in row) for row in picture)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    small, large = read_xpm(sys.argv[1]), read_xpm(sys.argv[2])
    images = [(16, bitmap_image(small)), (32, bitmap_image(large)),
              (48, bitmap_image(scaled(large, 48))), (256, png_image(scaled(large, 256)))]
    offset = 6 + 16 * len(images)
    directory = struct.pack("<HHH", 0, 1, len(images))
    for size, data in images:
        # A size of 256 is written as 0.
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(sys.argv[3], "wb") as f:
        f.write(directory + b"".join(data for _, data in images))


if __name__ == "__main__":
    main()
