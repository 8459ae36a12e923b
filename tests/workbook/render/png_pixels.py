#!/usr/bin/env python3
"""Decodes an 8-bit RGB or RGBA PNG file without any imaging library, checking its structure.

    png_pixels.py IN.png OUT.raw

Writes "WIDTH HEIGHT CHANNELS\\n" and then the pixel bytes row by row to OUT.raw. Exits with 1
and a message on stderr for a bad signature, chunk order or CRC, a zlib stream that does not
decode exactly (with its Adler-32), an unknown filter, or data of the wrong length.
"""
import struct
import sys
import zlib


def fail(text):
    sys.stderr.write(text + "\n")
    sys.exit(1)


def chunks(data):
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        fail("bad signature")
    pos = 8
    while pos < len(data):
        if pos + 12 > len(data):
            fail("truncated chunk")
        (length,) = struct.unpack(">I", data[pos:pos + 4])
        kind = data[pos + 4:pos + 8]
        body = data[pos + 8:pos + 8 + length]
        (crc,) = struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])
        if len(body) != length or zlib.crc32(kind + body) != crc:
            fail("bad CRC in %r" % kind)
        yield kind, body
        pos += 12 + length


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def main():
    data = open(sys.argv[1], "rb").read()
    kinds = []
    idat = b""
    header = None
    for kind, body in chunks(data):
        kinds.append(kind)
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            if kinds[-2] != b"IDAT" and b"IDAT" in kinds[:-1]:
                fail("IDAT chunks are not consecutive")
            idat += body
    if not kinds or kinds[0] != b"IHDR" or kinds[-1] != b"IEND" or header is None:
        fail("IHDR is not first or IEND is not last")
    width, height, depth, colour, compression, filtering, interlace = header
    if depth != 8 or colour not in (2, 6) or compression or filtering or interlace:
        fail("unexpected header %r" % (header,))
    channels = 3 if colour == 2 else 4
    inflater = zlib.decompressobj()
    raw = inflater.decompress(idat)
    if not inflater.eof or inflater.unused_data:
        fail("the zlib stream does not end where the data does")
    stride = width * channels
    if len(raw) != height * (stride + 1):
        fail("%d bytes of filtered data, not %d" % (len(raw), height * (stride + 1)))
    out = bytearray()
    above = bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        row = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = row[i - channels] if i >= channels else 0
            b = above[i]
            c = above[i - channels] if i >= channels else 0
            if kind == 0:
                continue
            elif kind == 1:
                row[i] = (row[i] + a) & 255
            elif kind == 2:
                row[i] = (row[i] + b) & 255
            elif kind == 3:
                row[i] = (row[i] + (a + b) // 2) & 255
            elif kind == 4:
                row[i] = (row[i] + paeth(a, b, c)) & 255
            else:
                fail("unknown filter %d in row %d" % (kind, y))
        out += row
        above = row
    with open(sys.argv[2], "wb") as f:
        f.write(b"%d %d %d\n" % (width, height, channels))
        f.write(out)


if __name__ == "__main__":
    main()
