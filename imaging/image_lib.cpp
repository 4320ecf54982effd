#include "imaging/image_lib.h"

#include <new>
#include <utility>

#include "imaging/image_error.h"
#include "imaging/stop_poll.h"

namespace mirelay {

namespace {

constexpr std::int32_t kHighestJpegQualityCode = 100;
constexpr std::uint8_t kDefaultJpegQuality = 90;

// What a save code asks for: a format (0 for none) and, for JPEG, the quality byte.
struct SaveTarget {
  std::int32_t format = kFormatUnknown;
  std::uint8_t quality = kDefaultJpegQuality;
};

SaveTarget SaveTargetFor(std::int32_t code) {
  switch (code) {
    case kFormatBmp:
    case kFormatGif:
    case kFormatPng:
    case kFormatJpeg:
      return {code};
  }
  if (code > kHighestJpegQualityCode) return {};
  // Negative codes keep their low byte: -1 asks for quality 255.
  return {kFormatJpeg, static_cast<std::uint8_t>(code & 0xFF)};
}

}  // namespace

std::int32_t DetectFormat(Signature signature) {
  const Codec* codec = CodecForSignature(signature);
  return codec == nullptr ? kFormatUnknown : codec->format;
}

std::optional<RecognisedFile> RecogniseFile(const std::string& path) {
  auto file = InputFile::OpenIfPresent(path);
  if (!file) return std::nullopt;
  const auto start = file->ReadStart(kSignatureBytes);
  if (start.size() < kSignatureBytes) return std::nullopt;
  const Codec* codec = CodecForSignature(Signature(start.data(), kSignatureBytes));
  if (codec == nullptr) return std::nullopt;
  return RecognisedFile{codec, std::move(*file)};
}

// Every decoded picture becomes 24-bit next. A picture too large for that must fail here,
// inside the caller's guard, not in the conversion after a load that reported success.
Bitmap DecodeRecognised(const RecognisedFile& file, const DecodeOptions& options) {
  ThrowIfStopRequested(options.stopRequested);
  Bitmap picture = file.codec->decode(file.file.ReadAll(), options);
  CheckPictureSize(PixelFormat::kBits24, picture.Width(), picture.Height());
  return picture;
}

std::int32_t UnlessDecodeFails(std::int32_t format, const std::function<void()>& decode) {
  try {
    decode();
    return format;
  } catch (const ImageError&) {
  } catch (const FileError&) {
  } catch (const std::bad_alloc&) {
  }
  return kFormatUnknown;
}

std::int32_t DecodeImageFile(const std::string& path, Bitmap& bitmap,
                             const DecodeOptions& options) {
  const auto file = RecogniseFile(path);
  if (!file) return kFormatUnknown;
  TakeOver(bitmap, DecodeRecognised(*file, options));
  return file->codec->format;
}

std::int32_t LoadImageToBitmap(const std::string& path, Bitmap& bitmap,
                               const DecodeOptions& options) {
  const auto file = RecogniseFile(path);
  if (!file) return kFormatUnknown;
  return UnlessDecodeFails(file->codec->format,
                           [&] { TakeOver(bitmap, DecodeRecognised(*file, options)); });
}

std::int32_t FormatForCode(std::int32_t code) { return SaveTargetFor(code).format; }

void WriteBitmapAs(OutputFile& file, const Bitmap& bitmap, std::int32_t code,
                   const StopRequest& stopRequested) {
  const SaveTarget target = SaveTargetFor(code);
  const Codec* codec = CodecForFormat(target.format);
  if (codec != nullptr) codec->encode(file, bitmap, {target.quality, stopRequested});
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
