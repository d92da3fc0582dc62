#!/usr/bin/env python3
"""Draws the window's small pictures and writes them in their file formats.

window.ico  32 x 32, 256 colours (8-bit palette BMP entry with an AND mask): the logo's shield
link.gif    16 x 16 GIF (the link picture beside the maker's label)
link.cur    32 x 32 monochrome cursor, a pointing hand, hot spot (6, 1)

Everything is drawn from geometry and text art below with the standard library only, so the
output is reproducible byte for byte: run `python3 make_resources.py` in this folder.
"""
import struct

import make_logo

ICON_SIZE = 32

# ---------------------------------------------------------------- drawing


def window_icon_pixels():
    """The logo's shield at 32 x 32: the logo drawn by make_logo.py, each 4 x 4 block averaged
    with its alpha, a pixel opaque where the average covers at least half, and the colours cut
    to at most 255 (None = transparent, else (r, g, b))."""
    logo = make_logo.logo_pixels()  # rows of straight-alpha (r, g, b, a) bytes
    factor = len(logo) // ICON_SIZE
    px = [[None] * ICON_SIZE for _ in range(ICON_SIZE)]
    for y in range(ICON_SIZE):
        for x in range(ICON_SIZE):
            acc = [0, 0, 0, 0]
            for sy in range(y * factor, (y + 1) * factor):
                for sx in range(x * factor, (x + 1) * factor):
                    r, g, b, a = logo[sy][sx]
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            if acc[3] * 2 >= 255 * factor * factor:
                px[y][x] = tuple((c + acc[3] // 2) // acc[3] for c in acc[:3])
    return quantised(px, 255)


def quantised(px, limit):
    """The same picture with at most `limit` colours: median cut, each box replaced by the mean
    of its pixels (deterministic: ties go to the lower channel and the earlier box)."""
    colours = [c for row in px for c in row if c is not None]
    if len(set(colours)) <= limit:
        return px
    boxes = [colours]
    while len(boxes) < limit:
        # split the box with the widest channel range at its median
        best = None
        for i, box in enumerate(boxes):
            if len(set(box)) < 2:
                continue
            for ch in range(3):
                values = [c[ch] for c in box]
                spread = max(values) - min(values)
                if best is None or spread > best[0]:
                    best = (spread, i, ch)
        if best is None:
            break
        _, i, ch = best
        box = sorted(boxes[i], key=lambda c: (c[ch], c))
        mid = len(box) // 2
        boxes[i:i + 1] = [box[:mid], box[mid:]]
    mapping = {}
    for box in boxes:
        mean = tuple((sum(c[ch] for c in box) + len(box) // 2) // len(box) for ch in range(3))
        for c in box:
            mapping[c] = mean
    return [[None if c is None else mapping[c] for c in row] for row in px]


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
