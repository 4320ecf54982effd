#include "app/gif_preview/gif_buffer.h"

#include <cstdint>
#include <utility>

#include <QGuiApplication>
#include <QPainter>
#include <QPalette>

namespace mirelay {

namespace {

enum Disposal : std::uint8_t { kRestoreBackground = 2, kRestorePrevious = 3 };

QColor ToQColor(const GifColor& color) { return QColor(color.red, color.green, color.blue); }

}  // namespace

AnimationBuffer::AnimationBuffer(const GifImage& image, const GifPaintSettings& settings,
                                 QImage initial, std::function<void(std::size_t)> shown)
    : image_(image),
      settings_(settings),
      buffer_(initial),
      initial_(std::move(initial)),
      shown_(std::move(shown)) {}

void AnimationBuffer::Show(std::size_t index, const QImage& picture) {
  DisposePrevious();
  const QRect area = FrameArea(index);
  const auto* control = image_.frames[index].GraphicControl();
  underPrevious_ = control && control->disposal == kRestorePrevious ? buffer_.copy(area) : QImage();
  if (!picture.isNull()) {
    QPainter painter(&buffer_);
    const auto& frame = image_.frames[index];
    painter.drawImage(QPoint(frame.left, frame.top), picture);
  }
  previous_ = index;
  shown_(index);
}

void AnimationBuffer::DisposePrevious() {
  if (!previous_) return;
  const auto* control = image_.frames[*previous_].GraphicControl();
  if (!control) return;
  const QRect area = FrameArea(*previous_);
  QPainter painter(&buffer_);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  if (control->disposal == kRestorePrevious && !underPrevious_.isNull()) {
    painter.drawImage(area.topLeft(), underPrevious_);
  } else if (control->disposal == kRestoreBackground) {
    if (settings_.drawOptions.transparent) {
      painter.drawImage(area, initial_, area);
    } else {
      painter.fillRect(area, BackgroundColor());
    }
  }
}

QRect AnimationBuffer::FrameArea(std::size_t index) const {
  const auto& frame = image_.frames[index];
  // A frame may reach past the logical screen; only its part on the screen matters.
  return QRect(frame.left, frame.top, frame.width, frame.height).intersected(buffer_.rect());
}

QColor AnimationBuffer::BackgroundColor() const {
  if (settings_.drawBackgroundColor) return ToQColor(*settings_.drawBackgroundColor);
  const auto& table = image_.globalColorTable;
  if (image_.backgroundIndex < table.size()) return ToQColor(table[image_.backgroundIndex]);
  return QGuiApplication::palette().color(QPalette::Window);
}

}  // namespace mirelay
