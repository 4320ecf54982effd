#include "imaging/png/png_rows.h"

#include <png.h>

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstddef>
#include <cstring>
#include <vector>

#include "imaging/image_error.h"
#include "imaging/png/png_signature.h"
#include "imaging/stop_poll.h"

namespace mirelay {

namespace {

constexpr std::array<std::uint8_t, 4> kDummyCrc = {0, 0, 0, 0};
// libpng only ever sees IHDR and IDAT chunks of at most 32768 bytes.
constexpr png_alloc_size_t kChunkMallocLimit = 1 << 16;
constexpr int kAdam7Passes = 7;

void PutU32(std::uint8_t* out, std::uint32_t value) {
  out[0] = static_cast<std::uint8_t>(value >> 24);
  out[1] = static_cast<std::uint8_t>(value >> 16);
  out[2] = static_cast<std::uint8_t>(value >> 8);
  out[3] = static_cast<std::uint8_t>(value);
}

// What libpng reads: a signature, an IHDR that already obeys every header rule, then the
// image data as IDAT chunks. Everything else in the file is decided before libpng runs, so
// libpng never sees a chunk it could judge differently. CRCs are zero and not checked.
class LibpngInput {
 public:
  LibpngInput(const PngHeader& header, PngDataPieces pieces, std::span<const std::uint8_t> trns)
      : trns_(trns), chunkHeads_(pieces.size()) {
    std::copy(kPngSignature.begin(), kPngSignature.end(), start_.begin());
    std::uint8_t* ihdr = start_.data() + kPngSignature.size();
    PutU32(ihdr, 13);
    std::memcpy(ihdr + 4, "IHDR", 4);
    PutU32(ihdr + 8, static_cast<std::uint32_t>(header.width));
    PutU32(ihdr + 12, static_cast<std::uint32_t>(header.height));
    ihdr[16] = header.bitDepth;
    // Palette indices have the layout of grey samples; the palette itself never reaches libpng.
    ihdr[17] = header.colorType == kPngPalette ? kPngGrey : header.colorType;
    ihdr[18] = 0;
    ihdr[19] = 0;
    ihdr[20] = header.interlaced ? 1 : 0;
    segments_.push_back(start_);
    if (!trns_.empty()) {
      PutU32(trnsHead_.data(), static_cast<std::uint32_t>(trns_.size()));
      std::memcpy(trnsHead_.data() + 4, "tRNS", 4);
      segments_.insert(segments_.end(), {trnsHead_, trns_, kDummyCrc});
    }
    for (std::size_t i = 0; i < pieces.size(); ++i) {
      PutU32(chunkHeads_[i].data(), static_cast<std::uint32_t>(pieces[i].size()));
      std::memcpy(chunkHeads_[i].data() + 4, "IDAT", 4);
      segments_.push_back(chunkHeads_[i]);
      segments_.push_back(pieces[i]);
      segments_.push_back(kDummyCrc);
    }
  }

  // Copies up to `count` bytes and returns how many there were.
  std::size_t Read(std::uint8_t* out, std::size_t count) noexcept {
    std::size_t copied = 0;
    while (copied < count && segment_ < segments_.size()) {
      const auto& segment = segments_[segment_];
      const std::size_t take = std::min(count - copied, segment.size() - offset_);
      std::memcpy(out + copied, segment.data() + offset_, take);
      copied += take;
      offset_ += take;
      if (offset_ == segment.size()) {
        ++segment_;
        offset_ = 0;
      }
    }
    return copied;
  }

