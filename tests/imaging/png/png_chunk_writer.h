#pragma once

// Builds PNG files chunk by chunk so that every odd case is spelled out in the test itself.

#include <png.h>
#include <zlib.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace mirelay::testing_support {

using Bytes = std::vector<std::uint8_t>;

inline const Bytes kPngSignature = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

inline void AppendU32(Bytes& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(static_cast<std::uint8_t>(value >> shift));
}

inline std::uint32_t ReadU32(const Bytes& bytes, std::size_t at) {
  return std::uint32_t{bytes[at]} << 24 | std::uint32_t{bytes[at + 1]} << 16 |
         std::uint32_t{bytes[at + 2]} << 8 | bytes[at + 3];
}

inline std::uint32_t ChunkCrc(std::string_view type, const Bytes& data) {
  auto crc = crc32(0, reinterpret_cast<const Bytef*>(type.data()), 4);
  // zlib treats a null buffer as a request for the initial value.
  if (data.empty()) return static_cast<std::uint32_t>(crc);
  return static_cast<std::uint32_t>(crc32(crc, data.data(), static_cast<uInt>(data.size())));
}

inline Bytes Deflate(const Bytes& raw, int level = 6) {
  z_stream stream{};
  deflateInit2(&stream, level, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY);
  Bytes out(deflateBound(&stream, raw.size()));
  stream.next_in = const_cast<Bytef*>(raw.data());
  stream.avail_in = static_cast<uInt>(raw.size());
  stream.next_out = out.data();
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

inline Bytes Inflate(const Bytes& compressed) {
  z_stream stream{};
  inflateInit(&stream);
  Bytes out;
  std::uint8_t buffer[4096];
  stream.next_in = const_cast<Bytef*>(compressed.data());
  stream.avail_in = static_cast<uInt>(compressed.size());
  int result = Z_OK;
  while (result == Z_OK) {
    stream.next_out = buffer;
    stream.avail_out = sizeof buffer;
    result = inflate(&stream, Z_NO_FLUSH);
    out.insert(out.end(), buffer, buffer + (sizeof buffer - stream.avail_out));
  }
  inflateEnd(&stream);
  if (result != Z_STREAM_END) throw std::runtime_error("bad zlib stream");
  return out;
}

class PngChunkWriter {
 public:
  PngChunkWriter() : bytes_(kPngSignature) {}

  PngChunkWriter& Chunk(std::string_view type, const Bytes& data) {
    return ChunkWithCrc(type, data, ChunkCrc(type, data));
  }
  PngChunkWriter& ChunkWithCrc(std::string_view type, const Bytes& data, std::uint32_t crc) {
    return ChunkWithLength(type, static_cast<std::uint32_t>(data.size()), data).Raw(Crc(crc));
  }
  // A declared length that need not match the data that follows; no CRC.
  PngChunkWriter& ChunkWithLength(std::string_view type, std::uint32_t length, const Bytes& data) {
    AppendU32(bytes_, length);
    bytes_.insert(bytes_.end(), type.begin(), type.end());
    return Raw(data);
  }
  PngChunkWriter& Raw(const Bytes& data) {
    bytes_.insert(bytes_.end(), data.begin(), data.end());
    return *this;
  }

  PngChunkWriter& Ihdr(std::uint32_t width, std::uint32_t height, std::uint8_t depth,
                       std::uint8_t colorType, std::uint8_t interlace = 0,
                       std::uint8_t compression = 0, std::uint8_t filter = 0) {
    Bytes data;
    AppendU32(data, width);
    AppendU32(data, height);
    data.insert(data.end(), {depth, colorType, compression, filter, interlace});
    return Chunk("IHDR", data);
  }
  PngChunkWriter& Idat(const Bytes& compressed) { return Chunk("IDAT", compressed); }
  PngChunkWriter& Iend() { return Chunk("IEND", {}); }

  const Bytes& bytes() const { return bytes_; }
  // The file cut after `size` bytes.
  Bytes Cut(std::size_t size) const { return Bytes(bytes_.begin(), bytes_.begin() + size); }

 private:
  static Bytes Crc(std::uint32_t crc) {
    Bytes out;
    AppendU32(out, crc);
    return out;
  }

  Bytes bytes_;
};

// One chunk of a parsed file: type, data and the CRC as stored.
struct ParsedChunk {
  std::string type;
  Bytes data;
  std::uint32_t crc = 0;
};

inline std::vector<ParsedChunk> ParseChunks(const Bytes& file) {
  std::vector<ParsedChunk> chunks;
  for (std::size_t at = kPngSignature.size(); at + 12 <= file.size();) {
    const auto length = ReadU32(file, at);
    ParsedChunk chunk{std::string(file.begin() + at + 4, file.begin() + at + 8),
                      Bytes(file.begin() + at + 8, file.begin() + at + 8 + length),
                      ReadU32(file, at + 8 + length)};
    chunks.push_back(chunk);
    at += 12 + length;
  }
  return chunks;
}

// A file written by libpng's own writer, with every row filter allowed; rows are the raw
// sample bytes of each row as the file format lays them out.
inline Bytes WriteWithLibpng(std::uint32_t width, std::uint32_t height, int depth, int colorType,
                             bool interlaced, const std::vector<Bytes>& rows,
                             const std::vector<png_color>& palette = {}) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(
      png, &out,
      [](png_structp p, png_bytep data, size_t size) {
        auto* target = static_cast<Bytes*>(png_get_io_ptr(p));
        target->insert(target->end(), data, data + size);
      },
      nullptr);
  png_set_IHDR(png, info, width, height, depth, colorType,
               interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE,
               PNG_FILTER_TYPE_BASE);
  if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
  png_set_filter(png, 0, PNG_ALL_FILTERS);
  std::vector<png_bytep> pointers;
  for (const auto& row : rows) pointers.push_back(const_cast<png_bytep>(row.data()));
  png_set_rows(png, info, pointers.data());
  png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

}  // namespace mirelay::testing_support
