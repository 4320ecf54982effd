#include "app/preview_control.h"

#include <QPainter>
#include <cstring>

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

PreviewControl::~PreviewControl() = default;

void PreviewControl::Clear() {
  picture_ = {};
  graphic_.reset();
  PictureChanged();
  repaint();
}

void PreviewControl::ShowBitmap(const Bitmap& picture) {
  graphic_.reset();
  picture_ = ToQImage(picture);
  PictureChanged();
}

void PreviewControl::ShowGif(std::shared_ptr<const TGIFImage> graphic) {
  picture_ = {};
  graphic_ = std::move(graphic);
  PictureChanged();
}

QSize PreviewControl::NaturalSize() const { return picture_.size(); }

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

void PreviewControl::paintEvent(QPaintEvent*) {
  if (picture_.isNull()) return;
  QPainter painter(this);
  if (stretch_) {
    painter.drawImage(rect(), picture_);
  } else {
    painter.drawImage(QPoint(0, 0), picture_);
  }
}

}  // namespace mirelay
