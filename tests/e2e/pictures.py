"""Pictures for the end-to-end tests: RGB images, BMP and PNG writers, a PNG and an XWD reader,
and the colour-key composite computed independently of the program."""

import struct
import zlib

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


class Image:
    """Top row first, each row a bytearray of red, green, blue bytes."""

    def __init__(self, width, height, rows):
        self.width = width
        self.height = height
        self.rows = rows

    @classmethod
    def filled(cls, width, height, colour):
        row = bytes(colour) * width
        return cls(width, height, [bytearray(row) for _ in range(height)])

    def fill(self, left, top, right, bottom, colour):
        """Paints the rectangle left <= x < right, top <= y < bottom."""
        span = bytes(colour) * (right - left)
        for y in range(top, bottom):
            self.rows[y][3 * left : 3 * right] = span
        return self

    def pixel(self, x, y):
        return tuple(self.rows[y][3 * x : 3 * x + 3])

    def copy(self):
        return Image(self.width, self.height, [bytearray(row) for row in self.rows])


def composite(base, part, threshold):
    """The program's overlay, written out pixel by pixel: the part's top-left pixel is the key."""
    result = base.copy()
    key = part.pixel(0, 0)
    for y in range(min(base.height, part.height)):
        for x in range(min(base.width, part.width)):
            colour = part.pixel(x, y)
            if any(abs(c - k) > threshold for c, k in zip(colour, key)):
                result.rows[y][3 * x : 3 * x + 3] = bytes(colour)
    return result


def composite_pixel(base, part, threshold, x, y):
    """One pixel of the composite, for pictures too big to composite in Python."""
    if x < part.width and y < part.height:
        colour, key = part.pixel(x, y), part.pixel(0, 0)
        if any(abs(c - k) > threshold for c, k in zip(colour, key)):
            return colour
    return base.pixel(x, y)


def _bgr(row):
    swapped = bytearray(len(row))
    swapped[0::3], swapped[1::3], swapped[2::3] = row[2::3], row[1::3], row[0::3]
    return swapped


def write_bmp(path, image):
    """24-bit uncompressed BMP, bottom row first, rows padded to 4 bytes."""
    stride = (3 * image.width + 3) & ~3
    padding = bytes(stride - 3 * image.width)
    size = 54 + stride * image.height
    header = b"BM" + struct.pack("<IHHI", size, 0, 0, 54)
    info = struct.pack(
        "<IiiHHIIiiII", 40, image.width, image.height, 1, 24, 0, stride * image.height,
        2835, 2835, 0, 0)
    with open(path, "wb") as out:
        out.write(header + info)
        for row in reversed(image.rows):
            out.write(_bgr(row) + padding)


def _chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(
        ">I", zlib.crc32(kind + data))


def png_bytes(image):
    """8-bit RGB, not interlaced, filter None on every row."""
    header = struct.pack(">IIBBBBB", image.width, image.height, 8, 2, 0, 0, 0)
    raw = b"".join(b"\x00" + bytes(row) for row in image.rows)
    return (PNG_SIGNATURE + _chunk(b"IHDR", header) + _chunk(b"IDAT", zlib.compress(raw, 6))
            + _chunk(b"IEND", b""))


def write_png(path, image):
    with open(path, "wb") as out:
        out.write(png_bytes(image))


class PictureError(Exception):
    pass


def _paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def _unfilter(kind, line, previous):
    """Undoes one row's filter; bytes per pixel is 3 for 8-bit RGB."""
    if kind == 0:
        return line
    out = bytearray(line)
    for i in range(len(out)):
        left = out[i - 3] if i >= 3 else 0
        up = previous[i]
        upper_left = previous[i - 3] if i >= 3 else 0
        if kind == 1:
            out[i] = (out[i] + left) & 0xFF
        elif kind == 2:
            out[i] = (out[i] + up) & 0xFF
        elif kind == 3:
            out[i] = (out[i] + (left + up) // 2) & 0xFF
        elif kind == 4:
            out[i] = (out[i] + _paeth(left, up, upper_left)) & 0xFF
        else:
            raise PictureError(f"unknown filter type {kind}")
    return out


def read_png(path):
    """Reads an 8-bit RGB non-interlaced PNG, checking every chunk's CRC and the data's length."""
    with open(path, "rb") as source:
        data = source.read()
    if not data.startswith(PNG_SIGNATURE):
        raise PictureError(f"{path}: no PNG signature")
    position, header, compressed, ended = len(PNG_SIGNATURE), None, bytearray(), False
    while position < len(data) and not ended:
        if position + 12 > len(data):
            raise PictureError(f"{path}: chunk cut short at {position}")
        (length,) = struct.unpack_from(">I", data, position)
        kind = data[position + 4 : position + 8]
        body = data[position + 8 : position + 8 + length]
        (crc,) = struct.unpack_from(">I", data, position + 8 + length)
        if len(body) != length or zlib.crc32(kind + body) != crc:
            raise PictureError(f"{path}: chunk {kind!r} damaged")
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            compressed += body
        ended = kind == b"IEND"
        position += 12 + length
    if header is None or not ended:
        raise PictureError(f"{path}: IHDR or IEND missing")
    width, height, depth, colour_type, _, _, interlace = header
    if (depth, colour_type, interlace) != (8, 2, 0):
        raise PictureError(f"{path}: not 8-bit RGB without interlace: {header}")
    raw = zlib.decompress(bytes(compressed))
    stride = 3 * width
    if len(raw) != height * (stride + 1):
        raise PictureError(f"{path}: {len(raw)} bytes of pixel data for {width}x{height}")
    rows, previous = [], bytearray(stride)
    for y in range(height):
        start = y * (stride + 1)
        previous = _unfilter(raw[start], bytearray(raw[start + 1 : start + 1 + stride]), previous)
        rows.append(previous)
    return Image(width, height, rows)


class Screen:
    """An xwd dump of a 24-bit TrueColor screen, in 3- or 4-byte pixels.

    Xvfb's dump starts with 4-byte pixels but switches to packed 3-byte pixels once a Qt
    program has created its colormap; the header tells which."""

    def __init__(self, data):
        fields = struct.unpack_from(">25I", data, 0)
        header_size, version = fields[0], fields[1]
        self.width, self.height = fields[4], fields[5]
        byte_order, bits_per_pixel, self.stride = fields[7], fields[11], fields[12]
        masks = fields[14:17]
        colours = fields[19]
        self.pixel_bytes = bits_per_pixel // 8
        if (version != 7 or bits_per_pixel not in (24, 32) or masks != (0xFF0000, 0xFF00, 0xFF)
                or self.stride < self.pixel_bytes * self.width):
            raise PictureError(f"unexpected xwd layout: {fields}")
        self.byte_order = "little" if byte_order == 0 else "big"
        self.pixels = memoryview(data)[header_size + 12 * colours :]
        if len(self.pixels) < self.stride * self.height:
            raise PictureError("xwd dump cut short")

    def pixel(self, x, y):
        start = y * self.stride + self.pixel_bytes * x
        value = int.from_bytes(self.pixels[start : start + self.pixel_bytes], self.byte_order)
        return (value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF

    def crop(self, left, top, width, height):
        rows = [bytearray(b"".join(bytes(self.pixel(x, y)) for x in range(left, left + width)))
                for y in range(top, top + height)]
        return Image(width, height, rows)
