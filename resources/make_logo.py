#!/usr/bin/env python3
"""Draws the program's logo and writes it with the logo control's stored property bag.

logo.png              128 x 128 PNG, RGBA 8 bits per sample (straight alpha), non-interlaced
logo.properties.json  the stored property bag of the logo control: the PNG's bytes as "image",
                      then "props", "_extentx" and "_extenty"

The logo is a rounded shield in a blue gradient with a glassy translucent frame, a soft
highlight, a white wrench and a soft shadow, drawn from geometry below with the standard
library only. Hard edges are supersampled (4 x 4 samples per pixel, coverage averaged into
alpha); shadows and the frame's inner edge come from distances to the outlines. The output is
reproducible byte for byte: run `python3 make_logo.py` in this folder.
"""
import base64
import math
import struct
import zlib

SIZE = 128
SUB = 4  # supersamples per pixel along each axis

# ---------------------------------------------------------------- geometry

# The shield: straight top with rounded corners, straight sides, and a bottom that narrows as
# a parabola to a point (smooth where it meets the sides, pointed at the tip).
CX = 64.0
TOP = 9.0
HALF_W = 46.0
CORNER = 13.0
SIDE_END = 60.0  # where the sides start to curve in
TIP = 118.0


def shield_half_width(y):
    """Half the shield's width at height y, or None above or below it."""
    if y < TOP or y > TIP:
        return None
    if y < TOP + CORNER:
        dy = TOP + CORNER - y
        return HALF_W - CORNER + math.sqrt(max(0.0, CORNER * CORNER - dy * dy))
    if y <= SIDE_END:
        return HALF_W
    t = (y - SIDE_END) / (TIP - SIDE_END)
    return HALF_W * (1.0 - t * t)


def shield_inside(x, y):
    w = shield_half_width(y)
    return w is not None and abs(x - CX) < w


def shield_outline(steps=64):
    """The outline as a closed polygon, clockwise from the top's middle."""
    right = []
    for i in range(steps + 1):
        a = -math.pi / 2 + (math.pi / 2) * i / steps
        right.append((CX + HALF_W - CORNER + CORNER * math.cos(a),
                      TOP + CORNER + CORNER * math.sin(a)))
    for i in range(steps + 1):
        y = SIDE_END + (TIP - SIDE_END) * i / steps
        right.append((CX + shield_half_width(y), y))
    left = [(2 * CX - x, y) for (x, y) in reversed(right)]
    return [(CX, TOP)] + right + left[1:]


def segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy
    t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / length2))
    return math.hypot(px - ax - t * dx, py - ay - t * dy)


def shield_distance(px, py, segments):
    """Signed distance from the point to the outline (negative inside)."""
    d = min(segment_distance(px, py, ax, ay, bx, by) for (ax, ay), (bx, by) in segments)
    return -d if shield_inside(px, py) else d


def outline_segments():
    poly = shield_outline()
    return list(zip(poly, poly[1:] + poly[:1]))


def samples_per_pixel(size):
    """Supersamples along each axis of a pixel when the logo is drawn `size` pixels square:
    SUB at the logo's own size, and as many more as keep them as close in a smaller drawing."""
    return max(SUB, math.ceil(SUB * SIZE / size))


def shield_coverage(size=SIZE):
    """The fraction of each pixel inside the shield, from supersamples."""
    k = size / SIZE
    sub = samples_per_pixel(size)
    cov = [[0.0] * size for _ in range(size)]
    for y in range(size):
        for sy in range(sub):
            fy = (y + (sy + 0.5) / sub) / k
            w = shield_half_width(fy)
            if w is None:
                continue
            for x in range(size):
                hits = sum(1 for sx in range(sub) if abs((x + (sx + 0.5) / sub) / k - CX) < w)
                cov[y][x] += hits / (sub * sub)
    return cov


# The wrench lies along a diagonal, head at the upper right: an open jaw at the head, a
# handle, and a round end with a hole at the lower left. Built from distance functions
# (negative inside) in coordinates along (u) and across (v) the handle.
WRENCH_CX, WRENCH_CY = 64.0, 61.0
WRENCH_ANGLE = math.radians(45.0)


