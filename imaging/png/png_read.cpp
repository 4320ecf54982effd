#include "imaging/png/png_read.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "imaging/byte_reader.h"
#include "imaging/image_error.h"
#include "imaging/png/png_rows.h"
#include "imaging/png/png_signature.h"
#include "imaging/png/png_transparency.h"

namespace mirelay {

namespace {

constexpr std::size_t kPieceBytes = 32768;
constexpr std::size_t kCrcBytes = 4;
constexpr std::size_t kHeaderBytes = 13;
constexpr std::size_t kMaxPaletteEntries = 256;

constexpr std::uint32_t ChunkType(const char (&name)[5]) {
  return std::uint32_t{static_cast<std::uint8_t>(name[0])} << 24 |
         std::uint32_t{static_cast<std::uint8_t>(name[1])} << 16 |
         std::uint32_t{static_cast<std::uint8_t>(name[2])} << 8 |
         std::uint32_t{static_cast<std::uint8_t>(name[3])};
}

constexpr std::uint32_t kIHDR = ChunkType("IHDR");
constexpr std::uint32_t kPLTE = ChunkType("PLTE");
constexpr std::uint32_t kTRNS = ChunkType("tRNS");
constexpr std::uint32_t kIDAT = ChunkType("IDAT");
constexpr std::uint32_t kIEND = ChunkType("IEND");

struct ChunkHead {
  std::uint32_t length;
  std::uint32_t type;
};

// What the chunks before the image data said.
struct PngChunks {
  std::optional<PngHeader> header;
  std::optional<std::vector<PaletteEntry>> palette;
  std::optional<std::vector<std::uint8_t>> transparency;
};

// The chunk loop ends quietly when the file does; nullopt then.
std::optional<ChunkHead> ReadChunkHead(ByteReader& reader) {
  if (reader.Remaining() < 8) return std::nullopt;
  const auto length = reader.U32BE();
  return ChunkHead{length, reader.U32BE()};
}

bool CanSkip(const ByteReader& reader, std::uint64_t count) { return reader.Remaining() >= count; }

PngHeader ParseHeader(std::span<const std::uint8_t> data) {
  if (data.size() < kHeaderBytes) throw ImageError(kPngReadError);
  ByteReader reader(data, kPngReadError);
  const auto width = reader.U32BE();
  const auto height = reader.U32BE();
  const auto bitDepth = reader.U8();
  const auto colorType = static_cast<std::uint8_t>(reader.U8() & 7);
  const auto compression = reader.U8();
  const auto filter = reader.U8();
  const auto interlace = reader.U8();
  if (colorType == 1 || colorType == 5 || colorType == 7) {
    throw ImageError("Read Header(PNG): Error ColorType");
  }
  if (compression >= 2) throw ImageError("Read Header(PNG): not support Compression");
  if (filter >= 2) throw ImageError("Read Header(PNG): not supprt Filter");
  if (interlace >= 2) throw ImageError("Read Header(PNG): not interlace type");
  constexpr auto kLargest = static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max());
  if (width > kLargest || height > kLargest) throw ImageError(FailureKind::kPictureTooLarge);
  return PngHeader{static_cast<std::int32_t>(width), static_cast<std::int32_t>(height), bitDepth,
                   colorType, interlace == 1};
}

std::vector<PaletteEntry> ParsePalette(std::span<const std::uint8_t> data) {
  std::vector<PaletteEntry> palette(std::min(data.size() / 3, kMaxPaletteEntries));
  for (std::size_t i = 0; i < palette.size(); ++i) {
    palette[i] = PaletteEntry{data[3 * i + 2], data[3 * i + 1], data[3 * i], 0};
  }
  return palette;
}

bool HasColour(std::uint8_t colorType) { return (colorType & 2) != 0; }
bool HasAlpha(std::uint8_t colorType) { return (colorType & 4) != 0; }

void ReadTransparency(std::span<const std::uint8_t> data, PngChunks& chunks) {
  const auto colorType = chunks.header->colorType;
  if (colorType == kPngPalette) {
    const std::size_t entries = chunks.palette ? chunks.palette->size() : 0;
    chunks.transparency.emplace(data.begin(), data.begin() + std::min(data.size(), entries));
    return;
  }
  const std::size_t needed = colorType == kPngGrey ? 2 : 6;
  if (colorType == kPngGreyAlpha || colorType == kPngTruecolourAlpha || data.size() < needed) {
    return;
  }
  chunks.transparency.emplace(data.begin(), data.begin() + needed);
}

// An ancillary or critical chunk before the image data; those the picture does not use are
// skipped.
void ReadChunk(const ChunkHead& head, std::span<const std::uint8_t> data, PngChunks& chunks) {
  if (head.type == kIHDR) {
    chunks.header = ParseHeader(data);
    return;
  }
  if (!chunks.header) return;
  if (head.type == kPLTE && !chunks.palette && HasColour(chunks.header->colorType)) {
    chunks.palette = ParsePalette(data);
  }
  if (head.type == kTRNS) ReadTransparency(data, chunks);
}

void CheckBitDepth(const PngHeader& header) {
  const auto depth = header.bitDepth;
  if (!HasColour(header.colorType)) {
    if (depth != 1 && depth != 2 && depth != 4 && depth != 8 && depth != 16) {
      throw ImageError("Read Header(PNG): Error Bitdepth");
    }
    if (HasAlpha(header.colorType) && depth < 8) {
      throw ImageError("Read Header(PNG): not Use AlphaChannel");
    }
    return;
  }
  const bool valid = header.colorType == kPngPalette
                         ? depth == 1 || depth == 2 || depth == 4 || depth == 8
                         : depth == 8 || depth == 16;
  if (!valid) throw ImageError("Read Header(PNG): Error BitDepth");
}

std::vector<PaletteEntry> GreyPalette(std::uint8_t bitDepth) {
  const unsigned entries = bitDepth >= 8 ? 256 : 1u << bitDepth;
  std::vector<PaletteEntry> palette(entries);
  for (unsigned i = 0; i < entries; ++i) {
    const auto grey = static_cast<std::uint8_t>(i * 255 / (entries - 1));
    palette[i] = PaletteEntry{grey, grey, grey, 0};
  }
  return palette;
}

PixelFormat FormatOf(const PngHeader& header) {
  if (HasColour(header.colorType) && header.colorType != kPngPalette) return PixelFormat::kBits24;
  if (header.bitDepth == 1) return PixelFormat::kIndexed1;
  return header.bitDepth <= 4 ? PixelFormat::kIndexed4 : PixelFormat::kIndexed8;
}

void CheckSize(const PngHeader& header) {
  if (header.width > kPngMaxWidth) throw ImageError(FailureKind::kPictureTooLarge);
  CheckPictureSize(FormatOf(header), header.width, header.height);
}

int ChannelsOf(std::uint8_t colorType) {
  switch (colorType) {
    case kPngTruecolour:
      return 3;
    case kPngGreyAlpha:
      return 2;
    case kPngTruecolourAlpha:
      return 4;
  }
  return 1;
}

// Deflate cannot expand one bit of its input beyond one 258-byte match, so image data too
// short to hold the pixels fails here rather than after a picture of that size is allocated.
bool CouldHoldPixels(const PngHeader& header, PngDataPieces pieces) {
  constexpr std::uint64_t kMaxInflateRatio = 258 * 8;
  std::uint64_t compressed = 0;
  for (const auto& piece : pieces) compressed += piece.size();
  const std::uint64_t pixelBits = std::uint64_t(header.width) * std::uint64_t(header.height) *
                                  ChannelsOf(header.colorType) * header.bitDepth;
  return pixelBits / 8 <= compressed * kMaxInflateRatio;
}

// The picture the image data is decoded into: its pixel format, size and palette.
Bitmap NewPicture(const PngHeader& header, const PngChunks& chunks) {
  Bitmap picture(FormatOf(header), header.width, header.height);
  if (!HasColour(header.colorType)) {
    picture.colorTable = GreyPalette(header.bitDepth);
  } else if (chunks.palette) {
    picture.colorTable = *chunks.palette;
  }
  return picture;
}

// The IDAT chunks from the first one on, as libpng may read them.
struct ImageData {
  std::vector<std::span<const std::uint8_t>> pieces;
  // The first chunk after the data, or none when the file ended.
  std::optional<ChunkHead> next;
};

void AddPieces(std::span<const std::uint8_t> data, ImageData& image) {
  for (std::size_t at = 0; at < data.size(); at += kPieceBytes) {
    image.pieces.push_back(data.subspan(at, std::min(kPieceBytes, data.size() - at)));
  }
}

// Consecutive IDAT chunks carry one stream; an empty one after the first ends it. Data is
// fetched in pieces of up to 32768 bytes, and a piece that reaches past the end of the file
// is not read at all.
ImageData CollectImageData(ByteReader& reader, std::uint32_t firstLength) {
  ImageData image;
  std::uint32_t length = firstLength;
  while (true) {
    if (!CanSkip(reader, length)) {
      AddPieces(reader.Bytes(reader.Remaining() / kPieceBytes * kPieceBytes), image);
      return image;
    }
    AddPieces(reader.Bytes(length), image);
    if (!CanSkip(reader, kCrcBytes)) return image;
    reader.Skip(kCrcBytes);
    image.next = ReadChunkHead(reader);
    if (!image.next || image.next->type != kIDAT || image.next->length == 0) return image;
    length = image.next->length;
  }
}

// The chunks after the image data matter only for a second IHDR and for reaching IEND.
bool ReachesEnd(ByteReader& reader, std::optional<ChunkHead> head) {
  for (; head; head = ReadChunkHead(reader)) {
    if (head->type == kIHDR) throw ImageError("Read Header(PNG): appear two IHDR");
    if (!CanSkip(reader, std::uint64_t{head->length} + kCrcBytes)) return false;
    reader.Skip(head->length + kCrcBytes);
    if (head->type == kIEND) return true;
  }
  return false;
}

// The tRNS colour of a grey picture of 8 or 16 bits or of an RGB one, which libpng compares at
// the file's depth; empty for any other.
std::span<const std::uint8_t> ColourTransparency(const PngHeader& header, const PngChunks& chunks) {
  const bool byColour =
      header.colorType == kPngTruecolour || (header.colorType == kPngGrey && header.bitDepth >= 8);
  if (!byColour || !chunks.transparency) return {};
  return *chunks.transparency;
}

// Alpha that belongs to palette indices and to grey samples of fewer than 8 bits, which the
// picture holds as they are: the palette's tRNS table (entries past it opaque), or alpha 0 for
// the one grey sample tRNS names.
void IndexAlpha(const PngHeader& header, const PngChunks& chunks, Bitmap& picture) {
  const bool byIndex =
      header.colorType == kPngPalette || (header.colorType == kPngGrey && header.bitDepth < 8);
  if (!byIndex || !chunks.transparency) return;
  const auto& trns = *chunks.transparency;
  std::array<std::uint8_t, 256> alphaOf;
  alphaOf.fill(255);
  if (header.colorType == kPngPalette) {
    std::copy(trns.begin(), trns.end(), alphaOf.begin());
  } else {
    const unsigned sample = (trns[0] << 8 | trns[1]) & ((1u << header.bitDepth) - 1);
    alphaOf[sample] = 0;
  }
  const int bits = BitsPerPixel(picture.Format());
  const int perByte = 8 / bits;
  const unsigned mask = (1u << bits) - 1;
  const auto width = static_cast<std::size_t>(picture.Width());
  picture.alpha.resize(width * static_cast<std::size_t>(picture.Height()));
  for (std::int32_t row = 0; row < picture.Height(); ++row) {
    const std::uint8_t* in = picture.RowPointer(row);
    std::uint8_t* out = picture.alpha.data() + std::size_t(row) * width;
    for (std::size_t x = 0; x < width; ++x) {
      const int shift = 8 - bits * (static_cast<int>(x % perByte) + 1);
      out[x] = alphaOf[(in[x / perByte] >> shift) & mask];
    }
  }
}

Bitmap DecodeImage(ByteReader& reader, std::uint32_t firstLength, const PngChunks& chunks,
                   const DecodeOptions& options) {
  if (!chunks.header) throw ImageError(kPngReadError);
  const PngHeader& header = *chunks.header;
  CheckBitDepth(header);
  CheckSize(header);
  const ImageData image = CollectImageData(reader, firstLength);
  if (!CouldHoldPixels(header, image.pieces)) throw ImageError(kPngReadError);
  Bitmap picture = NewPicture(header, chunks);
  if (picture.HasPixels()) {
    DecodePngRows(header, image.pieces, picture, options, ColourTransparency(header, chunks));
    if (options.readAlpha) IndexAlpha(header, chunks, picture);
  }
  if (ReachesEnd(reader, image.next) && chunks.transparency && !HasAlpha(header.colorType)) {
    picture.transparency = TransparencyOf(header, *chunks.transparency, picture);
  }
  return picture;
}

}  // namespace

Bitmap DecodePng(std::span<const std::uint8_t> file, const DecodeOptions& options) {
  if (file.size() < kPngSignature.size() ||
      !std::equal(kPngSignature.begin(), kPngSignature.end(), file.begin())) {
    throw ImageError("PNG LoadStream: Not PNG Format");
  }
  ByteReader reader(file.subspan(kPngSignature.size()), kPngReadError);
  PngChunks chunks;
  while (const auto head = ReadChunkHead(reader)) {
    if (head->type == kIHDR && chunks.header) throw ImageError("Read Header(PNG): appear two IHDR");
    if (head->type == kIDAT) return DecodeImage(reader, head->length, chunks, options);
    if (!CanSkip(reader, head->length)) break;
    ReadChunk(*head, reader.Bytes(head->length), chunks);
    if (!CanSkip(reader, kCrcBytes)) break;
    reader.Skip(kCrcBytes);
    if (head->type == kIEND) break;
  }
  // No image data: an empty picture, not an error.
  return Bitmap();
}

}  // namespace mirelay
