#!/usr/bin/python3
"""Draws the launcher's icon and writes res/molk2014.ico.

Usage: scripts/make-icon.py [--ico PATH] [--check] [--preview PNG]

The drawing is the table below: a rounded blue tile, a white letter M and an
amber bar under it, laid out once per icon size so that the small sizes land
on whole pixels. Each size is rendered from those shapes with 8x8 samples per
pixel and written as
  * 16, 24, 32 and 48: a 4-bit palette DIB with its AND mask, the format
    every Windows version reads;
  * 256: a palette PNG with per-entry transparency (tRNS), which Windows
    reads from Vista on.
The same sources give the same bytes on every run: integer colour arithmetic,
a fixed palette order, and zlib (the PNG's deflate stream) at fixed settings.

  --ico PATH     the icon file to write or check (default: res/molk2014.ico)
  --check        draw into memory and fail if PATH holds other bytes
  --preview PNG  also write the five sizes side by side, at 1:1, as a PNG
"""
import argparse
import math
import struct
import sys
import zlib
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]

# Opaque colours; a pixel is a mix of these and "clear" (transparent).
CLEAR, TILE, INK, ACCENT = range(4)
RGB = {
    TILE: (0x1D, 0x5C, 0x87),    # deep blue
    INK: (0xFF, 0xFF, 0xFF),     # the letter
    ACCENT: (0xF5, 0x9E, 0x0B),  # the bar
}

# One layout per size, in pixels from the top left corner:
#   radius       corner radius of the tile, which fills the whole square
#   left         left edge of the M and the bar (the right edge mirrors it)
#   top, bottom  top and bottom of the M
#   leg          width of the M's two upright strokes
#   band         width, measured across, of its two 45-degree strokes
#   hint         sideways shift of the 45-degree strokes: half a pixel in the
#                small sizes keeps their edges off the pixel centres, so each
#                row gets a clean step of whole pixels instead of grey halves
#   bar          top and bottom of the bar
# The 16 is the master; 32 and 48 are it twice and three times over, with
# steps one pixel high; 24 is it half again, rounded to whole pixels.
LAYOUTS = {
    16: dict(radius=3, left=2, top=3, bottom=11, leg=2, band=2, hint=-0.5, bar=(12, 14)),
    24: dict(radius=4.5, left=3, top=4, bottom=16, leg=3, band=3, hint=-0.5, bar=(18, 21)),
    32: dict(radius=6, left=4, top=6, bottom=22, leg=4, band=4, hint=-0.5, bar=(24, 28)),
    48: dict(radius=9, left=6, top=9, bottom=33, leg=6, band=6, hint=-0.5, bar=(36, 42)),
    256: dict(radius=48, left=32, top=48, bottom=176, leg=32, band=32, hint=0, bar=(192, 224)),
}
SIZES = tuple(LAYOUTS)

SAMPLES = 8       # per pixel and axis
DIB_LEVELS = 3    # steps from tile to ink (or accent) in the DIB palettes
PNG_LEVELS = 16   # steps of coverage in the PNG palette


class RoundedRect:
    def __init__(self, x0, y0, x1, y1, radius):
        self.x0, self.y0, self.x1, self.y1, self.radius = x0, y0, x1, y1, radius

    def spans(self, y):
        if not self.y0 <= y < self.y1:
            return []
        r = self.radius
        dy = max(self.y0 + r - y, y - (self.y1 - r), 0)
        # sqrt, unlike sin and cos, is exactly rounded everywhere.
        dx = r - math.sqrt(r * r - dy * dy)
        return [(self.x0 + dx, self.x1 - dx)]


class Polygon:
    def __init__(self, *points):
        self.points = points

    def spans(self, y):
        xs = []
        for (xa, ya), (xb, yb) in zip(self.points, self.points[1:] + self.points[:1]):
            if (ya <= y < yb) or (yb <= y < ya):
                xs.append(xa + (y - ya) * (xb - xa) / (yb - ya))
        xs.sort()
        return list(zip(xs[0::2], xs[1::2]))


def rect(x0, y0, x1, y1):
    return Polygon((x0, y0), (x1, y0), (x1, y1), (x0, y1))


def shapes(size):
    """The drawing at |size|: (colour, shape) pairs, painted in order."""
    lay = LAYOUTS[size]
    left, right = lay["left"], size - lay["left"]
    top, bottom, leg, band = lay["top"], lay["bottom"], lay["leg"], lay["band"]
    centre = size / 2
    # The left 45-degree stroke, from the top of the left leg down to the
    # middle; its lower edge meets the middle at the point of the V.
    x = left + lay["hint"]
    point = top + centre - x
    stroke = [(x, top), (x + band, top), (centre, point - band), (centre, point)]
    mirrored = [(size - px, py) for px, py in reversed(stroke)]
    return [
        (TILE, RoundedRect(0, 0, size, size, lay["radius"])),
        (INK, rect(left, top, left + leg, bottom)),
        (INK, rect(right - leg, top, right, bottom)),
        (INK, Polygon(*stroke)),
        (INK, Polygon(*mirrored)),
        (ACCENT, rect(left, lay["bar"][0], right, lay["bar"][1])),
    ]


