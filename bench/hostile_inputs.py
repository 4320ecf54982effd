#!/usr/bin/env python3
"""Writes the known costliest inputs of at most 2 MB (and one sparse giant) into a folder.

Usage: hostile_inputs.py FOLDER

Each file is the worst of its kind found so far for decoding time or memory at the default
picture cap of 1 GiB. The JPEG decoder allows 100 scans and 2^26 block visits over all scans;
the two JPEG files sit just under those limits, their last scans repeating a refinement of
coefficients 1 to 63 over the whole luminance (made by cjpeg, then spliced):
  progressive.jpg  18432 x 18432 colour (1 GiB decoded), 13 scans
  scans.jpg        6400 x 6400 colour, 100 scans
  huge.png         16384 x 21845 RGB, 1 GiB decoded, about 1 MB of deflate
  rle.bmp          66 bytes of RLE8 declaring 16384 x 16384 (1 GiB at 4 bytes a pixel)
  animation.gif    as many 1920 x 1080 frames as fit in 2 MB
  offscreen.gif    a 4 x 9 screen whose one frame of 51400 x 12850 reaches far beyond it
  sparse.png       2.5 GB sparse file that starts with a PNG signature
"""
import argparse
import os
import struct
import subprocess
import sys
import tempfile
import zlib

TWO_MB = 2 * 1000 * 1000


def progressive_jpeg(path, side, scans):
    # Every pass over a component's blocks costs time; the refinement over coefficients 1..63
    # of luminance walks the most blocks and the most coefficients per block.
    script = ("0 1 2: 0 0 0 0;\n0: 1 63 0 1;\n1: 1 63 0 0;\n2: 1 63 0 0;\n0: 1 63 1 0;\n")
    with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False) as handle:
        handle.write(script)
        script_path = handle.name
    try:
        cjpeg = subprocess.Popen(
            ["cjpeg", "-quality", "75", "-scans", script_path, "-outfile", path],
            stdin=subprocess.PIPE)
        cjpeg.stdin.write(b"P6\n%d %d\n255\n" % (side, side))
        row = bytes([120, 130, 140]) * side
        chunk = row * 64
        for _ in range(side // 64):
            cjpeg.stdin.write(chunk)
        cjpeg.stdin.close()
        if cjpeg.wait() != 0:
            sys.exit("cjpeg failed")
    finally:
        os.unlink(script_path)
    with open(path, "rb") as handle:
        data = handle.read()
    # The last scan (from its SOS marker to just before EOI) repeated until there are N scans.
    last = data.rindex(b"\xff\xda")
    scan = data[last:-2]
    data = data[:-2] + scan * (scans - 5) + b"\xff\xd9"
    with open(path, "wb") as handle:
        handle.write(data)


def png_chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


def huge_png(path):
    width, height = 16384, 21845
    compressor = zlib.compressobj(9)
    row = bytes(1 + 3 * width)
    parts = [compressor.compress(row) for _ in range(height)]
    parts.append(compressor.flush())
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    with open(path, "wb") as handle:
        handle.write(b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header))
        handle.write(png_chunk(b"IDAT", b"".join(parts)) + png_chunk(b"IEND", b""))


def rle_bmp(path):
    side = 16384
    pixels = b"\xff\x00" * 2 + b"\x00\x01"  # two runs, then end of bitmap
    palette = b"\x00\x00\xff\x00"
    info = struct.pack("<IiiHHIIiiII", 40, side, side, 1, 8, 1, len(pixels), 0, 0, 1, 0)
    offset = 14 + len(info) + len(palette)
    head = b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset)
    with open(path, "wb") as handle:
        handle.write(head + info + palette + pixels)


def lzw_codes(indices, min_code_size):
    """GIF LZW codes (with their widths) for a sequence of indices, as giflib writes them."""
    clear = 1 << min_code_size
    end = clear + 1
    width = min_code_size + 1
    codes = [(clear, width)]
    table, next_code = {}, end + 1
    current = None
    for index in indices:
        if current is None:
            current = index
            continue
        key = (current, index)
        if key in table:
            current = table[key]
            continue
        codes.append((current, width))
        if next_code >= (1 << width) and width < 12:
            width += 1
        if next_code >= 4095:
            codes.append((clear, width))
            table, next_code, width = {}, end + 1, min_code_size + 1
        else:
            table[key] = next_code
            next_code += 1
        current = index
    codes.append((current, width))
    codes.append((end, width))
    return codes


def pack_sub_blocks(codes):
    bits, count, out = 0, 0, bytearray()
    for code, width in codes:
        bits |= code << count
        count += width
        while count >= 8:
            out.append(bits & 0xFF)
            bits >>= 8
            count -= 8
    if count:
        out.append(bits & 0xFF)
    blocks = bytearray()
    for at in range(0, len(out), 255):
        piece = out[at:at + 255]
        blocks += bytes([len(piece)]) + piece
    return bytes(blocks) + b"\x00"


def long_gif(path):
    width, height = 1920, 1080
    # One colour throughout: LZW strings grow by one pixel per code until the table is full.
    frame_data = bytes([2]) + pack_sub_blocks(lzw_codes(bytes([1]) * (width * height), 2))
    descriptor = b"\x2c" + struct.pack("<HHHHB", 0, 0, width, height, 0)
    frame = descriptor + frame_data
    head = b"GIF89a" + struct.pack("<HHBBB", width, height, 0x81, 0, 0)
    head += b"\x00\x00\x00\xff\xff\xff\xff\x00\x00\x00\x00\xff"
    count = (TWO_MB - len(head) - 1) // len(frame)
    with open(path, "wb") as handle:
        handle.write(head + frame * count + b"\x3b")
    return count


def offscreen_gif(path):
    head = b"GIF89a" + struct.pack("<HHBBB", 4, 9, 0x81, 0, 0)
    head += b"\x00\x00\x00\xff\xff\xff\xff\x00\x00\x00\x00\xff"
    descriptor = b"\x2c" + struct.pack("<HHHHB", 0, 0, 51400, 12850, 0)
    data = bytes([2]) + pack_sub_blocks(lzw_codes(bytes([1]) * 3600, 2))
    with open(path, "wb") as handle:
        handle.write(head + descriptor + data + b"\x3b")


def sparse_png(path):
    with open(path, "wb") as handle:
        handle.write(b"\x89PNG\r\n\x1a\n")
        handle.truncate(2500 * 1000 * 1000)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("folder")
    options = parser.parse_args()
    os.makedirs(options.folder, exist_ok=True)
    at = lambda name: os.path.join(options.folder, name)
    progressive_jpeg(at("progressive.jpg"), 18432, 13)
    progressive_jpeg(at("scans.jpg"), 6400, 100)
    huge_png(at("huge.png"))
    rle_bmp(at("rle.bmp"))
    frames = long_gif(at("animation.gif"))
    offscreen_gif(at("offscreen.gif"))
    sparse_png(at("sparse.png"))
    for name in sorted(os.listdir(options.folder)):
        print(f"{name}: {os.path.getsize(at(name))} bytes")
    print(f"animation.gif: {frames} frames")


if __name__ == "__main__":
    main()
