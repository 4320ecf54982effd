#!/usr/bin/env python3
"""Writes a seeded mirelay-batch workload: photo-like noisy PNG bases and colour-keyed parts.

usage: batch_workload.py FOLDER [--bases N] [--parts N] [--size WxH] [--part-size WxH] [--seed S]
FOLDER receives base/, part/ and out/. The same arguments always give the same bytes.
"""
import argparse
import math
import os
import random
import struct
import zlib

KEY = (0, 255, 0)


def write_png(path, width, height, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    raw = b"".join(b"\x00" + row for row in rows)
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
                  chunk(b"IDAT", zlib.compress(raw, 1)) + chunk(b"IEND", b""))


def base_rows(width, height, rng):
    # A smooth two-way gradient plus 5 bits of noise per channel, added lane by lane in one big
    # integer per row: gradient bytes stay below 0xE0, so no lane carries into the next.
    tint = [rng.randrange(40, 160) for _ in range(3)]
    across = bytes(min(0xDF, (tint[c] + 60 * x // width) & 0xFF)
                   for x in range(width) for c in range(3))
    across_value = int.from_bytes(across, "big")
    ones = int.from_bytes(b"\x01" * (3 * width), "big")
    noise_mask = ones * 0x1F
    for y in range(height):
        down = min(0xDF - max(across), 40 * y // height)
        noise = int.from_bytes(rng.randbytes(3 * width), "big") & noise_mask
        value = across_value + down * ones + noise
        yield value.to_bytes(3 * width, "big")


def part_rows(width, height, rng):
    shapes = []
    for _ in range(3):
        radius = rng.uniform(0.12, 0.3) * min(width, height)
        centre = (rng.uniform(radius, width - radius), rng.uniform(radius, height - radius))
        colour = tuple(rng.randrange(256) for _ in range(3))
        shapes.append((centre, radius, colour))
    for y in range(height):
        row = bytearray(bytes(KEY) * width)
        for (cx, cy), radius, colour in shapes:
            dy = y + 0.5 - cy
            if abs(dy) > radius + 1:
                continue
            half = math.sqrt(max(0.0, (radius + 1) ** 2 - dy * dy))
            for x in range(max(0, int(cx - half)), min(width, int(cx + half) + 1)):
                # Coverage from the distance to the edge gives the anti-aliased rim.
                coverage = min(1.0, max(0.0, radius - math.hypot(x + 0.5 - cx, dy) + 0.5))
                if coverage <= 0:
                    continue
                for c in range(3):
                    old = row[3 * x + c]
                    row[3 * x + c] = round(old + (colour[c] - old) * coverage)
        yield bytes(row)


def size(text):
    width, height = text.lower().split("x")
    return int(width), int(height)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("folder")
    parser.add_argument("--bases", type=int, default=6)
    parser.add_argument("--parts", type=int, default=4)
    parser.add_argument("--size", type=size, default=(1920, 1080))
    parser.add_argument("--part-size", type=size, default=(640, 480))
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    rng = random.Random(args.seed)
    for sub in ("base", "part", "out"):
        os.makedirs(os.path.join(args.folder, sub), exist_ok=True)
    for i in range(args.bases):
        write_png(os.path.join(args.folder, "base", f"photo{i}.png"), *args.size,
                  base_rows(*args.size, rng))
    for i in range(args.parts):
        write_png(os.path.join(args.folder, "part", f"shape{i}.png"), *args.part_size,
                  part_rows(*args.part_size, rng))


if __name__ == "__main__":
    main()
