#include "batch/decode_cache.h"

#include <new>
#include <utility>

#include "batch/overlay.h"
#include "files/file_error.h"
#include "files/file_status.h"
#include "imaging/image_error.h"

namespace mirelay {

DecodeCache::DecodeCache(std::size_t budgetBytes, ImageLoader load, DecodeOptions options)
    : budgetBytes_(budgetBytes), load_(std::move(load)), options_(std::move(options)) {}

std::shared_ptr<const DecodedImage> DecodeCache::Get(const std::string& path, AlphaUse alpha) {
  // A path holds no NUL, so the use after one keeps the keys apart.
  const std::string key = alpha == AlphaUse::kDrop ? path : path + '\0' + char('0' + int(alpha));
  std::unique_lock lock(mutex_);
  for (;;) {
    const auto found = entries_.find(key);
    if (found == entries_.end()) break;
    if (found->second.value) {
      recentFirst_.splice(recentFirst_.begin(), recentFirst_, found->second.recent);
      return found->second.value;
    }
    ready_.wait(lock);
  }
  // An entry without a value marks a decode in progress.
  entries_.emplace(key, Entry{});
  ++decodeCount_;
  lock.unlock();
  auto value = Decode(path, alpha);
  lock.lock();
  Store(key, value);
  ready_.notify_all();
  return value;
}

std::size_t DecodeCache::DecodeCount() const {
  std::lock_guard lock(mutex_);
  return decodeCount_;
}

// Only the failures an input can cause are its own; anything else is a fault of the program,
// kept to be raised on the engine's side rather than passed off as a bad input.
std::shared_ptr<const DecodedImage> DecodeCache::Decode(const std::string& path,
                                                        AlphaUse alpha) const {
  auto result = std::make_shared<DecodedImage>();
  if (!FileExists(path)) {
    result->failure = PlainFailure(FailureKind::kNotFound, "file not found");
    return result;
  }
  try {
    auto bitmap = std::make_shared<Bitmap>();
    DecodeOptions options = options_;
    options.readAlpha = alpha != AlphaUse::kDrop;
    if (load_(path, *bitmap, options) == 0) {
      result->failure = PlainFailure(FailureKind::kBadInput, "not a BMP, GIF, JPEG or PNG file");
      return result;
    }
    ConvertTo24Bit(*bitmap);
    result->transparentPixels = HasTransparentPixels(*bitmap);
    if (alpha == AlphaUse::kTell) bitmap->alpha = {};
    result->bitmap = std::move(bitmap);
  } catch (const FileError& error) {
    result->failure = FailureOf(error);
  } catch (const ImageError& error) {
    result->failure = FailureOf(error);
  } catch (const std::bad_alloc&) {
    result->failure = PlainFailure(FailureKind::kOutOfMemory, kOutOfMemory);
  } catch (...) {
    result->fault = std::current_exception();
  }
  return result;
}

void DecodeCache::Store(const std::string& path, std::shared_ptr<const DecodedImage> value) {
  auto& entry = entries_.at(path);
  entry.bytes =
      value->bitmap ? value->bitmap->PixelMemory().size() + value->bitmap->alpha.size() : 0;
  entry.value = std::move(value);
  recentFirst_.push_front(path);
  entry.recent = recentFirst_.begin();
  heldBytes_ += entry.bytes;
  EvictOverBudget();
}

void DecodeCache::EvictOverBudget() {
  while (heldBytes_ > budgetBytes_ && !recentFirst_.empty()) {
    const auto oldest = entries_.find(recentFirst_.back());
    heldBytes_ -= oldest->second.bytes;
    entries_.erase(oldest);
    recentFirst_.pop_back();
  }
}

}  // namespace mirelay