 private:
  std::array<std::uint8_t, 33> start_{};
  std::array<std::uint8_t, 8> trnsHead_{};
  std::span<const std::uint8_t> trns_;
  std::vector<std::array<std::uint8_t, 8>> chunkHeads_;
  std::vector<std::span<const std::uint8_t>> segments_;
  std::size_t segment_ = 0;
  std::size_t offset_ = 0;
};

void ReadInput(png_structp png, png_bytep out, size_t count) {
  auto* input = static_cast<LibpngInput*>(png_get_io_ptr(png));
  if (input->Read(out, count) < count) png_error(png, "image data ends");
}

[[noreturn]] void OnLibpngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void OnLibpngWarning(png_structp, png_const_charp) {}

class LibpngReader {
 public:
  LibpngReader() {
    png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnLibpngError, OnLibpngWarning);
    if (png_ != nullptr) info_ = png_create_info_struct(png_);
    if (info_ == nullptr) {
      png_destroy_read_struct(&png_, nullptr, nullptr);
      throw ImageError(kPngZlibError);
    }
  }
  ~LibpngReader() { png_destroy_read_struct(&png_, &info_, nullptr); }
  LibpngReader(const LibpngReader&) = delete;
  LibpngReader& operator=(const LibpngReader&) = delete;
  LibpngReader(LibpngReader&&) = delete;
  LibpngReader& operator=(LibpngReader&&) = delete;

  png_structp png() const { return png_; }
  png_infop info() const { return info_; }

