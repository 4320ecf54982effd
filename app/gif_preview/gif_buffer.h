#pragma once

#include <QColor>
#include <QImage>
#include <QRect>
#include <cstddef>
#include <functional>
#include <optional>

#include "app/gif_preview/gif_paint_settings.h"
#include "imaging/gif/gif_image.h"

namespace mirelay {

// The off-screen logical screen an animation is drawn into, with the disposal of the frame
// shown last. Used on the GUI thread only.
class AnimationBuffer {
 public:
  // `initial` is the logical screen as the animation starts; `shown` runs after each frame.
  // `image` and `settings` must outlive the buffer.
  AnimationBuffer(const GifImage& image, const GifPaintSettings& settings, QImage initial,
                  std::function<void(std::size_t)> shown);

  // Disposes of the frame shown before, then draws frame `index` from its `picture`.
  void Show(std::size_t index, const QImage& picture);
  const QImage& Image() const { return buffer_; }

 private:
  void DisposePrevious();
  QRect FrameArea(std::size_t index) const;
  QColor BackgroundColor() const;

  const GifImage& image_;
  const GifPaintSettings& settings_;

  QImage buffer_;
  const QImage initial_;
  std::function<void(std::size_t)> shown_;
  std::optional<std::size_t> previous_;
  // What lay under the previous frame, for disposal 3.
  QImage underPrevious_;
};

}  // namespace mirelay
