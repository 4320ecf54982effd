#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "imaging/bitmap.h"
#include "imaging/decode_options.h"
#include "imaging/file_io.h"
#include "imaging/view_target.h"

namespace mirelay {

// Format codes: on loading, what a file was recognised as (0 for every failure);
// on saving, the format to write, or a JPEG quality.
inline constexpr std::int32_t kFormatUnknown = 0;
inline constexpr std::int32_t kFormatBmp = 1;
inline constexpr std::int32_t kFormatGif = 2;
inline constexpr std::int32_t kFormatJpeg = 3;
inline constexpr std::int32_t kFormatPng = 4;

// The format named by a file's first four bytes; the name and extension play no part.
std::int32_t DetectFormat(std::span<const std::uint8_t, 4> signature);

// Decodes the file into `bitmap`. Every decoding failure gives 0 and leaves `bitmap` as it was;
// only a file that exists but cannot be opened throws FileError.
std::int32_t LoadImageToBitmap(const std::string& path, Bitmap& bitmap);

// Decodes like LoadImageToBitmap, but a failure raises its error (ImageError, FileError,
// std::bad_alloc) so the caller can tell why; 0 only for a missing, short or unknown file.
std::int32_t DecodeImageFile(const std::string& path, Bitmap& bitmap,
                             const DecodeOptions& options = {});

// The same for the preview. A GIF clears the view before decoding and stays cleared on failure.
std::int32_t LoadImageToView(const std::string& path, ViewTarget& view);

// The format that saving with `code` writes, or 0 for a code that writes nothing.
std::int32_t FormatForCode(std::int32_t code);

// Writes `bitmap` into `file` in the format `code` names (a code FormatForCode gives a format
// for), leaving the commit to the caller. Encoder and file errors propagate; once
// `stopRequested` asks to stop, the encode ends with ImageError(kStopped).
void WriteBitmapAs(OutputFile& file, const Bitmap& bitmap, std::int32_t code,
                   const std::function<bool()>& stopRequested = {});

// Writes `bitmap` in the format named by `code` and returns the code of what was written
// (0: nothing). File and encoder errors propagate.
std::int32_t SaveBitmapAs(const std::string& path, const Bitmap* bitmap, std::int32_t code);

}  // namespace mirelay