def capsule(u, v, u0, u1, r):
    t = max(u0, min(u1, u))
    return math.hypot(u - t, v) - r


def circle(u, v, cu, cv, r):
    return math.hypot(u - cu, v - cv) - r


def smooth_union(a, b, k):
    h = max(0.0, min(1.0, 0.5 + 0.5 * (b - a) / k))
    return b + (a - b) * h - k * h * (1.0 - h)


def wrench_distance(x, y):
    dx, dy = x - WRENCH_CX, y - WRENCH_CY
    c, s = math.cos(WRENCH_ANGLE), math.sin(WRENCH_ANGLE)
    u = dx * c - dy * s  # along the handle, towards the head (upper right)
    v = dx * s + dy * c
    handle = capsule(u, v, -27.0, 14.0, 6.0)
    head = circle(u, v, 22.0, 0.0, 14.0)
    tail = circle(u, v, -28.0, 0.0, 9.5)
    body = smooth_union(smooth_union(handle, head, 5.0), tail, 5.0)
    jaw = capsule(u, v, 22.0, 60.0, 6.2)  # the open slot, round at its bottom
    hole = circle(u, v, -28.0, 0.0, 4.2)
    return max(body, -jaw, -hole)


def wrench_coverage(size=SIZE):
    k = size / SIZE
    sub = samples_per_pixel(size)
    cov = [[0.0] * size for _ in range(size)]
    for y in range(size):
        for x in range(size):
            if wrench_distance((x + 0.5) / k, (y + 0.5) / k) > 1.5 / k:
                continue  # far outside: no sample can hit
            hits = 0
            for sy in range(sub):
                for sx in range(sub):
                    if wrench_distance((x + (sx + 0.5) / sub) / k,
                                       (y + (sy + 0.5) / sub) / k) < 0:
                        hits += 1
            cov[y][x] = hits / (sub * sub)
    return cov


# ---------------------------------------------------------------- painting


def clamp01(v):
    return 0.0 if v < 0.0 else 1.0 if v > 1.0 else v


def smoothstep(e0, e1, v):
    t = clamp01((v - e0) / (e1 - e0))
    return t * t * (3.0 - 2.0 * t)


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def over(dst, colour, alpha):
    """Source-over onto a premultiplied pixel [r, g, b, a] (components 0..1)."""
    k = 1.0 - alpha
    dst[0] = colour[0] * alpha + dst[0] * k
    dst[1] = colour[1] * alpha + dst[1] * k
    dst[2] = colour[2] * alpha + dst[2] * k
    dst[3] = alpha + dst[3] * k


def rgb(hex_colour):
    return tuple(int(hex_colour[i:i + 2], 16) / 255.0 for i in (1, 3, 5))


SHADOW = rgb("#0B1E3F")
FRAME = rgb("#9ACBFF")
BODY_TOP = rgb("#46A6F5")
BODY_BOTTOM = rgb("#1544A0")
WHITE = (1.0, 1.0, 1.0)
WRENCH_BOTTOM = rgb("#DCEBFF")
FRAME_WIDTH = 4.0


