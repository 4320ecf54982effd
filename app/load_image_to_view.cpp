#include "app/load_image_to_view.h"

#include <QGuiApplication>
#include <QScreen>
#include <memory>
#include <utility>

#include "imaging/bitmap.h"
#include "imaging/codec_table.h"
#include "imaging/gif/gif_image.h"
#include "imaging/gif/gif_read.h"
#include "imaging/image_lib.h"

namespace mirelay {

DecodeOptions WindowDecodeOptions() {
  static const bool paletteDisplay = [] {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr && screen->depth() <= 8;
  }();
  DecodeOptions options;
  options.paletteDisplay = paletteDisplay;
  return options;
}

std::int32_t LoadImageToView(const std::string& path, ViewTarget& view,
                             const DecodeOptions& options) {
  const auto file = RecogniseFile(path);
  if (!file) return kFormatUnknown;
  const std::int32_t format = file->codec->format;
  if (format == kFormatGif) {
    view.Clear();
    return UnlessDecodeFails(format, [&] {
      auto graphic = std::make_shared<const GifImage>(
          DecodeGifImage(ReadPictureFile(file->file), KeptFrames::kAllThatFit, options));
      GifPaintSettings settings;
      settings.paletteDisplay = options.paletteDisplay;
      view.ShowGif(std::move(graphic), settings);
    });
  }
  return UnlessDecodeFails(format, [&] {
    Bitmap picture;
    TakeOver(picture, DecodeRecognised(*file, options));
    // The image control is not transparent, so a bitmap in it is always drawn opaque.
    picture.transparency.enabled = false;
    view.ShowBitmap(picture);
  });
}

}  // namespace mirelay