 private:
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
};

// The settings that make libpng decode by this profile rather than by its own defaults.
void ConfigureReader(png_structp png, LibpngInput& input) {
  png_set_read_fn(png, &input, ReadInput);
  png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
  png_set_option(png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
  png_set_option(png, PNG_MAXIMUM_INFLATE_WINDOW, PNG_OPTION_ON);
  // Damage after the last row is no error; whatever libpng calls benign is of that kind.
  png_set_benign_errors(png, 1);
  png_set_user_limits(png, kPngMaxWidth, PNG_UINT_31_MAX);
  png_set_chunk_malloc_max(png, kChunkMallocLimit);
}

// 16-bit samples keep their high byte without rounding, alpha too. Alpha is dropped unless it
// was asked for; a tRNS colour then becomes alpha, compared at the file's full depth.
void ChooseTransforms(png_structp png, const PngHeader& header, bool withAlpha, bool trns) {
  if (header.bitDepth == 16) png_set_strip_16(png);
  if (withAlpha && trns) png_set_tRNS_to_alpha(png);
  if (!withAlpha &&
      (header.colorType == kPngGreyAlpha || header.colorType == kPngTruecolourAlpha)) {
    png_set_strip_alpha(png);
  }
  if (header.colorType == kPngTruecolour || header.colorType == kPngTruecolourAlpha) {
    png_set_bgr(png);
  }
}

enum class Stage { kHeader, kStart, kRows };

// Row 0 of the picture and the distance from one row to the next below it.
struct RowTarget {
  std::uint8_t* top;
  std::ptrdiff_t step;
  std::int32_t height;
};

// A stop leaves by exception between two rows, where no libpng frame is on the stack.
void ReadAllRows(png_structp png, int passes, RowTarget target, StopPoll& poll) {
  const auto rowBytes = static_cast<std::size_t>(target.step < 0 ? -target.step : target.step);
  for (int pass = 0; pass < passes; ++pass) {
    for (std::int32_t row = 0; row < target.height; ++row) {
      png_read_row(png, target.top + row * target.step, nullptr);
      poll.Advance(rowBytes);
    }
  }
}

// libpng reports errors by longjmp into this frame, which therefore holds nothing that needs
// destroying; false means libpng failed in `stage`.
bool RunLibpng(const LibpngReader& reader, const PngHeader& header, RowTarget target,
               bool withAlpha, bool trns, StopPoll& poll, volatile Stage& stage) {
  if (setjmp(png_jmpbuf(reader.png()))) return false;
  stage = Stage::kHeader;
  png_read_info(reader.png(), reader.info());
  stage = Stage::kStart;
  ChooseTransforms(reader.png(), header, withAlpha, trns);
  const int passes = png_set_interlace_handling(reader.png());
  png_read_update_info(reader.png(), reader.info());
  stage = Stage::kRows;
  ReadAllRows(reader.png(), passes, target, poll);
  return true;
}

// libpng reads on after the last row to find the end of the compressed stream; a failure
// there (data cut off, damaged checksum) comes after every pixel is in place.
bool AllRowsRead(png_structp png, const PngHeader& header) {
  if (header.interlaced) return png_get_current_pass_number(png) >= kAdam7Passes;
  return png_get_current_row_number(png) >= static_cast<png_uint_32>(header.height);
}

// 2-bit samples arrive packed four to a byte; the picture holds them as 4-bit indices. Each
// row is widened in place from its end, which never overwrites a byte still to be read.
void WidenTwoBitRows(Bitmap& picture) {
  for (std::int32_t row = 0; row < picture.Height(); ++row) {
    std::uint8_t* bytes = picture.RowPointer(row);
    for (std::int32_t out = (picture.Width() + 1) / 2 - 1; out >= 0; --out) {
      const std::uint8_t packed = bytes[out / 2];
      const int shift = (out % 2) * 4;
      const unsigned left = (packed >> (6 - shift)) & 3;
      const unsigned right = (packed >> (4 - shift)) & 3;
      bytes[out] = static_cast<std::uint8_t>(left << 4 | right);
    }
  }
}

// Rows with alpha samples (grey and alpha, or blue, green, red and alpha) go through a buffer
// of their own and are then parted into the picture and its alpha plane.
void SplitAlphaRows(const std::vector<std::uint8_t>& rows, int channels, Bitmap& picture) {
  const auto width = static_cast<std::size_t>(picture.Width());
  picture.alpha.resize(width * static_cast<std::size_t>(picture.Height()));
  const int colours = channels - 1;
  for (std::int32_t row = 0; row < picture.Height(); ++row) {
    const std::uint8_t* in = rows.data() + std::size_t(row) * width * channels;
    std::uint8_t* out = picture.RowPointer(row);
    std::uint8_t* alpha = picture.alpha.data() + std::size_t(row) * width;
    for (std::size_t x = 0; x < width; ++x, in += channels, out += colours) {
      std::memcpy(out, in, colours);
      alpha[x] = in[colours];
    }
  }
}

}  // namespace

void DecodePngRows(const PngHeader& header, PngDataPieces pieces, Bitmap& picture,
                   const DecodeOptions& options, std::span<const std::uint8_t> trns) {
  const bool withAlpha =
      options.readAlpha && (header.colorType == kPngGreyAlpha ||
                            header.colorType == kPngTruecolourAlpha || !trns.empty());
  LibpngInput input(header, pieces, withAlpha ? trns : std::span<const std::uint8_t>());
  LibpngReader reader;
  ConfigureReader(reader.png(), input);
  const int channels = (header.colorType & 2) != 0 ? 4 : 2;
  std::vector<std::uint8_t> alphaRows;
  RowTarget target{};
  if (withAlpha) {
    CheckPictureSize(channels == 4 ? PixelFormat::kBits32 : PixelFormat::kBits16, header.width,
                     header.height);
    alphaRows.resize(std::size_t(header.width) * std::size_t(header.height) * channels);
    target = {alphaRows.data(), static_cast<std::ptrdiff_t>(header.width) * channels,
              header.height};
  } else {
    const auto stride = static_cast<std::ptrdiff_t>(picture.Stride());
    const bool bottomUp = picture.Order() == StorageOrder::kBottomUp;
    target = {picture.RowPointer(0), bottomUp ? -stride : stride, picture.Height()};
  }
  StopPoll poll(options.stopRequested, kBytesBetweenStopPolls);
  volatile Stage stage = Stage::kHeader;
  if (!RunLibpng(reader, header, target, withAlpha, !trns.empty(), poll, stage) &&
      !AllRowsRead(reader.png(), header)) {
    throw ImageError(stage == Stage::kStart ? kPngZlibError : kPngReadError);
  }
  if (withAlpha) SplitAlphaRows(alphaRows, channels, picture);
  if (header.bitDepth == 2) WidenTwoBitRows(picture);
}

}  // namespace mirelay
