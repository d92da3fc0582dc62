#!/usr/bin/env python3
"""Writes the hand-made seed inputs of every fuzz target into its folder beside this script.

Run by hand (python3 tests/fuzz_regressions/make_seeds.py) when a seed changes; its output is
committed, and the build does not run it. Each seed is a small valid or deliberately broken
file in the form the target reads: some targets take a first byte that picks a route (see the
target's source in fuzz/), and inflate_fuzz takes a 2-byte output size before a zlib stream.
Only files named seed-* are written; the regression inputs (crash-*, oom-*, timeout-*, ...)
are kept as found and never rewritten.
"""
import base64
import json
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def le16(v):
    return struct.pack("<H", v)


def le32(v):
    return struct.pack("<I", v & 0xFFFFFFFF)


def be32(v):
    return struct.pack(">I", v)


# ---- PNG ----------------------------------------------------------------------------------

def chunk(kind, data, crc=None):
    body = kind + data
    return be32(len(data)) + body + be32(zlib.crc32(body) if crc is None else crc)


def png(width, height, depth, colour, rows, interlace=0, before_idat=b"", idat_crc=None):
    """rows: the filtered scanlines (each with its filter byte), all passes in order."""
    ihdr = struct.pack(">IIBBBBB", width, height, depth, colour, 0, 0, interlace)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + before_idat +
            chunk(b"IDAT", zlib.compress(rows, 9), idat_crc) + chunk(b"IEND", b""))


def rgba_rows(width, height):
    rows = b""
    for y in range(height):
        rows += b"\x00" + bytes(
            v for x in range(width) for v in (40 * x, 60 * y, 200, 255 if (x + y) % 2 else 128))
    return rows


def gray16_adam7(size):
    """The seven Adam7 passes of a size x size 16-bit gray image, filter 0 (None) and 1 (Sub)."""
    passes = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2),
              (0, 1, 1, 2)]
    out = b""
    for n, (x0, y0, dx, dy) in enumerate(passes):
        cols = len(range(x0, size, dx))
        for y in range(y0, size, dy):
            if cols:
                out += bytes([n % 2]) + bytes((7 * y + n) & 0xFF for _ in range(2 * cols))
    return out


# ---- BMP ----------------------------------------------------------------------------------

def bmp(width, height, bpp, pixels, compression=0, palette=(), masks=(), header=40):
    """A BMP with a header of 12 (OS/2), 40 or 108 bytes; pixels are the stored rows."""
    if header == 12:
        info = le32(12) + le16(width) + le16(height) + le16(1) + le16(bpp)
        pal = b"".join(struct.pack("<BBB", c & 0xFF, (c >> 8) & 0xFF, c >> 16) for c in palette)
    else:
        info = (le32(header) + struct.pack("<iiHHII", width, height, 1, bpp, compression,
                                           len(pixels)) +
                le32(2835) + le32(2835) + le32(len(palette)) + le32(0))
        if header >= 108:
            info += b"".join(le32(m) for m in masks) + le32(0x73524742) + bytes(48)
        info += bytes(header - len(info))
        pal = b"".join(le32(c) for c in palette)
    offset = 14 + len(info) + len(pal)
    return b"BM" + le32(offset + len(pixels)) + le32(0) + le32(offset) + info + pal + pixels


def bmp24(width, height):
    stride = (3 * width + 3) & ~3
    rows = b""
    for y in range(height):
        row = bytes(v for x in range(width) for v in (30 * x, 50 * y, 90 + x + y))
        rows += row + bytes(stride - len(row))
    return bmp(width, height, 24, rows)


def bmp32_alpha(width, height):
    """A version-4 header with an alpha mask; premultiplied-looking and malformed pixels."""
    rows = b""
    for y in range(height):
        for x in range(width):
            a = (x * 80 + y * 40) & 0xFF
            rows += bytes([min(a, 20 * x), min(a, 30 * y), 255 if x == y else a, a])
    return bmp(width, height, 32, rows, compression=3, header=108,
               masks=(0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000))


def bmp8_rle(width, height):
    """RLE8: a run, a literal run, a delta and the end of the bitmap."""
    data = bytes([3, 1, 0, 3, 2, 3, 4, 0, 0, 0, 0, 2, 1, 1, 2, 5, 0, 1])
    return bmp(width, height, 8, data, compression=1,
               palette=[0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0x808080])


def bmp4_rle(width, height):
    data = bytes([4, 0x12, 0, 4, 0x34, 0x56, 0, 0, 3, 0x77, 0, 1])
    return bmp(width, height, 4, data, compression=2,
               palette=[(i * 0x111111) & 0xFFFFFF for i in range(16)])


