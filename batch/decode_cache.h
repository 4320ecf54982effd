#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "imaging/bitmap.h"
#include "imaging/codec_options.h"
#include "imaging/image_error.h"

namespace mirelay {

// A decoded input in the working 24-bit format, or why it could not be had.
struct DecodedImage {
  std::shared_ptr<const Bitmap> bitmap;  // null when decoding failed
  Failure failure;
  // An error no input can cause, raised again for every pair that asks for the file.
  std::exception_ptr fault;
  // The file carries alpha with pixels that are not fully opaque (only told when its alpha
  // was read).
  bool transparentPixels = false;
};

// What a decode does with a file's alpha: drops it (bases, and parts when nobody asks), reads
// it only to tell whether the file has transparent pixels, or keeps it to lay the part on by.
enum class AlphaUse { kDrop, kTell, kKeep };

// The reason given for an input or a pair that did not fit in memory.
inline constexpr char kOutOfMemory[] = "out of memory";

using ImageLoader = std::function<std::int32_t(const std::string&, Bitmap&, const DecodeOptions&)>;

// Decodes each file once and shares the result read-only between threads. Ready entries beyond
// the byte budget are dropped least recently used first; a caller still holding one keeps it
// alive, so the budget bounds what the cache pins, not what is in flight.
class DecodeCache {
 public:
  DecodeCache(std::size_t budgetBytes, ImageLoader load, DecodeOptions options = {});
  DecodeCache(const DecodeCache&) = delete;
  DecodeCache& operator=(const DecodeCache&) = delete;
  DecodeCache(DecodeCache&&) = delete;
  DecodeCache& operator=(DecodeCache&&) = delete;

  // The file's decoded image; a thread asking for a file another thread is decoding waits.
  // Each use of alpha is a decode of its own.
  std::shared_ptr<const DecodedImage> Get(const std::string& path,
                                          AlphaUse alpha = AlphaUse::kDrop);

  // How many decodes have run, for checking that inputs are not decoded once per pair.
  std::size_t DecodeCount() const;

 private:
  struct Entry {
    std::shared_ptr<const DecodedImage> value;
    std::size_t bytes = 0;
    std::list<std::string>::iterator recent;
  };

  std::shared_ptr<const DecodedImage> Decode(const std::string& path, AlphaUse alpha) const;
  void Store(const std::string& path, std::shared_ptr<const DecodedImage> value);
  void EvictOverBudget();

  const std::size_t budgetBytes_;
  const ImageLoader load_;
  const DecodeOptions options_;
  mutable std::mutex mutex_;
  std::condition_variable ready_;
  std::unordered_map<std::string, Entry> entries_;
  std::list<std::string> recentFirst_;  // ready entries only
  std::size_t heldBytes_ = 0;
  std::size_t decodeCount_ = 0;
};

}  // namespace mirelay
