#include "app/preview_control.h"

#include <QPainter>
#include <cstring>
#include <utility>

namespace mirelay {

QImage ToQImage(const Bitmap& source) {
  Bitmap bitmap = source;
  ConvertTo24Bit(bitmap);
  if (!bitmap.HasPixels()) return {};
  QImage image(bitmap.Width(), bitmap.Height(), QImage::Format_BGR888);
  for (int row = 0; row < bitmap.Height(); ++row) {
    std::memcpy(image.scanLine(row), bitmap.RowPointer(row),
                3 * static_cast<size_t>(bitmap.Width()));
  }
  return image;
}

PreviewControl::PreviewControl(QWidget* parent) : QWidget(parent) {}

PreviewControl::~PreviewControl() { DropGif(); }

void PreviewControl::Clear() {
  picture_ = {};
  DropGif();
  PictureChanged();
  repaint();
}

void PreviewControl::ShowBitmap(const Bitmap& picture) {
  DropGif();
  picture_ = ToQImage(picture);
  PictureChanged();
}

void PreviewControl::ShowGif(std::shared_ptr<const GifImage> graphic,
                             const GifPaintSettings& settings) {
  picture_ = {};
  DropGif();
  graphic_ = std::move(graphic);
  if (graphic_) gif_ = std::make_unique<GifGraphic>(graphic_, settings, [this] { update(); });
  PictureChanged();
}

QSize PreviewControl::NaturalSize() const { return gif_ ? gif_->Size() : picture_.size(); }

void PreviewControl::SetStretch(bool stretch) {
  stretch_ = stretch;
  update();
}

void PreviewControl::SetAutoSize(bool autoSize) {
  autoSize_ = autoSize;
  if (autoSize_) resize(NaturalSize());
}

void PreviewControl::PictureChanged() {
  if (autoSize_) resize(NaturalSize());
  update();
}

void PreviewControl::DropGif() {
  gif_.reset();
  graphic_.reset();
}

// The control paints no background of its own, so behind a GIF lies its parent's.
QColor PreviewControl::Backdrop() const {
  const QWidget* behind = parentWidget() != nullptr ? parentWidget() : this;
  return behind->palette().color(behind->backgroundRole());
}

void PreviewControl::paintEvent(QPaintEvent*) {
  if (gif_) {
    QPainter painter(this);
    const QRect natural(QPoint(0, 0), gif_->Size());
    gif_->Draw(painter, stretch_ ? rect() : natural, Backdrop());
    return;
  }
  if (picture_.isNull()) return;
  QPainter painter(this);
  if (stretch_) {
    painter.drawImage(rect(), picture_);
  } else {
    painter.drawImage(QPoint(0, 0), picture_);
  }
}

}  // namespace mirelay
