#include "app/gif_preview/gif_graphic.h"

#include <cstddef>
#include <system_error>
#include <utility>

#include "app/gif_preview/gif_frame_image.h"
#include "app/gif_preview/gif_timing.h"

namespace mirelay {

GifGraphic::GifGraphic(std::shared_ptr<const GifImage> image, const GifPaintSettings& settings,
                       std::function<void()> changed)
    : image_(std::move(image)), settings_(settings), changed_(std::move(changed)), channel_([this] {
        QMetaObject::invokeMethod(
            &guiContext_, [this] { channel_.ServePending(); }, Qt::QueuedConnection);
      }) {}

GifGraphic::~GifGraphic() {
  channel_.StopAll();
  painters_.clear();
}

QSize GifGraphic::Size() const { return QSize(image_->width, image_->height); }

void GifGraphic::Draw(QPainter& painter, const QRect& destination, const QColor& backdrop) {
  if (image_->frames.empty()) return;
  if (Animates()) {
    DrawAnimated(painter, destination, backdrop);
  } else {
    DrawStill(painter, destination);
  }
}

bool GifGraphic::Animates() const {
  return image_->frames.size() > 1 && settings_.drawOptions.animate;
}

void GifGraphic::DrawStill(QPainter& painter, const QRect& destination) {
  const auto& frame = image_->frames.front();
  if (!still_) still_ = FrameImage(*image_, frame, settings_);
  if (still_->isNull()) return;
  painter.drawImage(ScaledFrameRect(*image_, frame, destination), *still_);
}

void GifGraphic::DrawAnimated(QPainter& painter, const QRect& destination, const QColor& backdrop) {
  if (!buffer_) StartAnimation(backdrop);
  if (buffer_) painter.drawImage(destination, buffer_->Image());
}

void GifGraphic::StartAnimation(const QColor& backdrop) {
  QImage initial(Size(), QImage::Format_RGB32);
  // An empty logical screen, or one too large for memory, shows nothing.
  if (initial.isNull()) return;
  initial.fill(backdrop);
  buffer_ = std::make_unique<AnimationBuffer>(*image_, settings_, std::move(initial),
                                              [this](std::size_t) {
                                                firstFrameShown_ = true;
                                                changed_();
                                              });
  try {
    painters_.push_back(std::make_unique<GifPainter>(image_, settings_, channel_, *buffer_, hook_));
  } catch (const std::system_error&) {
    return;  // No thread to be had: the buffer keeps showing what lay behind.
  }
  // The first paint shows frame 0, not the bare backdrop.
  channel_.ServeWhile([this] { return !firstFrameShown_; });
}

}  // namespace mirelay
