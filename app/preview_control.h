#pragma once

#include <QImage>
#include <QWidget>
#include <memory>

#include "app/gif_preview/gif_graphic.h"
#include "app/gif_preview/gif_paint_settings.h"
#include "app/view_target.h"
#include "imaging/bitmap.h"
#include "imaging/gif/gif_image.h"

namespace mirelay {

// The image control of the preview: shows one picture at its natural size or stretched to its
// bounds, and can size itself to the picture.
class PreviewControl : public QWidget, public ViewTarget {
  Q_OBJECT
 public:
  explicit PreviewControl(QWidget* parent = nullptr);
  ~PreviewControl() override;

  void Clear() override;
  void ShowBitmap(const Bitmap& picture) override;
  void ShowGif(std::shared_ptr<const GifImage> graphic, const GifPaintSettings& settings) override;

  // The picture's own size (a GIF's logical screen); empty without a picture.
  QSize NaturalSize() const;
  void SetStretch(bool stretch);
  bool Stretch() const { return stretch_; }
  void SetAutoSize(bool autoSize);

  const QImage& Picture() const { return picture_; }
  const std::shared_ptr<const GifImage>& Graphic() const { return graphic_; }
  // The painting copy of the GIF shown, or null.
  GifGraphic* Gif() const { return gif_.get(); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void PictureChanged();
  // Ends the current GIF's animation before anything else replaces it.
  void DropGif();
  QColor Backdrop() const;

  QImage picture_;
  std::shared_ptr<const GifImage> graphic_;
  std::unique_ptr<GifGraphic> gif_;
  bool stretch_ = false;
  bool autoSize_ = false;
};

// A copy of a 24-bit (or convertible) bitmap as an opaque image, top row first.
QImage ToQImage(const Bitmap& bitmap);

}  // namespace mirelay
