#!/usr/bin/env python3
"""Draws the Windows programs' icon, program.ico: the logo's shield (make_logo.py) at 16, 24, 32,
48 and 256 pixels, 32-bit with alpha. The small sizes are drawn ten to sixteen times as large and
each block of pixels averaged (with its alpha), so that their edges stay smooth; the 256-pixel
image is stored as PNG, the others as 32-bit bitmaps with their AND mask, as the desktop's icons
are. Reproducible byte for byte: run `python3 make_program_icon.py` in this folder.
"""
import struct

import make_logo

SIZES = (16, 24, 32, 48, 256)
# Each small size is averaged down from a drawing this many times as large.
DRAWN_AT = {16: 256, 24: 240, 32: 256, 48: 240, 256: 256}


def averaged(big, size):
    """Blocks of the premultiplied drawing averaged into `size` x `size` straight-alpha bytes."""
    f = len(big) // size
    out = []
    for y in range(size):
        row = []
        for x in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(y * f, (y + 1) * f):
                for sx in range(x * f, (x + 1) * f):
                    for c in range(4):
                        acc[c] += big[sy][sx][c]
            row.append(make_logo.to_bytes([v / (f * f) for v in acc]))
        out.append(row)
    return out


def bmp_dib_32bit(px):
    """BITMAPINFOHEADER, 32-bit BGRA rows bottom-up (straight alpha), then the AND mask: set
    where a pixel is fully transparent (for systems that ignore the alpha)."""
    size = len(px)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, size * size * 4, 0, 0, 0,
                         0)
    rows = b"".join(bytes(v for (r, g, b, a) in px[y] for v in (b, g, r, a))
                    for y in range(size - 1, -1, -1))
    mask_row_bytes = ((size + 31) // 32) * 4
    mask = b""
    for y in range(size - 1, -1, -1):
        row = bytearray(mask_row_bytes)
        for x in range(size):
            if px[y][x][3] == 0:
                row[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(row)
    return header + rows + mask


def ico_file(images):
    """An icon file of (size, data) entries; a size of 256 is written as 0 in the directory."""
    head = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    for size, data in images:
        side = 0 if size >= 256 else size
        entries += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return head + entries + b"".join(data for _, data in images)


if __name__ == "__main__":
    drawings = {n: make_logo.logo_premultiplied(n) for n in sorted(set(DRAWN_AT.values()))}
    images = []
    for size in SIZES:
        px = averaged(drawings[DRAWN_AT[size]], size)
        images.append((size, make_logo.png_file(px) if size == 256 else bmp_dib_32bit(px)))
    with open("program.ico", "wb") as f:
        f.write(ico_file(images))
