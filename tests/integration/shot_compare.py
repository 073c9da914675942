#!/usr/bin/env python3
"""Loose comparison of a screenshot with its reviewed golden image.

Both 8-bit RGBA PNGs (the game's own screenshots) are reduced to the means of 4 x 4 pixel blocks,
and the mean absolute difference of those block means over the three colour channels, on a 0-255
scale, must stay under a limit: over the whole image (a tint gone, a pass missing), and over each
element of the GUI probe file that shows a text, one by one (a text drawn upside down or a
nine-patch stretched wrong is a small part of the screen but a large part of its own box). Blocks
forgive the small shifts of a different rasteriser. Where the picture itself differs from run to
run (a level is new every time), --tint compares only the mean colour of the whole image, channel
by channel, which a new level hardly moves but a tint or a pass gone does.

usage: shot_compare.py SHOT GOLDEN [--whole LIMIT] [--tint LIMIT] [--elements PROBE LIMIT]
Prints the differences; exits 1 when one is over its limit or the sizes differ, 2 on bad input.
"""
import struct
import sys
import zlib

BLOCK = 4


def read_png(path):
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError(path + ": not a PNG")
    pos, idat, w, h = 8, [], 0, 0
    while pos < len(data):
        n, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + n]
        if kind == b"IHDR":
            w, h, depth, ctype = struct.unpack(">IIBB", body[:10])
            if depth != 8 or ctype != 6:
                raise ValueError(path + ": not 8-bit RGBA")
        elif kind == b"IDAT":
            idat.append(body)
        pos += 12 + n
    raw, bpp, stride = zlib.decompress(b"".join(idat)), 4, w * 4
    prev, rows = bytearray(stride), []
    for r in range(h):
        start = r * (stride + 1)
        f, line = raw[start], bytearray(raw[start + 1:start + 1 + stride])
        if f == 1:
            for i in range(bpp, stride):
                line[i] = (line[i] + line[i - bpp]) & 255
        elif f == 2:
            for i in range(stride):
                line[i] = (line[i] + prev[i]) & 255
        elif f == 3:
            for i in range(stride):
                a = line[i - bpp] if i >= bpp else 0
                line[i] = (line[i] + (a + prev[i]) // 2) & 255
        elif f == 4:
            for i in range(stride):
                a = line[i - bpp] if i >= bpp else 0
                b, c = prev[i], prev[i - bpp] if i >= bpp else 0
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(line)
        prev = line
    return w, h, rows


def block_means(rows, x0, y0, x1, y1):
    out = []
    for by in range(y0, y1 - BLOCK + 1, BLOCK):
        for bx in range(x0, x1 - BLOCK + 1, BLOCK):
            s = [0, 0, 0]
            for y in range(by, by + BLOCK):
                line = rows[y]
                for x in range(bx, bx + BLOCK):
                    s[0] += line[4 * x]
                    s[1] += line[4 * x + 1]
                    s[2] += line[4 * x + 2]
            out.append([v / (BLOCK * BLOCK) for v in s])
    return out


def region_diff(a, b, x0, y0, x1, y1, w, h):
    x0, y0, x1, y1 = max(0, x0), max(0, y0), min(w, x1), min(h, y1)
    if x1 - x0 < BLOCK or y1 - y0 < BLOCK:
        return None
    p, q = block_means(a, x0, y0, x1, y1), block_means(b, x0, y0, x1, y1)
    return sum(abs(u[c] - v[c]) for u, v in zip(p, q) for c in range(3)) / (3 * len(p))


def mean_colour(rows, w, h):
    s = [0, 0, 0]
    for r in rows:
        for c in range(3):
            s[c] += sum(r[c::4])
    return [v / (w * h) for v in s]


def text_elements(probe):
    """(label, x0, y0, x1, y1) of every element of the probe file that shows a text."""
    out = []
    for line in open(probe, encoding="utf-8", errors="replace"):
        f = line.rstrip("\n").split("\t")
        if f[0] == "el" and len(f) > 9 and f[9]:
            out.append((f[9],) + tuple(map(int, f[2:6])))
    return out


def main(argv):
    args, whole, tint, elements = argv[3:], None, None, None
    try:
        while args:
            if args[0] == "--whole" and len(args) >= 2:
                whole, args = float(args[1]), args[2:]
            elif args[0] == "--tint" and len(args) >= 2:
                tint, args = float(args[1]), args[2:]
            elif args[0] == "--elements" and len(args) >= 3:
                elements, args = (text_elements(args[1]), float(args[2])), args[3:]
            else:
                raise ValueError("unknown argument " + args[0])
        if len(argv) < 3 or (whole is None and tint is None and elements is None):
            raise ValueError("usage: shot_compare.py SHOT GOLDEN [--whole LIMIT] [--tint LIMIT] [--elements PROBE LIMIT]")
        w, h, shot = read_png(argv[1])
        gw, gh, golden = read_png(argv[2])
    except (OSError, ValueError) as e:
        print("shot_compare:", e, file=sys.stderr)
        return 2
    if (w, h) != (gw, gh):
        print("size %dx%d, the golden's %dx%d" % (w, h, gw, gh))
        return 1
    ok = True
    if whole is not None:
        d = region_diff(shot, golden, 0, 0, w, h, w, h)
        print("whole %.2f" % d)
        ok = ok and d <= whole
    if tint is not None:
        a, b = mean_colour(shot, w, h), mean_colour(golden, w, h)
        d = max(abs(u - v) for u, v in zip(a, b))
        print("tint %.2f" % d)
        ok = ok and d <= tint
    if elements is not None:
        worst, where = 0.0, "none"
        for label, x0, y0, x1, y1 in elements[0]:
            d = region_diff(shot, golden, x0, y0, x1, y1, w, h)
            if d is not None and d >= worst:
                worst, where = d, label
        print("worst element %.2f (%s)" % (worst, where))
        ok = ok and worst <= elements[1]
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
