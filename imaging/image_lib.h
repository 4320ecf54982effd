#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "files/input_file.h"
#include "files/output_file.h"
#include "imaging/bitmap.h"
#include "imaging/codec_options.h"
#include "imaging/codec_table.h"
#include "imaging/output_format.h"

namespace mirelay {

// The format named by a file's first four bytes; the name and extension play no part.
std::int32_t DetectFormat(Signature signature);

// A file whose first four bytes name a format, open for the rest of its reading.
struct RecognisedFile {
  const Codec* codec;
  InputFile file;
};

// Opens `path` and reads its signature. Nothing for a missing file, one shorter than four
// bytes or one no codec recognises; FileError for a file that is there but cannot be opened.
std::optional<RecognisedFile> RecogniseFile(const std::string& path);

// The whole file, refused before it is read (ImageError of kind kFileTooLarge) when it is larger
// than MaxPixelBytes(): holding it would pass the cap, and no picture the program accepts comes
// from one.
std::vector<std::uint8_t> ReadPictureFile(const InputFile& file);
// The same for the file at `path`, with the errors of InputFile.
std::vector<std::uint8_t> ReadWholeFile(const std::string& path);

// Reads the whole file and decodes it with its codec into a picture known to fit as a 24-bit
// working image. Failures raise their errors (ImageError, FileError, std::bad_alloc).
Bitmap DecodeRecognised(const RecognisedFile& file, const DecodeOptions& options);

// Runs `decode` and gives `format`, or 0 when it fails on bad input, an unreadable file or
// exhausted memory. Programming errors pass through.
std::int32_t UnlessDecodeFails(std::int32_t format, const std::function<void()>& decode);

// Decodes the file into `bitmap`. Every decoding failure gives 0 and leaves `bitmap` as it was;
// only a file that exists but cannot be opened throws FileError.
std::int32_t LoadImageToBitmap(const std::string& path, Bitmap& bitmap,
                               const DecodeOptions& options = {});

// Decodes like LoadImageToBitmap, but a failure raises its error (ImageError, FileError,
// std::bad_alloc) so the caller can tell why; 0 only for a missing, short or unknown file.
std::int32_t DecodeImageFile(const std::string& path, Bitmap& bitmap,
                             const DecodeOptions& options = {});

// Writes `bitmap` into `file` as `output` says (a format it names), leaving the commit to the
// caller. Encoder and file errors propagate; once `stopRequested` asks to stop, the encode ends
// with an ImageError of kind kStopped.
void WriteBitmapAs(OutputFile& file, const Bitmap& bitmap, const OutputFormat& output,
                   const StopRequest& stopRequested = {});

// Writes `bitmap` in the format named by the save `code` (see OutputFormatForCode) and returns
// the code of what was written (0: nothing). File and encoder errors propagate.
std::int32_t SaveBitmapAs(const std::string& path, const Bitmap* bitmap, std::int32_t code);

}  // namespace mirelay
