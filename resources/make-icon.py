#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Draws the program icon and writes every file made from it.

The artwork is the drawing code below: a round clock face with a teal rim, hour
ticks and two hands at ten past ten. Small sizes use thicker strokes and only
four ticks, so the face still reads at 16 pixels. From the one drawing this
script writes:

  clock.ico          12 images: 48, 32, 16 px at 4 bpp; 48, 32, 16 px at 8 bpp;
                     128, 64, 48, 32, 24, 16 px at 32 bpp with alpha
  clock.svg          the scalable version for the desktop's icon theme
  hicolor/NxN/apps/fullscreenclock.png   for N in 16, 24, 32, 48, 64, 128

Only the standard library is used. The output is byte-for-byte reproducible;
`--check` regenerates into a scratch directory and fails if the committed files
differ from what the drawing code produces.
"""

import argparse
import math
import os
import struct
import sys
import tempfile
import zlib

ICON_NAME = "fullscreenclock"

# (size, bits per pixel) in the order the icon directory lists them.
ICO_IMAGES = [(48, 4), (32, 4), (16, 4),
              (48, 8), (32, 8), (16, 8),
              (128, 32), (64, 32), (48, 32), (32, 32), (24, 32), (16, 32)]
PNG_SIZES = [16, 24, 32, 48, 64, 128]

RIM = (0, 118, 128)
FACE = (255, 255, 255)
INK = (40, 40, 40)
SECOND = (192, 64, 0)

# The classic 16-colour palette, in its usual index order.
CLASSIC16 = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
             (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
             (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
             (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]


def palette256():
    """The 16 classic colours, a 6x6x6 colour cube and 24 greys."""
    levels = [0, 51, 102, 153, 204, 255]
    cube = [(r, g, b) for r in levels for g in levels for b in levels]
    greys = [(v, v, v) for v in (8 + 10 * i for i in range(24))]
    pal = CLASSIC16 + cube + greys
    assert len(pal) == 256
    return pal


# ---------------------------------------------------------------- the artwork

def shapes(size):
    """The clock face as a list of (kind, geometry, colour), back to front.

    Coordinates are in units of the icon's width, origin at the top left.
    Circles are ("disc", (cx, cy, r)); strokes are ("line", (x0, y0, x1, y1,
    width)) with round ends. `size` is the pixel size the face is drawn for, or
    None for the scalable drawing.
    """
    px = 1.0 / size if size else 0.0
    small = size is not None and size <= 24
    c = 0.5
    outer = 0.48
    face = outer - max(0.075, 1.4 * px)
    out = [("disc", (c, c, outer), RIM), ("disc", (c, c, face), FACE)]

    tick_w = max(0.035, 1.6 * px) if not small else 2.0 * px
    for hour in range(12):
        major = hour % 3 == 0
        if small and not major:
            continue
        a = math.radians(hour * 30)
        r1 = face - max(0.03, 0.8 * px)
        r0 = r1 - (0.09 if major else 0.05)
        if small:
            # Round ends reach half a stroke beyond each end point.
            r1 = face - 0.5 * px - tick_w / 2
            r0 = r1 - (0.5 if size <= 16 else 1.5) * px
        w = tick_w * (1.4 if major and not small else 1.0)
        out.append(("line", (c + r0 * math.sin(a), c - r0 * math.cos(a),
                             c + r1 * math.sin(a), c - r1 * math.cos(a), w), INK))

    def hand(angle_deg, length, width, colour, tail=0.0):
        a = math.radians(angle_deg)
        dx, dy = math.sin(a), -math.cos(a)
        out.append(("line", (c - tail * dx, c - tail * dy,
                             c + length * dx, c + length * dy, width), colour))

    # Ten past ten: the hour hand a sixth of the way from 10 towards 11.
    hand(10 * 30 + 10 * 0.5, face * 0.55, max(0.075, 1.8 * px), INK)
    hand(10 * 6, face * 0.82, max(0.055, 1.5 * px), INK)
    if size is None or size >= 48:
        hand(35 * 6, face * 0.85, max(0.02, 1.0 * px), SECOND, tail=face * 0.18)
        out.append(("disc", (c, c, 0.045), SECOND))
    else:
        out.append(("disc", (c, c, max(0.05, 1.2 * px)), INK))
    return out


def distance(kind, geom, x, y):
    """Signed distance from (x, y) to the edge of a shape; negative inside."""
    if kind == "disc":
        cx, cy, r = geom
        return math.hypot(x - cx, y - cy) - r
    x0, y0, x1, y1, w = geom
    vx, vy = x1 - x0, y1 - y0
    t = ((x - x0) * vx + (y - y0) * vy) / (vx * vx + vy * vy)
    t = min(1.0, max(0.0, t))
    return math.hypot(x - x0 - t * vx, y - y0 - t * vy) - w / 2


def render(size, aliased=False):
    """Rasterises the face at `size` pixels into rows of (r, g, b, a) tuples.

    Each shape's coverage of a pixel is estimated from the signed distance at
    the pixel centre, which gives a one-pixel antialiased edge. Aliased
    drawings take a pixel whole or not at all, so that a 16-colour image holds
    only the artwork's own colours instead of blends snapped to odd neighbours.
    """
    layers = shapes(size)
    rows = []
    for j in range(size):
        row = []
        for i in range(size):
            x, y = (i + 0.5) / size, (j + 0.5) / size
            r = g = b = 0.0
            alpha = 0.0
            for kind, geom, colour in layers:
                d = distance(kind, geom, x, y) * size
                cover = (1.0 if d < 0 else 0.0) if aliased else min(1.0, max(0.0, 0.5 - d))
                if cover <= 0.0:
                    continue
                # Straight-alpha "over": only the outer disc is ever see-through.
                new_alpha = cover + alpha * (1.0 - cover)
                k = cover / new_alpha
                r += (colour[0] - r) * k
                g += (colour[1] - g) * k
                b += (colour[2] - b) * k
                alpha = new_alpha
            row.append((round(r), round(g), round(b), round(alpha * 255)))
        rows.append(row)
    return rows


def svg():
    parts = ['<svg xmlns="http://www.w3.org/2000/svg" width="128" height="128" '
             'viewBox="0 0 128 128">']
    for kind, geom, colour in shapes(None):
        fill = "#%02x%02x%02x" % colour
        g = [round(v * 128, 3) for v in geom]
        if kind == "disc":
            parts.append('  <circle cx="%g" cy="%g" r="%g" fill="%s"/>' % (*g, fill))
        else:
            parts.append('  <line x1="%g" y1="%g" x2="%g" y2="%g"\n'
                         '        stroke-width="%g" stroke="%s" stroke-linecap="round"/>'
                         % (*g, fill))
    parts.append("</svg>")
    return ("\n".join(parts) + "\n").encode("ascii")


# ---------------------------------------------------------------- file formats

def nearest(palette, rgb):
    r, g, b = rgb
    best, best_d = 0, None
    for idx, (pr, pg, pb) in enumerate(palette):
        # Green weighs most, blue least, roughly as the eye sees it.
        d = 3 * (r - pr) ** 2 + 4 * (g - pg) ** 2 + 2 * (b - pb) ** 2
        if best_d is None or d < best_d:
            best, best_d = idx, d
    return best


def pad4(data):
    return data + b"\0" * (-len(data) % 4)


def bmp_entry(rows, bpp):
    """One icon image: BITMAPINFOHEADER, palette, colour bits, AND mask."""
    size = len(rows)
    palette = {4: CLASSIC16, 8: palette256()}.get(bpp, [])
    cache = {}
    xor_rows, and_rows = [], []
    for row in reversed(rows):  # bitmaps are stored bottom-up
        mask_bits = 0
        pixels = bytearray()
        indices = []
        for i, (r, g, b, a) in enumerate(row):
            transparent = a < 128 if palette else a == 0
            if transparent:
                mask_bits |= 1 << (size - 1 - i)
            if bpp == 32:
                pixels += bytes((b, g, r, a))
            else:
                key = (r, g, b)
                if transparent:
                    indices.append(0)
                else:
                    if key not in cache:
                        cache[key] = nearest(palette, key)
                    indices.append(cache[key])
        if bpp == 8:
            pixels = bytearray(indices)
        elif bpp == 4:
            pixels = bytearray((indices[k] << 4) | indices[k + 1]
                               for k in range(0, size, 2))
        xor_rows.append(pad4(bytes(pixels)))
        and_rows.append(pad4(mask_bits.to_bytes((size + 7) // 8, "big")))
    bits = b"".join(xor_rows) + b"".join(and_rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, bpp, 0, len(bits),
                         0, 0, len(palette), 0)
    pal = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    return header + pal + bits


def ico(images):
    """images: list of (size, bpp, data) in directory order."""
    offset = 6 + 16 * len(images)
    directory = struct.pack("<HHH", 0, 1, len(images))
    blobs = []
    for size, bpp, data in images:
        colours = 16 if bpp == 4 else 0
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, colours, 0, 1, bpp,
                                 len(data), offset)
        offset += len(data)
        blobs.append(data)
    return directory + b"".join(blobs)


def png(rows):
    size = len(rows)
    raw = b"".join(b"\0" + b"".join(bytes(p) for p in row) for row in rows)

    def chunk(tag, data):
        return (struct.pack(">I", len(data)) + tag + data
                + struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF))

    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


# ---------------------------------------------------------------- driver

def outputs():
    """Every generated file as {relative path: bytes}."""
    rendered = {s: render(s) for s in sorted({s for s, _ in ICO_IMAGES} | set(PNG_SIZES))}
    aliased = {s: render(s, aliased=True) for s, bpp in ICO_IMAGES if bpp == 4}
    files = {"clock.ico": ico([(s, bpp, bmp_entry((aliased if bpp == 4 else rendered)[s], bpp))
                               for s, bpp in ICO_IMAGES]),
             "clock.svg": svg()}
    for s in PNG_SIZES:
        files[os.path.join("hicolor", "%dx%d" % (s, s), "apps", ICON_NAME + ".png")] = \
            png(rendered[s])
    return files


def write(outdir, files):
    for rel, data in files.items():
        path = os.path.join(outdir, rel)
        os.makedirs(os.path.dirname(path) or ".", exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)


def png_content(data):
    """A PNG's header and decompressed pixel rows, which unlike its bytes do not
    depend on the zlib version that compressed them."""
    pos, header, idat = 8, b"", b""
    while pos < len(data):
        length, tag = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if tag == b"IHDR":
            header = body
        elif tag == b"IDAT":
            idat += body
        pos += 12 + length
    return header, zlib.decompress(idat)


def same(generated, committed):
    if not os.path.exists(committed):
        return False
    with open(generated, "rb") as f:
        a = f.read()
    with open(committed, "rb") as f:
        b = f.read()
    if generated.endswith(".png"):
        try:
            return png_content(a) == png_content(b)
        except (struct.error, zlib.error):
            return False
    return a == b


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--outdir", default=here, help="where to write (default: beside this script)")
    ap.add_argument("--check", action="store_true",
                    help="compare the files in --outdir with freshly generated ones")
    args = ap.parse_args()
    files = outputs()
    if not args.check:
        write(args.outdir, files)
        return 0
    with tempfile.TemporaryDirectory() as tmp:
        write(tmp, files)
        stale = [rel for rel in sorted(files)
                 if not same(os.path.join(tmp, rel), os.path.join(args.outdir, rel))]
    for rel in stale:
        print("out of date: %s (run make-icon.py)" % rel, file=sys.stderr)
    return 1 if stale else 0


if __name__ == "__main__":
    sys.exit(main())
