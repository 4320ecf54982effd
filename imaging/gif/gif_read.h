#pragma once

#include <cstdint>
#include <span>

#include "imaging/codec_options.h"
#include "imaging/gif/gif_image.h"

namespace mirelay {

inline constexpr char kGifPrematureEnd[] = "Premature end of data";
inline constexpr char kGifUnknownExtension[] = "Unknown extension type";
inline constexpr char kGifBadAppBlockSize[] = "Unsupported Application Extension block size";
inline constexpr char kGifInvalidData[] = "Invalid GIF data";

// Which frames keep their pixels. Every frame is read and decoded whichever is chosen, so a
// file loads or fails alike; only the memory differs.
enum class KeptFrames {
  // Frame 0 alone: a working image shows nothing else.
  kFirst,
  // Every frame while their indices together fit under the pixel cap; beyond it frame 0 alone,
  // so that a long animation still shows its first picture.
  kAllThatFit,
};

// The graphic held in a whole GIF file, each frame keeping only what can reach a picture (see
// GifFrame::keptWidth; for a palette display, as `options` says, a little more). Throws
// ImageError with the texts above, with kPictureTooLarge when frame 0 alone would keep more than
// MaxPixelBytes() indices, or with kStopped once `options` asks to stop.
GifImage DecodeGifImage(std::span<const std::uint8_t> file,
                        KeptFrames kept = KeptFrames::kAllThatFit,
                        const DecodeOptions& options = {});

}  // namespace mirelay
