#!/usr/bin/env python3
"""Writes the Windows program's icon file from the icon rendered as PNG.

    make_icon.py OUTPUT.ico PICTURE.png...

Each PICTURE is a square 8-bit RGBA PNG (as rsvg-convert writes it), one per
size. Sizes below 256 are stored as 32-bit bitmaps with a transparency mask,
256 as the PNG itself, as Windows expects them. Runs on the build host.
"""
import struct
import sys
import zlib


def read_png(data):
    """The picture as rows of (red, green, blue, alpha) tuples."""
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        sys.exit("make_icon.py: not a PNG file")
    pos, header, compressed = 8, None, b""
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            compressed += body
        pos += 12 + length
    width, height, depth, colour_type, _, _, interlace = header
    if (depth, colour_type, interlace) != (8, 6, 0):
        sys.exit("make_icon.py: only 8-bit RGBA PNG without interlacing is read")
    raw, stride, rows, previous = zlib.decompress(compressed), 4 * width, [], bytearray(4 * width)
    for y in range(height):
        start = y * (stride + 1)
        kind, line = raw[start], bytearray(raw[start + 1:start + 1 + stride])
        for x in range(stride):
            left = line[x - 4] if x >= 4 else 0
            up, up_left = previous[x], previous[x - 4] if x >= 4 else 0
            if kind == 1:
                line[x] = (line[x] + left) & 0xFF
            elif kind == 2:
                line[x] = (line[x] + up) & 0xFF
            elif kind == 3:
                line[x] = (line[x] + (left + up) // 2) & 0xFF
            elif kind == 4:
                guess = left + up - up_left
                nearest = min((abs(guess - left), 0, left), (abs(guess - up), 1, up),
                              (abs(guess - up_left), 2, up_left))[2]
                line[x] = (line[x] + nearest) & 0xFF
        rows.append([tuple(line[x:x + 4]) for x in range(0, stride, 4)])
        previous = line
    return rows


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


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    images = []
    for path in sys.argv[2:]:
        with open(path, "rb") as f:
            data = f.read()
        picture = read_png(data)
        size = len(picture)
        images.append((size, data if size >= 256 else bitmap_image(picture)))
    offset = 6 + 16 * len(images)
    directory = struct.pack("<HHH", 0, 1, len(images))
    for size, data in images:
        # A size of 256 is written as 0.
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(sys.argv[1], "wb") as f:
        f.write(directory + b"".join(data for _, data in images))


if __name__ == "__main__":
    main()
