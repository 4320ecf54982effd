#include "app/gif_preview/gif_timing.h"

#include <algorithm>
#include <cstdint>

namespace mirelay {

namespace {

// offset + value * destinationLength / screenLength, rounded half up.
int ScaleEdge(int offset, std::int64_t value, std::int64_t destinationLength,
              std::int64_t screenLength) {
  const std::int64_t product = value * destinationLength;
  const std::int64_t twice = 2 * product + (product >= 0 ? screenLength : -screenLength);
  return offset + static_cast<int>(twice / (2 * screenLength));
}

}  // namespace

QRect ScaledFrameRect(const GifImage& image, const GifFrame& frame, const QRect& destination) {
  if (image.width == 0 || image.height == 0) return {};
  const int left = ScaleEdge(destination.left(), frame.left, destination.width(), image.width);
  const int right =
      ScaleEdge(destination.left(), frame.left + frame.keptWidth, destination.width(), image.width);
  const int top = ScaleEdge(destination.top(), frame.top, destination.height(), image.height);
  const int bottom = ScaleEdge(destination.top(), frame.top + frame.keptHeight,
                               destination.height(), image.height);
  return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

std::chrono::milliseconds FrameWait(const GifFrame& frame, int animationSpeed,
                                    std::chrono::milliseconds previousOverrun) {
  const auto* control = frame.GraphicControl();
  int steps = control && control->delay != 0 ? control->delay : kDefaultDelaySteps;
  steps = std::max(steps, kMinimumDelaySteps);
  // A speed of zero or less would divide by zero or run backwards; treat it as the slowest.
  const std::int64_t speed = std::max(animationSpeed, 1);
  const std::int64_t wait =
      (std::int64_t{steps} * kMillisecondsPerDelayStep - previousOverrun.count() / 2) * 100 / speed;
  return std::chrono::milliseconds(wait);
}

}  // namespace mirelay