def coverage(size):
    """Per pixel, row by row from the top: how many of its SAMPLES**2 samples
    each colour covers, as a tuple indexed by CLEAR, TILE, INK, ACCENT."""
    n = SAMPLES
    drawing = shapes(size)
    pixels = []
    for row in range(size):
        lines = []
        for sub in range(n):
            y = row + (sub + 0.5) / n
            line = bytearray(size * n)  # CLEAR
            for colour, shape in drawing:
                for xa, xb in shape.spans(y):
                    # The samples whose centres (k + 0.5) / n lie in [xa, xb).
                    k0 = max(math.ceil(xa * n - 0.5), 0)
                    k1 = min(math.ceil(xb * n - 0.5), size * n)
                    if k1 > k0:
                        line[k0:k1] = bytes([colour]) * (k1 - k0)
            lines.append(bytes(line))
        for col in range(size):
            samples = b"".join(line[col * n:(col + 1) * n] for line in lines)
            pixels.append(tuple(samples.count(c) for c in range(4)))
    return pixels


def mix(weights):
    """The colour of |weights| (counts per colour, CLEAR ignored), rounded."""
    total = sum(weights[c] for c in RGB)
    return tuple((sum(weights[c] * RGB[c][i] for c in RGB) + total // 2) // total
                 for i in range(3))


def nearest(weights, palette):
    """Index of the palette colour closest to the mix |weights|; the first of
    equals. Compared with the mix unrounded, in integers."""
    total = sum(weights[c] for c in RGB)
    exact = [sum(weights[c] * RGB[c][i] for c in RGB) for i in range(3)]
    best = None
    for index, colour in enumerate(palette):
        if colour is None:
            continue
        distance = sum((exact[i] - colour[i] * total) ** 2 for i in range(3))
        if best is None or distance < best[0]:
            best = (distance, index)
    return best[1]


def dib_palette():
    """Black first (what a masked pixel holds), then the flat colours and the
    steps between the tile and each of the other two."""
    palette = [(0, 0, 0), RGB[TILE], RGB[INK], RGB[ACCENT]]
    for other in (INK, ACCENT):
        for step in range(1, DIB_LEVELS):
            weights = [0, DIB_LEVELS - step, 0, 0]
            weights[other] = step
            palette.append(mix(weights))
    assert len(palette) <= 16
    return palette


def dib_entry(size):
    """A 4-bit DIB with its AND mask: BITMAPINFOHEADER, 16 palette entries,
    the colour rows, the mask rows, both from the bottom row up."""
    full = SAMPLES * SAMPLES
    palette = dib_palette()
    matching = [None] + palette[1:]  # black is for masked pixels only
    pixels = coverage(size)
    indices, mask = [], []
    for weights in pixels:
        if 2 * weights[CLEAR] >= full:
            indices.append(0)
            mask.append(1)
        else:
            indices.append(nearest(weights, matching))
            mask.append(0)

    def rows(bits_per_pixel, values):
        stride = (size * bits_per_pixel + 31) // 32 * 4
        out = bytearray()
        for row in reversed(range(size)):
            packed = 0
            for v in values[row * size:(row + 1) * size]:
                packed = packed << bits_per_pixel | v
            packed <<= stride * 8 - size * bits_per_pixel
            out += packed.to_bytes(stride, "big")
        return bytes(out)

    xor = rows(4, indices)
    and_mask = rows(1, mask)
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 4, 0,
                         len(xor) + len(and_mask), 0, 0, 0, 0)
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    colours += bytes(4 * (16 - len(palette)))
    image = [palette[i] + ((0 if m else 255),) for i, m in zip(indices, mask)]
    return header + colours + xor + and_mask, image


def png_chunk(kind, data):
    return (struct.pack(">I", len(data)) + kind + data
            + struct.pack(">I", zlib.crc32(kind + data)))


