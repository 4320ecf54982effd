#include "imaging/image_lib.h"

#include <new>
#include <utility>

#include "files/file_error.h"
#include "imaging/image_error.h"
#include "imaging/stop_poll.h"

namespace mirelay {

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

std::vector<std::uint8_t> ReadPictureFile(const InputFile& file) {
  auto bytes = file.ReadAll(MaxPixelBytes());
  if (!bytes) throw ImageError(FailureKind::kFileTooLarge);
  return std::move(*bytes);
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& path) {
  return ReadPictureFile(InputFile(path));
}

// Every decoded picture becomes 24-bit next. A picture too large for that must fail here,
// inside the caller's guard, not in the conversion after a load that reported success.
Bitmap DecodeRecognised(const RecognisedFile& file, const DecodeOptions& options) {
  ThrowIfStopRequested(options.stopRequested);
  Bitmap picture = file.codec->decode(ReadPictureFile(file.file), options);
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

void WriteBitmapAs(OutputFile& file, const Bitmap& bitmap, const OutputFormat& output,
                   const StopRequest& stopRequested) {
  const Codec* codec = CodecForFormat(output.format);
  if (codec != nullptr) codec->encode(file, bitmap, {output.quality, stopRequested});
}

std::int32_t SaveBitmapAs(const std::string& path, const Bitmap* bitmap, std::int32_t code) {
  const OutputFormat output = OutputFormatForCode(code);
  if (bitmap == nullptr || output.format == kFormatUnknown) return kFormatUnknown;
  OutputFile file(path);
  WriteBitmapAs(file, *bitmap, output);
  file.Commit();
  return output.format;
}

}  // namespace mirelay
