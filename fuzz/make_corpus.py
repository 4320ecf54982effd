#!/usr/bin/env python3
"""Writes the fuzzers' seed corpora: small valid files of every format, built here from scratch.

JPEG seeds come from cjpeg (libjpeg-turbo-progs) fed with generated PPM pictures.
Usage: make_corpus.py OUTPUT_FOLDER
"""
import os
import struct
import subprocess
import sys
import tempfile
import zlib


def pixels(width, height):
    return [[((x * 40) & 255, (y * 60) & 255, ((x + y) * 25) & 255) for x in range(width)]
            for y in range(height)]


def bmp(width, height, bits=24, top_down=False, palette=None, rle=None):
    rows = []
    for y, line in enumerate(pixels(width, height)):
        if bits == 24:
            row = b"".join(bytes((b, g, r)) for r, g, b in line)
        elif bits == 32:
            row = b"".join(bytes((b, g, r, 0)) for r, g, b in line)
        elif bits == 16:
            row = b"".join(struct.pack("<H", (r >> 3) << 10 | (g >> 3) << 5 | b >> 3)
                           for r, g, b in line)
        elif bits == 8:
            row = bytes((x + y) % len(palette) for x in range(width))
        elif bits == 4:
            nibbles = [(x + y) % len(palette) for x in range(width)] + [0]
            row = bytes(nibbles[i] << 4 | nibbles[i + 1] for i in range(0, width, 2))
        else:
            bits_row = [(x + y) & 1 for x in range(width)] + [0] * 7
            row = bytes(sum(bits_row[i + k] << (7 - k) for k in range(8))
                        for i in range(0, width, 8))
        rows.append(row + b"\0" * (-len(row) % 4))
    if not top_down:
        rows.reverse()
    data = b"".join(rows)
    compression = 0
    if rle is not None:
        data, compression = rle, (1 if bits == 8 else 2)
    table = b"".join(bytes((b, g, r, 0)) for r, g, b in palette or [])
    offset = 14 + 40 + len(table)
    info = struct.pack("<IiiHHIIiiII", 40, width, -height if top_down else height, 1, bits,
                       compression, len(data), 2835, 2835, len(palette or []), 0)
    return b"BM" + struct.pack("<IHHI", offset + len(data), 0, 0, offset) + info + table + data


def png_chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


def png(width, height, colour_type=2, depth=8, interlace=0, extra=b""):
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[colour_type]
    raw = b""
    for y, line in enumerate(pixels(width, height)):
        if colour_type == 3:
            row = bytes((x + y) % 4 for x in range(width))
        else:
            row = b"".join(bytes((r, g, b, 255)[:channels] if channels >= 3 else (r, 200)[:channels])
                           for r, g, b in line)
        raw += bytes((y % 5,)) + row if depth == 8 else b"\0" + row
    header = struct.pack(">IIBBBBB", width, height, depth, colour_type, 0, 0, interlace)
    body = png_chunk(b"IHDR", header)
    if colour_type == 3:
        body += png_chunk(b"PLTE", bytes((0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255)))
    body += extra + png_chunk(b"IDAT", zlib.compress(raw)) + png_chunk(b"IEND", b"")
    return b"\x89PNG\r\n\x1a\n" + body


def lzw_literal(indices, min_code_size):
    """LZW data that sends every index as a literal, with a clear code before the table grows."""
    clear, end = 1 << min_code_size, (1 << min_code_size) + 1
    size = min_code_size + 1
    codes = []
    room = (1 << size) - end - 2
    for i, index in enumerate(indices):
        if i % max(room, 1) == 0:
            codes.append(clear)
        codes.append(index)
    codes.append(end)
    bits, count, out = 0, 0, bytearray()
    for code in codes:
        bits |= code << count
        count += size
        while count >= 8:
            out.append(bits & 255)
            bits >>= 8
            count -= 8
    if count:
        out.append(bits & 255)
    blocks = b"".join(bytes((len(out[i:i + 255]),)) + out[i:i + 255] for i in range(0, len(out), 255))
    return bytes((min_code_size,)) + blocks + b"\0"