def logo_premultiplied(size=SIZE):
    """The logo drawn `size` pixels square, as rows of premultiplied [r, g, b, a] floats (0..1).
    Every length below is in the logo's own units (SIZE of them across)."""
    k = size / SIZE
    segments = outline_segments()
    shield = shield_coverage(size)
    wrench = wrench_coverage(size)
    out = []
    for y in range(size):
        row = []
        for x in range(size):
            px, py = (x + 0.5) / k, (y + 0.5) / k
            p = [0.0, 0.0, 0.0, 0.0]
            d = shield_distance(px, py, segments)
            # a soft shadow below the shield: its outline moved down, faded over 7 px
            ds = shield_distance(px, py - 2.0, segments) if py - 2.0 >= 0.5 else 99.0
            if ds < 7.0:
                over(p, SHADOW, 0.30 * (1.0 - smoothstep(-1.0, 7.0, ds)))
            cov = shield[y][x]
            if cov > 0.0:
                # the glassy frame: translucent light blue all round the rim
                over(p, FRAME, 0.55 * cov)
                # the body inside the frame: a vertical gradient, a little darker at the sides
                inner = clamp01(-d - FRAME_WIDTH + 0.5) * cov
                if inner > 0.0:
                    t = clamp01((py - TOP) / (TIP - TOP))
                    shade = 1.0 - 0.18 * ((px - CX) / HALF_W) ** 2
                    body = tuple(c * shade for c in mix(BODY_TOP, BODY_BOTTOM, t))
                    over(p, body, inner)
                # a thin bright line where the frame meets the body
                line = max(0.0, 1.0 - abs(-d - FRAME_WIDTH) / 0.9) * cov
                if line > 0.0:
                    over(p, WHITE, 0.55 * line)
                # the soft highlight: the shield's top above a downward arc,
                # fading from the top
                arc = 50.0 + 0.012 * (px - CX) ** 2
                gloss = clamp01(arc - py) * clamp01(-d - FRAME_WIDTH - 2.0)
                if gloss > 0.0:
                    over(p, WHITE, gloss * (0.07 + 0.28 * (1.0 - clamp01((py - TOP) / 44.0))))
            # the wrench's soft shadow, then the wrench
            dw = wrench_distance(px - 1.5, py - 2.5)
            if dw < 4.0:
                over(p, SHADOW, 0.35 * (1.0 - smoothstep(-1.0, 4.0, dw)))
            wc = wrench[y][x]
            if wc > 0.0:
                t = clamp01((py - 24.0) / 76.0)
                over(p, mix(WHITE, WRENCH_BOTTOM, t), wc)
            row.append(p)
        out.append(row)
    return out


def logo_pixels(size=SIZE):
    """The logo as rows of straight-alpha (r, g, b, a) byte tuples."""
    return [[to_bytes(p) for p in row] for row in logo_premultiplied(size)]


def to_bytes(p):
    """Premultiplied floats to straight-alpha bytes; fully transparent pixels are all zero."""
    a = int(round(clamp01(p[3]) * 255.0))
    if a == 0:
        return (0, 0, 0, 0)
    return tuple(int(round(clamp01(c / p[3]) * 255.0)) for c in p[:3]) + (a,)


# ---------------------------------------------------------------- writers


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(
        ">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def filtered_rows(raw_rows, bpp=4):
    """Each row with the PNG filter (0-4) whose output has the smallest sum of magnitudes."""
    out = bytearray()
    prev = bytes(len(raw_rows[0]))
    for row in raw_rows:
        best = None
        for kind in range(5):
            f = bytearray(len(row))
            for i, x in enumerate(row):
                a = row[i - bpp] if i >= bpp else 0
                b = prev[i]
                c = prev[i - bpp] if i >= bpp else 0
                pred = (0, a, b, (a + b) // 2, paeth(a, b, c))[kind]
                f[i] = (x - pred) & 0xFF
            score = sum(v if v < 128 else 256 - v for v in f)
            if best is None or score < best[0]:
                best = (score, kind, f)
        out.append(best[1])
        out += best[2]
        prev = row
    return bytes(out)


def png_file(px):
    h, w = len(px), len(px[0])
    raw_rows = [bytes(v for pixel in row for v in pixel) for row in px]
    ihdr = struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0)  # 8 bits, RGBA, no interlace
    idat = zlib.compress(filtered_rows(raw_rows), 9)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", ihdr) + png_chunk(b"IDAT", idat)
            + png_chunk(b"IEND", b""))


def property_bag(members):
    """The property-bag text format: the header, then one stored property per line."""
    lines = ['{"talvrin-properties": 1']
    for key, kind, value in members:
        if kind in ("bytes", "picture"):
            value = '"' + base64.b64encode(value).decode("ascii") + '"'
        else:
            value = str(value)
        lines.append('"%s": {"%s": %s}' % (key.lower(), kind, value))
    return ",\n".join(lines) + "\n}\n"


if __name__ == "__main__":
    png = png_file(logo_pixels())
    with open("logo.png", "wb") as f:
        f.write(png)
    bag = property_bag([
        ("image", "bytes", png),
        ("props", "i32", 5),
        ("_extentx", "i32", 3387),
        ("_extenty", "i32", 3387),
    ])
    with open("logo.properties.json", "w", encoding="ascii", newline="\n") as f:
        f.write(bag)
