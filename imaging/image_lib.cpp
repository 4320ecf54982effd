#include "imaging/image_lib.h"

#include <functional>

#include "imaging/bmp/bmp_read.h"
#include "imaging/decode_stop.h"
#include "imaging/file_io.h"
#include "imaging/gif/gif.h"
#include "imaging/image_error.h"
#include "imaging/jpeg/jpeg_read.h"
#include "imaging/png/png_read.h"

namespace mirelay {

namespace {

constexpr std::int32_t kHighestJpegQualityCode = 100;
constexpr std::uint8_t kDefaultJpegQuality = 90;

// 0 when the file is missing or shorter than four bytes; otherwise the signature's format.
std::int32_t RecogniseFile(const std::string& path) {
  if (!FileExists(path)) return kFormatUnknown;
  const auto start = ReadFileStart(path, 4);
  if (start.size() < 4) return kFormatUnknown;
  return DetectFormat(std::span<const std::uint8_t, 4>(start.data(), 4));
}

Bitmap DecodeFile(std::int32_t format, const std::string& path, const DecodeOptions& options) {
  ThrowIfStopRequested(options.stopRequested);
  switch (format) {
    case kFormatBmp:
      return LoadBmpFile(path, options);
    case kFormatGif:
      return LoadGifAsBitmap(path, options);
    case kFormatJpeg:
      return LoadJpegFile(path, options);
    case kFormatPng:
      return LoadPngFile(path, options);
  }
  return {};
}

// Every decoded picture becomes 24-bit next. A picture too large for that must fail here,
// inside the guard, not in the conversion after a load that reported success.
Bitmap DecodeAsBitmap(std::int32_t format, const std::string& path,
                      const DecodeOptions& options = {}) {
  Bitmap picture = DecodeFile(format, path, options);
  CheckPictureSize(PixelFormat::kBits24, picture.Width(), picture.Height());
  return picture;
}

// Runs a decode step; any failure it raises becomes format code 0.
std::int32_t Guarded(std::int32_t format, const std::function<void()>& decode) {
  try {
    decode();
    return format;
  } catch (const std::exception&) {
    return kFormatUnknown;
  }
}

}  // namespace

std::int32_t DetectFormat(std::span<const std::uint8_t, 4> b) {
  if (b[0] == 'B' && b[1] == 'M') return kFormatBmp;
  if (b[0] == 'G' && b[1] == 'I' && b[2] == 'F') return kFormatGif;
  if (b[0] == 0x89 && b[1] == 'P' && b[2] == 'N' && b[3] == 'G') return kFormatPng;
  if (b[0] == 0xFF) return kFormatJpeg;
  return kFormatUnknown;
}

std::int32_t DecodeImageFile(const std::string& path, Bitmap& bitmap,
                             const DecodeOptions& options) {
  const auto format = RecogniseFile(path);
  if (format != kFormatUnknown) TakeOver(bitmap, DecodeAsBitmap(format, path, options));
  return format;
}

std::int32_t LoadImageToBitmap(const std::string& path, Bitmap& bitmap) {
  const auto format = RecogniseFile(path);
  if (format == kFormatUnknown) return kFormatUnknown;
  return Guarded(format, [&] { TakeOver(bitmap, DecodeAsBitmap(format, path)); });
}

std::int32_t LoadImageToView(const std::string& path, ViewTarget& view) {
  const auto format = RecogniseFile(path);
  if (format == kFormatUnknown) return kFormatUnknown;
  if (format == kFormatGif) {
    view.Clear();
    return Guarded(format, [&] { view.ShowGif(LoadGifFile(path)); });
  }
  return Guarded(format, [&] {
    Bitmap picture;
    TakeOver(picture, DecodeAsBitmap(format, path));
    // The image control is not transparent, so a bitmap in it is always drawn opaque.
    picture.transparency.enabled = false;
    view.ShowBitmap(picture);
  });
}

std::int32_t FormatForCode(std::int32_t code) {
  switch (code) {
    case kFormatBmp:
    case kFormatGif:
    case kFormatPng:
      return code;
  }
  return code > kHighestJpegQualityCode ? kFormatUnknown : kFormatJpeg;
}

void WriteBitmapAs(OutputFile& file, const Bitmap& bitmap, std::int32_t code,
                   const std::function<bool()>& stopRequested) {
  switch (FormatForCode(code)) {
    case kFormatBmp:
      return WriteBmpTo(file, bitmap, stopRequested);
    case kFormatGif:
      return WriteGifTo(file, bitmap, stopRequested);
    case kFormatPng:
      return WritePngTo(file, bitmap, stopRequested);
    case kFormatJpeg:
      return WriteJpegTo(
          file, bitmap,
          code == kFormatJpeg ? kDefaultJpegQuality : static_cast<std::uint8_t>(code & 0xFF),
          stopRequested);
  }
}

std::int32_t SaveBitmapAs(const std::string& path, const Bitmap* bitmap, std::int32_t code) {
  const std::int32_t format = FormatForCode(code);
  if (bitmap == nullptr || format == kFormatUnknown) return kFormatUnknown;
  OutputFile file(path);
  WriteBitmapAs(file, *bitmap, code);
  file.Commit();
  return format;
}

}  // namespace mirelay
