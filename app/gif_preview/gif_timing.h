#pragma once

#include <QRect>
#include <chrono>

#include "imaging/gif/gif_image.h"

namespace mirelay {

inline constexpr int kMillisecondsPerDelayStep = 12;
inline constexpr int kDefaultDelaySteps = 10;
inline constexpr int kMinimumDelaySteps = 3;

// The rectangle of the frame's kept part on the logical screen scaled into `destination`, each
// edge rounded to the nearest pixel. Empty when the logical screen has no area.
QRect ScaledFrameRect(const GifImage& image, const GifFrame& frame, const QRect& destination);

// How long to show `frame` before the next one: its delay (a default for none or 0, raised to
// the minimum), less half of the previous wait's overrun, scaled by the animation speed in per
// cent. Zero or less means no wait.
std::chrono::milliseconds FrameWait(const GifFrame& frame, int animationSpeed,
                                    std::chrono::milliseconds previousOverrun);

}  // namespace mirelay
