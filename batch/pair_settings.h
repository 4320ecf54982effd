#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <utility>

#include "settings/name_order.h"

namespace mirelay {

// The settings that decide a pair's output name and composite.
struct PairSettings {
  std::string separator;
  NameOrder nameOrder = NameOrder::BaseFirst();
  std::int32_t threshold = 0;
  // Parts that carry alpha are laid on by it (see OverlayAlpha).
  bool alphaBlend = false;
};

// Pair settings that one thread changes while batch workers read them.
class SharedPairSettings {
 public:
  SharedPairSettings() = default;
  SharedPairSettings(const SharedPairSettings&) = delete;
  SharedPairSettings& operator=(const SharedPairSettings&) = delete;
  SharedPairSettings(SharedPairSettings&&) = delete;
  SharedPairSettings& operator=(SharedPairSettings&&) = delete;

  void Set(PairSettings settings) {
    std::lock_guard lock(mutex_);
    settings_ = std::move(settings);
  }
  PairSettings Get() const {
    std::lock_guard lock(mutex_);
    return settings_;
  }

 private:
  mutable std::mutex mutex_;
  PairSettings settings_;
};

}  // namespace mirelay