def bmp1_os2(width, height):
    stride = ((width + 31) // 32) * 4
    rows = b"".join(bytes([0xA5 ^ y]) + bytes(stride - 1) for y in range(height))
    return bmp(width, height, 1, rows, palette=[0x102030, 0xF0E0D0], header=12)


# ---- GIF ----------------------------------------------------------------------------------

def lzw(pixels, min_code_size):
    """GIF LZW, widening the code one step early because the decoder adds its entry late."""
    out = bytearray()
    acc = bits = 0
    clear = 1 << min_code_size
    width = min_code_size + 1
    nxt = clear + 2
    table = {}

    def emit(code):
        nonlocal acc, bits
        acc |= code << bits
        bits += width
        while bits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            bits -= 8

    emit(clear)
    cur = pixels[0]
    for p in pixels[1:]:
        if (cur, p) in table:
            cur = table[(cur, p)]
            continue
        emit(cur)
        table[(cur, p)] = nxt
        nxt += 1
        if nxt > (1 << width) and width < 12:
            width += 1
        cur = p
    emit(cur)
    nxt += 1
    if nxt > (1 << width) and width < 12:
        width += 1
    emit(clear + 1)
    if bits:
        out.append(acc & 0xFF)
    return bytes(out)


def sub_blocks(data, size=255):
    return b"".join(bytes([len(data[i:i + size])]) + data[i:i + size]
                    for i in range(0, len(data), size)) + b"\x00"


def gif(width, height, pixels, global_table=b"", local_table=b"", interlaced=False,
        transparent=None, min_code_size=2, data=None, screen=None, top=0):
    def code(table):
        return (len(table) // 3 - 1).bit_length() - 1

    sw, sh = screen or (width, height)
    out = b"GIF89a" + le16(sw) + le16(sh)
    out += bytes([0x80 | code(global_table) if global_table else 0, 0, 0]) + global_table
    if transparent is not None:
        out += bytes([0x21, 0xF9, 4, 1, 0, 0, transparent, 0])
    packed = (0x40 if interlaced else 0) | (0x80 | code(local_table) if local_table else 0)
    out += b"\x2c" + le16(0) + le16(top) + le16(width) + le16(height) + bytes([packed])
    out += local_table + bytes([min_code_size])
    out += sub_blocks(lzw(pixels, min_code_size) if data is None else data)
    return out + b"\x3b"


def ramp(entries):
    return bytes(v for i in range(entries) for v in (i * 37 & 0xFF, i * 91 & 0xFF, 255 - i))


# ---- ICO / CUR ----------------------------------------------------------------------------

def icon_bmp(size, bpp):
    """An icon entry's bitmap: the header with doubled height, the colours, the AND mask."""
    palette = b"".join(le32(i * 0x00151515) for i in range(1 << bpp)) if bpp <= 8 else b""
    stride = ((size * bpp + 31) // 32) * 4
    colours = b""
    for y in range(size):
        if bpp == 32:
            row = bytes(v for x in range(size) for v in (x * 9, y * 9, 100, (x + y) * 8 & 0xFF))
        elif bpp == 4:
            row = bytes(((x + y) % 16) << 4 | ((x + y + 1) % 16) for x in range(0, size, 2))
        else:
            row = bytes((x + y) & 0xFF for x in range(size))
        colours += row + bytes(stride - len(row))
    mask_stride = ((size + 31) // 32) * 4
    mask = b"".join(bytes([0x0F if y % 2 else 0xF0]) + bytes(mask_stride - 1)
                    for y in range(size))
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, bpp, 0, 0, 0, 0, 0, 0)
    return header + palette + colours + mask


def ico(images, kind=1, hotspot=(0, 0), offset_shift=0):
    """images: (size, bpp, bytes); a cursor (kind 2) stores the hot spot in place of planes
    and bit count."""
    out = le16(0) + le16(kind) + le16(len(images))
    at = 6 + 16 * len(images)
    body = b""
    for size, bpp, data in images:
        planes, count = (hotspot if kind == 2 else (1, bpp))
        out += bytes([size & 0xFF, size & 0xFF, 0, 0]) + le16(planes) + le16(count)
        out += le32(len(data)) + le32(at + len(body) + offset_shift)
        body += data
    return out + body


# ---- JPEG ---------------------------------------------------------------------------------

def jpeg_gray(blocks_across=2):
    """A baseline gray JPEG of 8 x (8 * blocks) pixels: each block is DC only (category 1 or 0
    differences), every table as small as the format allows."""
    dqt = b"\xff\xdb" + struct.pack(">HB", 67, 0) + bytes([8] * 64)
    width = 8 * blocks_across
    sof = b"\xff\xc0" + struct.pack(">HBHHB", 11, 8, 8, width, 1) + b"\x01\x11\x00"
    # DC table: category 0 -> '0', category 1 -> '10'; AC table: EOB -> '0'.
    dht_dc = b"\xff\xc4" + struct.pack(">H", 2 + 1 + 16 + 2) + b"\x00" + bytes(
        [1, 1] + [0] * 14) + b"\x00\x01"
    dht_ac = b"\xff\xc4" + struct.pack(">H", 2 + 1 + 16 + 1) + b"\x10" + bytes(
        [1] + [0] * 15) + b"\x00"
    sos = b"\xff\xda" + struct.pack(">HB", 8, 1) + b"\x01\x00" + b"\x00\x3f\x00"
    bits = ""
    for n in range(blocks_across):
        bits += "101" if n % 2 else "0"  # +1 difference, then 0
        bits += "0"  # end of block
    bits += "1" * (-len(bits) % 8)
    data = bytes(int(bits[i:i + 8], 2) for i in range(0, len(bits), 8))
    return b"\xff\xd8" + dqt + sof + dht_dc + dht_ac + sos + data + b"\xff\xd9"


# ---- the seeds ----------------------------------------------------------------------------

def bag(members, whole=True):
    """A stored property bag's text form: the header line, then one member a line."""
    lines = ['{"talvrin-properties": 1']
    for key, kind, value in members:
        if kind in ("bytes", "picture"):
            value = base64.b64encode(value).decode("ascii")
        lines.append("%s: {%s: %s}" % (json.dumps(key), json.dumps(kind), json.dumps(value)))
    text = ",\n".join(lines) + ("\n}\n" if whole else ",\n")  # damaged: no closing brace
    return text.encode("utf-8")


def seeds():
    png_rgba = png(4, 4, 8, 6, rgba_rows(4, 4))
    png_palette = png(3, 2, 2, 3, b"\x00\x1b\x00\x24",
                      before_idat=chunk(b"PLTE", ramp(4)) + chunk(b"tRNS", b"\x00\x80\xff"))
    png_adam7 = png(5, 5, 16, 0, gray16_adam7(5), interlace=1)
    png_bad_crc = png(4, 4, 8, 6, rgba_rows(4, 4), idat_crc=0xDEADBEEF)
    png_truncated = png_rgba[:60]

    gif_plain = gif(6, 6, [(i * 7) % 4 for i in range(36)], global_table=ramp(4))
    gif_interlaced = gif(3, 9, [(i * 5) % 8 for i in range(27)], local_table=ramp(8),
                         interlaced=True, transparent=2, min_code_size=3, screen=(6, 12))
    gif_bad_code = gif(4, 4, [0] * 16, global_table=ramp(4), data=b"\x04\xff\xff\xff")
    gif_truncated = gif_plain[:30]

    ico_32 = ico([(4, 32, icon_bmp(4, 32))])
    ico_two = ico([(4, 4, icon_bmp(4, 4)), (4, 32, png_rgba)])
    cur_8 = ico([(4, 8, icon_bmp(4, 8))], kind=2, hotspot=(1, 2))
    ico_outside = ico([(4, 32, icon_bmp(4, 32))], offset_shift=200)

    every_key = bag([
        ("Image", "bytes", bmp24(3, 2)), ("Scaler", "i32", 4), ("Opacity", "i32", 60),
        ("Mirror", "i32", 3), ("Angle", "i32", -30), ("Enabled", "bool", 0),
        ("MPointer", "i16", 2), ("OLEdrop", "i16", 1), ("MIcon", "picture", ico_32),
        ("GrayScale", "i32", 2), ("HitTest", "i32", 3), ("Props", "i32", 0x1DD),
        ("MaskUsed", "bool", -1), ("MaskColor", "i32", 0x00FF00), ("MaskSource", "i32", 2),
        ("Mask", "i32", 0x0000FF), ("ShadowColor", "i32", 0x102030), ("ShadowDepth", "i32", 4),
        ("ShadowX", "i32", -3), ("ShadowY", "i32", 5), ("ShadowOpacity", "i32", 70),
        ("Intensity", "f32", -12.5), ("ScaleCx", "i32", 40), ("ScaleCy", "i32", 20),
        ("_extentx", "i32", 3387)])

    deflate_input = b"seed " * 20 + bytes(range(40))
    return {
        "png_fuzz": {
            "seed-rgba-4x4": b"\x00" + png_rgba,
            "seed-rgba-4x4-built-in-inflater": b"\x01" + png_rgba,
            "seed-palette-trns-3x2": b"\x00" + png_palette,
            "seed-gray16-adam7-5x5": b"\x01" + png_adam7,
            "seed-broken-idat-crc": b"\x00" + png_bad_crc,
            "seed-broken-truncated": b"\x00" + png_truncated,
        },
        "inflate_fuzz": {
            "seed-stored": le16(len(deflate_input)) + zlib.compress(deflate_input, 0),
            "seed-fixed-huffman": le16(12) + zlib.compress(b"hello, seed!", 9),
            "seed-dynamic-huffman": le16(len(deflate_input)) + zlib.compress(deflate_input, 9),
            "seed-broken-header-check": le16(12) + b"\x78\x9d" + zlib.compress(b"hello, seed!")[2:],
            "seed-broken-truncated": le16(len(deflate_input)) +
                                     zlib.compress(deflate_input, 9)[:20],
        },
        "picture_loader_fuzz": {
            "seed-bmp24-3x2": bmp24(3, 2),
            "seed-bmp8-rle-4x3": bmp8_rle(4, 3),
            "seed-gif-6x6": gif_plain,
            "seed-jpeg-gray-16x8": jpeg_gray(2),
            "seed-broken-jpeg-truncated": jpeg_gray(2)[:-6],
            "seed-broken-bmp-truncated": bmp24(3, 2)[:40],
        },
        "bmp_parser_fuzz": {
            "seed-bmp32-alpha-4x3": b"\x00" + bmp32_alpha(4, 3),
            "seed-bmp24-3x2-as-bitmap": b"\x01" + bmp24(3, 2),
            "seed-bmp4-rle-4x2": b"\x00" + bmp4_rle(4, 2),
            "seed-bmp1-core-header-9x6": b"\x01" + bmp1_os2(9, 6),
            "seed-broken-truncated": b"\x00" + bmp24(3, 2)[:50],
        },
        "gif_parser_fuzz": {
            "seed-6x6-global-table": gif_plain,
            "seed-3x9-interlaced-local-table-transparent": gif_interlaced,
            "seed-broken-bad-code": gif_bad_code,
            "seed-broken-truncated": gif_truncated,
        },
        "ico_parser_fuzz": {
            "seed-ico32-4x4": b"\x00" + ico_32,
            "seed-ico4-and-png-4x4": bytes([1 + 5 * 2]) + ico_two,
            "seed-cur8-4x4": bytes([2 + 25 * 2]) + cur_8,
            "seed-broken-entry-outside": b"\x00" + ico_outside,
        },
        "load_stream_fuzz": {
            "seed-png-rgba-4x4": b"\x00" + png_rgba,
            "seed-png-adam7-built-in-inflater": b"\x01" + png_adam7,
            "seed-gif-3x9-interlaced": b"\x00" + gif_interlaced,
            "seed-ico-two-entries-size-4": bytes([4 << 1]) + ico_two,
            "seed-cur8-depth-8": b"\x80" + cur_8,
            "seed-bmp32-alpha-4x3": b"\x00" + bmp32_alpha(4, 3),
            "seed-bmp8-rle-4x3": b"\x00" + bmp8_rle(4, 3),
        },
        "property_bag_fuzz": {
            "seed-png-image-props-5": bag([("Image", "bytes", png_rgba), ("Props", "i32", 5)]),
            "seed-every-key-bitmap-image": every_key,
            "seed-gif-image-kept-as-loaded": bag([("Image", "bytes", gif_plain),
                                                  ("Props", "i32", 0x19),
                                                  ("ShadowColor", "i32", 0x8000000F)]),
            "seed-broken-cut-after-a-member": every_key[:400],
            "seed-broken-damaged-lines": bag([("Opacity", "i32", 40), ("Mirror", "i16", 1),
                                              ("Scaler", "bytes", b"\x01"),
                                              ("Intensity", "f32", 250.0)], whole=False)
                                         + b'"angle": {"i32": 7\n"hittest": {"xyz": 1},\n',
            # Numbers that once wrapped past the 32-bit range check, and a member named like
            # the header line.
            "seed-numbers-past-64-bits": b'{"talvrin-properties": 1,\n'
                                         b'"Opacity": {"i32": 18446744073709551566},\n'
                                         b'"Props": {"i32": 18446744073709551615},\n'
                                         b'"MPointer": {"i16": -9223372036854775809}\n}\n',
            "seed-member-named-like-the-header": b'{"talvrin-properties": 1,\n'
                                                 b'"Talvrin-Properties": {"i32": 7},\n'
                                                 b'"talvrin-properties": {"bytes": ""}\n}\n',
        },
    }


def main():
    for target, files in seeds().items():
        folder = os.path.join(HERE, target)
        os.makedirs(folder, exist_ok=True)
        for name in os.listdir(folder):
            if name.startswith("seed-"):
                os.remove(os.path.join(folder, name))
        for name, data in files.items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()