def gif(width, height, frames=1, transparent=None, interlace=False, local=False):
    colours = bytes((0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255))
    out = b"GIF89a" + struct.pack("<HHBBB", width, height, 0xF1, 0, 0) + colours
    for frame in range(frames):
        if transparent is not None or frames > 1:
            flags = 1 if transparent is not None else 0
            out += b"\x21\xF9\x04" + bytes((flags | 4,)) + struct.pack("<H", 10)
            out += bytes((transparent or 0, 0))
        flags = (0x40 if interlace else 0) | (0x81 if local else 0)
        out += b"\x2C" + struct.pack("<HHHHB", 0, 0, width, height, flags)
        if local:
            out += bytes((9, 9, 9, 200, 200, 200, 50, 50, 50, 1, 2, 3))
        out += lzw_literal([(x + y + frame) % 4 for y in range(height) for x in range(width)], 2)
    return out + b"\x3B"


def jpeg(width, height, options, grey=False):
    lines = pixels(width, height)
    if grey:
        body = bytes(r for line in lines for r, _, _ in line)
        ppm = b"P5 %d %d 255\n" % (width, height) + body
    else:
        body = b"".join(bytes(p) for line in lines for p in line)
        ppm = b"P6 %d %d 255\n" % (width, height) + body
    with tempfile.NamedTemporaryFile(suffix=".ppm") as source:
        source.write(ppm)
        source.flush()
        return subprocess.run(["cjpeg", *options, source.name], check=True,
                              capture_output=True).stdout


INI = {
    "plain": b"[Main]\nJPEGQuality=85\nThreshold=12\nSeperator=_\nNameOrder=0\n"
             b"Extensions=.png .jpg\nTop=10\nLeft=20\nWidth=640\nHeight=$1E0\n",
    "crlf_hex": b"[main]\r\nJPEGQuality=0x5A\r\nthreshold = -3\r\n; note\r\nTop=X7FFFFFFF\r\n",
    "sections": b"[Other]\nTop=1\n[Main]\nWidth=  -2147483648\n[Main]\nWidth=2\nExtensions=\n",
    "broken": b"[Main\nJPEGQuality\n=5\nHeight=12abc\n[]\nLeft=$\n",
}


def main():
    root = sys.argv[1]
    palette = [(0, 0, 0), (255, 0, 0), (0, 255, 0), (0, 0, 255)]
    rle8 = bytes((3, 1, 0, 3, 2, 3, 0, 0, 0, 2, 1, 0, 0, 3, 1, 2, 3, 0, 0, 0, 1))
    files = {
        "bmp": {
            "rgb24": bmp(5, 3), "rgb32_topdown": bmp(4, 2, 32, top_down=True), "rgb16": bmp(3, 3, 16),
            "pal8": bmp(6, 2, 8, palette=palette), "pal4": bmp(5, 3, 4, palette=palette),
            "mono": bmp(9, 2, 1, palette=palette[:2]), "rle8": bmp(4, 3, 8, palette=palette, rle=rle8),
        },
        "png": {
            "rgb": png(5, 3), "rgba": png(4, 4, 6), "grey": png(3, 2, 0), "grey_alpha": png(3, 3, 4),
            "palette_trns": png(4, 2, 3, extra=png_chunk(b"tRNS", b"\x00\x80")),
            "interlaced": png(9, 9, 2, interlace=1),
        },
        "gif": {
            "one": gif(4, 3), "transparent": gif(5, 2, transparent=2),
            "animated": gif(3, 3, frames=3), "interlaced_local": gif(4, 9, interlace=True, local=True),
        },
        "jpeg": {
            "baseline": jpeg(16, 8, []), "progressive": jpeg(9, 7, ["-progressive"]),
            "grey": jpeg(8, 8, ["-grayscale"], grey=True), "restart": jpeg(24, 16, ["-restart", "1"]),
            "s444_optimized": jpeg(5, 5, ["-sample", "1x1", "-optimize"]),
        },
        "ini": {name: text for name, text in INI.items()},
    }
    files["load"] = {f"{fmt}_{name}": body for fmt in ("bmp", "png", "gif", "jpeg")
                     for name, body in files[fmt].items()}
    for target, seeds in files.items():
        folder = os.path.join(root, target)
        os.makedirs(folder, exist_ok=True)
        for name, body in seeds.items():
            with open(os.path.join(folder, name), "wb") as out:
                out.write(body)


if __name__ == "__main__":
    main()
