#!/usr/bin/env python3
"""Writes the small images the window tests link in or read as files:
mark.ico (a 16x16 red square and a 32x32 green diamond) and tile.png (a
4x4 yellow and black checker). Run from this folder; the outputs are committed."""
import struct
import zlib


def bitmap_entry(size, pixel):
    """A 32-bit icon bitmap: header, BGRA rows bottom-up, an empty AND mask."""
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = b''
    for y in reversed(range(size)):
        for x in range(size):
            a, r, g, b = pixel(x, y)
            rows += bytes((b, g, r, a))
    mask_row = ((size + 31) // 32) * 4
    return header + rows + bytes(mask_row * size)


def red(x, y):
    return (255, 0xCC, 0, 0)


def diamond(x, y):
    inside = abs(x - 15.5) + abs(y - 15.5) <= 15
    return (255, 0, 0xA0, 0) if inside else (0, 0, 0, 0)


def write_ico(path, entries):
    data = [bitmap_entry(size, pixel) for size, pixel in entries]
    out = struct.pack('<HHH', 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    for (size, _), blob in zip(entries, data):
        out += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    with open(path, 'wb') as f:
        f.write(out + b''.join(data))


def write_png(path, width, height, pixel):
    def chunk(kind, body):
        return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body))
    raw = b''.join(b'\0' + b''.join(bytes(pixel(x, y)) for x in range(width)) for y in range(height))
    png = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 2, 0, 0, 0))
    png += chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b'')
    with open(path, 'wb') as f:
        f.write(png)


write_ico('mark.ico', [(16, red), (32, diamond)])
write_png('tile.png', 4, 4, lambda x, y: (0xFF, 0xE0, 0x40) if (x // 2 + y // 2) % 2 == 0 else (0, 0, 0))
