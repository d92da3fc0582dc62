#!/usr/bin/env python3
"""Draws the window's small pictures and writes them in their file formats.

window.ico  32 x 32, 256 colours (8-bit palette BMP entry with an AND mask)
link.gif    16 x 16 GIF (the link picture beside the maker's label)
link.cur    32 x 32 monochrome cursor, a pointing hand, hot spot (6, 1)

Everything is drawn from geometry and text art below with the standard library only, so the
output is reproducible byte for byte: run `python3 make_resources.py` in this folder.
"""
import math
import struct

# ---------------------------------------------------------------- drawing


def window_icon_pixels():
    """A blue round badge with a white wrench-like T and a light rim, on transparency."""
    size = 32
    px = [[None] * size for _ in range(size)]  # None = transparent, else (r, g, b)
    cx = cy = 15.5
    for y in range(size):
        for x in range(size):
            d = math.hypot(x - cx, y - cy)
            if d <= 15.0:
                t = (y / 31.0)
                base = (int(40 + 30 * (1 - t)), int(90 + 60 * (1 - t)), int(190 + 50 * (1 - t)))
                if d > 13.6:
                    base = (200, 220, 250)
                px[y][x] = base
    # the T: a bar and a stem
    for y in range(8, 12):
        for x in range(8, 24):
            px[y][x] = (255, 255, 255)
    for y in range(12, 25):
        for x in range(14, 18):
            px[y][x] = (255, 255, 255)
    # a small red check at the stem's foot
    for i in range(5):
        for w in range(2):
            x, y = 18 + i + w, 23 - i
            if 0 <= x < size and 0 <= y < size:
                px[y][x] = (220, 40, 40)
    return px


def link_gif_pixels():
    """A blue rounded square with a white lower-case f."""
    size = 16
    blue, white = (59, 89, 152), (255, 255, 255)
    px = [[blue] * size for _ in range(size)]
    for (x, y) in [(0, 0), (15, 0), (0, 15), (15, 15)]:
        px[y][x] = white
    f = [
        "................",
        "................",
        "..........###...",
        ".........####...",
        ".........##.....",
        ".........##.....",
        ".......######...",
        ".......######...",
        ".........##.....",
        ".........##.....",
        ".........##.....",
        ".........##.....",
        ".........##.....",
        ".........##.....",
        ".........##.....",
        "................",
    ]
    for y, row in enumerate(f):
        for x, c in enumerate(row):
            if c == "#":
                px[y][x] = white
    return px


HAND = [
    # '#' black outline, 'o' white fill, '.' transparent
    ".....##.........",
    "....#oo#........",
    "....#oo#........",
    "....#oo#........",
    "....#oo#........",
    "....#oo###......",
    "....#oo#oo###...",
    "....#oo#oo#oo##.",
    "....#oo#oo#oo#o#",
    "##..#oo#oo#oo#o#",
    "#oo##oooooooooo#",
    "#ooo#oooooooooo#",
    ".#oooooooooooo#.",
    "..#ooooooooooo#.",
    "..#oooooooooo#..",
    "...#ooooooooo#..",
    "...#oooooooo#...",
    "....#ooooooo#...",
    "....#########...",
]

# ---------------------------------------------------------------- writers


def bmp_dib_8bit(px, palette):
    """BITMAPINFOHEADER + palette + 8-bit rows + AND mask, as stored inside an icon file."""
    size = len(px)
    index = {c: i for i, c in enumerate(palette)}
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 8, 0, 0, 0, 0, 256, 0)
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
    pal += b"\0\0\0\0" * (256 - len(palette))
    rows = b""
    for y in range(size - 1, -1, -1):
        rows += bytes(index[px[y][x]] if px[y][x] is not None else 0 for x in range(size))
    mask = b""
    mask_row_bytes = ((size + 31) // 32) * 4
    for y in range(size - 1, -1, -1):
        bits = 0
        row = bytearray(mask_row_bytes)
        for x in range(size):
            if px[y][x] is None:
                row[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(row)
    return header + pal + rows + mask


def ico_file(px):
    colours = sorted({c for row in px for c in row if c is not None})
    assert len(colours) <= 256
    palette = [(0, 0, 0)] + [c for c in colours if c != (0, 0, 0)]
    dib = bmp_dib_8bit(px, palette)
    size = len(px)
    head = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", size, size, 0, 0, 1, 8, len(dib), 6 + 16)
    return head + entry + dib


def cur_file(art, size=32, hot=(6, 1)):
    """1-bit cursor: XOR (colour) bitmap and AND mask, 2-colour palette."""
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 1, 0, 0, 0, 0, 2, 0)
    pal = struct.pack("<BBBB", 0, 0, 0, 0) + struct.pack("<BBBB", 255, 255, 255, 0)
    row_bytes = 4
    xor = b""
    andm = b""
    for y in range(size - 1, -1, -1):
        xr = bytearray(row_bytes)
        ar = bytearray(row_bytes)
        line = art[y] if y < len(art) else ""
        for x in range(size):
            c = line[x] if x < len(line) else "."
            if c == ".":
                ar[x // 8] |= 0x80 >> (x % 8)  # transparent: AND 1, XOR 0
            elif c == "o":
                xr[x // 8] |= 0x80 >> (x % 8)  # white
        xor += bytes(xr)
        andm += bytes(ar)
    dib = header + pal + xor + andm
    head = struct.pack("<HHH", 0, 2, 1)
    entry = struct.pack("<BBBBHHII", size, size, 2, 0, hot[0], hot[1], len(dib), 6 + 16)
    return head + entry + dib


def lzw_uncompressed(indices, min_code_size):
    """GIF LZW data that never grows its code table: a clear code before every run of
    literals short enough that the code width stays at min_code_size + 1."""
    clear = 1 << min_code_size
    eoi = clear + 1
    width = min_code_size + 1
    limit = (1 << width) - (clear + 2) - 1  # literals after a clear before the table grows
    codes = []
    run = 0
    codes.append(clear)
    for i in indices:
        if run == limit:
            codes.append(clear)
            run = 0
        codes.append(i)
        run += 1
    codes.append(eoi)
    out = bytearray()
    acc = 0
    nbits = 0
    for c in codes:
        acc |= c << nbits
        nbits += width
        while nbits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            nbits -= 8
    if nbits:
        out.append(acc & 0xFF)
    return bytes(out)


def gif_file(px):
    h, w = len(px), len(px[0])
    colours = sorted({c for row in px for c in row})
    table_bits = max(1, (len(colours) - 1).bit_length())
    table = colours + [(0, 0, 0)] * ((1 << table_bits) - len(colours))
    index = {c: i for i, c in enumerate(colours)}
    out = b"GIF89a" + struct.pack("<HHBBB", w, h, 0x80 | (table_bits - 1), 0, 0)
    out += b"".join(struct.pack("BBB", *c) for c in table)
    out += b"," + struct.pack("<HHHHB", 0, 0, w, h, 0)
    min_code = max(2, table_bits)
    data = lzw_uncompressed([index[px[y][x]] for y in range(h) for x in range(w)], min_code)
    out += bytes([min_code])
    for i in range(0, len(data), 255):
        block = data[i:i + 255]
        out += bytes([len(block)]) + block
    out += b"\0;"
    return out


if __name__ == "__main__":
    with open("window.ico", "wb") as f:
        f.write(ico_file(window_icon_pixels()))
    with open("link.gif", "wb") as f:
        f.write(gif_file(link_gif_pixels()))
    with open("link.cur", "wb") as f:
        f.write(cur_file(HAND))