def deflate_smallest(rows):
    """The smallest zlib stream of the filtered |rows| over a fixed set of
    row filters (none, sub, up) and zlib strategies; the first of equals."""
    def filtered(kind):
        out = bytearray()
        previous = bytes(len(rows[0]))
        for row in rows:
            if kind == 0:
                line = row
            elif kind == 1:
                line = bytes((row[i] - (row[i - 1] if i else 0)) & 0xFF for i in range(len(row)))
            else:
                line = bytes((a - b) & 0xFF for a, b in zip(row, previous))
            out.append(kind)
            out += line
            previous = row
        return bytes(out)

    best = None
    for kind in (0, 1, 2):
        data = filtered(kind)
        for strategy in (zlib.Z_DEFAULT_STRATEGY, zlib.Z_FILTERED):
            packer = zlib.compressobj(9, zlib.DEFLATED, 15, 9, strategy)
            stream = packer.compress(data) + packer.flush()
            if best is None or len(stream) < len(best):
                best = stream
    return best


def png_entry(size):
    """A palette PNG: the coverage rounded to PNG_LEVELS steps, the palette
    sorted with the see-through entries first (so tRNS stays short)."""
    full = SAMPLES * SAMPLES
    rgba = []
    for weights in coverage(size):
        opaque = full - weights[CLEAR]
        alpha = (opaque * PNG_LEVELS + full // 2) // full * 255 // PNG_LEVELS
        if alpha == 0:
            rgba.append((0, 0, 0, 0))
            continue
        # The opaque colours' shares, rounded to steps of the same size.
        steps = [(weights[c] * PNG_LEVELS + opaque // 2) // opaque for c in RGB]
        rgba.append(mix([0] + steps) + (alpha,))
    palette = sorted(set(rgba), key=lambda c: (c[3] == 255, c))
    if len(palette) > 256:
        sys.exit(f"make-icon: {len(palette)} colours at {size}x{size}, more than a PNG palette holds")
    index = {c: i for i, c in enumerate(palette)}
    rows = [bytes(index[c] for c in rgba[y * size:(y + 1) * size]) for y in range(size)]
    see_through = bytes(c[3] for c in palette if c[3] != 255)
    png = (b"\x89PNG\r\n\x1a\n"
           + png_chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 3, 0, 0, 0))
           + png_chunk(b"PLTE", b"".join(bytes(c[:3]) for c in palette))
           + png_chunk(b"tRNS", see_through)
           + png_chunk(b"IDAT", deflate_smallest(rows))
           + png_chunk(b"IEND", b""))
    return png, rgba


def build():
    """The .ico bytes, and per size its pixels as (r, g, b, a) tuples."""
    entries, images = [], {}
    for size in SIZES:
        data, images[size] = png_entry(size) if size == 256 else dib_entry(size)
        entries.append((size, data))
    # ICONDIR, one ICONDIRENTRY per image, then the images in the same order.
    # A width or height of 0 means 256; the PNG decodes to 32-bit RGBA.
    out = struct.pack("<HHH", 0, 1, len(entries))
    offset = len(out) + 16 * len(entries)
    for size, data in entries:
        png = size == 256
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0 if png else 16, 0,
                           1, 32 if png else 4, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in entries), images


def preview(images):
    """The sizes side by side, largest first, bottom-aligned, as an RGBA PNG."""
    gap = 16
    width = sum(SIZES) + gap * (len(SIZES) - 1)
    height = max(SIZES)
    canvas = [[(0, 0, 0, 0)] * width for _ in range(height)]
    x = 0
    for size in sorted(SIZES, reverse=True):
        for y in range(size):
            canvas[height - size + y][x:x + size] = images[size][y * size:(y + 1) * size]
        x += size + gap
    raw = b"".join(b"\0" + b"".join(bytes(p) for p in line) for line in canvas)
    return (b"\x89PNG\r\n\x1a\n"
            + png_chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
            + png_chunk(b"IDAT", zlib.compress(raw, 9))
            + png_chunk(b"IEND", b""))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--ico", type=Path, default=ROOT / "res" / "molk2014.ico")
    parser.add_argument("--check", action="store_true")
    parser.add_argument("--preview", type=Path)
    args = parser.parse_args()

    data, images = build()
    if args.check:
        try:
            committed = args.ico.read_bytes()
        except OSError as error:
            sys.exit(f"make-icon: cannot read {args.ico}: {error.strerror}")
        if committed != data:
            sys.exit(f"make-icon: {args.ico} ({len(committed)} bytes) is not what "
                     f"{Path(__file__).name} draws ({len(data)} bytes, zlib "
                     f"{zlib.ZLIB_RUNTIME_VERSION}); run it without --check and commit the result")
        print(f"make-icon: {args.ico} is up to date ({len(data)} bytes)")
    else:
        args.ico.write_bytes(data)
        print(f"make-icon: wrote {args.ico} ({len(data)} bytes)")
    if args.preview:
        args.preview.write_bytes(preview(images))
        print(f"make-icon: wrote {args.preview}")


if __name__ == "__main__":
    main()
