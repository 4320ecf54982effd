#include <QtTest>
#include <filesystem>
#include <memory>
#include <vector>

#include "app/load_image_to_view.h"
#include "files/output_file.h"
#include "imaging/bmp/bmp_write.h"
#include "imaging/image_lib.h"
#include "imaging/png/png_read.h"
#include "tests/imaging/bmp/bmp_builder.h"
#include "tests/imaging/gif/gif_block_writer.h"
#include "tests/imaging/pixel_cap.h"
#include "tests/imaging/png/png_chunk_writer.h"
#include "tests/support/temp_dir.h"

using namespace mirelay;
using namespace mirelay::testing_support;

namespace {

class RecordingView : public ViewTarget {
 public:
  void Clear() override { ++clears; }
  void ShowBitmap(const Bitmap& picture) override { bitmaps.push_back(picture); }
  void ShowGif(std::shared_ptr<const GifImage> graphic, const GifPaintSettings& settings) override {
    gif = std::move(graphic);
    gifSettings = settings;
  }

  int clears = 0;
  std::vector<Bitmap> bitmaps;
  std::shared_ptr<const GifImage> gif;
  GifPaintSettings gifSettings;
};

const GifColorTable kColors{{255, 255, 255}, {200, 0, 0}, {0, 0, 200}, {0, 0, 0}};

// `frames` frames of `side` x `side` pixels: frame 0 red, the later ones blue.
Bytes Animation(int frames, std::uint16_t side = 2) {
  const auto area = std::size_t{side} * side;
  auto writer = GifBlockWriter().Start(side, side, kColors);
  for (int frame = 0; frame < frames; ++frame) {
    writer.Descriptor(0, 0, side, side).Pixels(Bytes(area, frame == 0 ? 1 : 2));
  }
  return writer.Trailer().bytes();
}

// A 2 x 1 RGB picture whose tRNS chunk makes its first colour transparent.
Bytes PngWithTransparentColour() {
  return PngChunkWriter()
      .Ihdr(2, 1, 8, 2)
      .Chunk("tRNS", {0, 10, 0, 20, 0, 30})
      .Idat(Deflate({0, 10, 20, 30, 40, 50, 60}))
      .Iend()
      .bytes();
}

}  // namespace

class LoadImageToViewTest : public QObject {
  Q_OBJECT

 private slots:
  void bitmapFormatsArriveAsAnOpaqueCopy() {
    TempDir folder;
    const Bitmap picture = Gradient(4, 3, 17);
    const auto bmp = folder.Path("p.bmp");
    WriteWholeFile(bmp, EncodeBmp(picture));
    RecordingView view;
    QCOMPARE(LoadImageToView(bmp, view), kFormatBmp);
    QCOMPARE(view.bitmaps.size(), std::size_t{1});
    QVERIFY(AllPixels(view.bitmaps[0]) == AllPixels(picture));
    QCOMPARE(view.clears, 0);

    // The decoder marks the colour transparent; the preview draws it opaque all the same.
    const Bytes png = PngWithTransparentColour();
    QVERIFY(DecodePng(png).transparency.enabled);
    const auto pngPath = folder.Path("t.png");
    WriteWholeFile(pngPath, png);
    QCOMPARE(LoadImageToView(pngPath, view), kFormatPng);
    QCOMPARE(view.bitmaps.size(), std::size_t{2});
    QVERIFY(!view.bitmaps[1].transparency.enabled);
  }

  // 19000 x 19000 takes 45 MB at one bit per pixel but 1.08 GB at 24 bits, over the 1 GiB cap.
  void failedBitmapLeavesTheViewAlone() {
    TempDir folder;
    const auto bad = folder.Path("bad.bmp");
    WriteWholeFile(bad, Bytes{'B', 'M', 1, 2, 3});
    BmpBuilder huge;
    huge.width = huge.height = 19000;
    huge.bitsPerPixel = 1;
    huge.colors = {{0, 0, 0, 0}, {255, 255, 255, 0}};
    const Bytes headers = huge.Build();
    const auto tooLarge = folder.Path("huge.bmp");
    WriteWholeFile(tooLarge, headers);
    std::filesystem::resize_file(tooLarge, headers.size() + std::size_t{2376} * 19000);
    for (const auto& path : {bad, tooLarge}) {
      RecordingView view;
      QCOMPARE(LoadImageToView(path, view), kFormatUnknown);
      QVERIFY(view.bitmaps.empty());
      QCOMPARE(view.clears, 0);
    }
  }

  void gifArrivesAsAGraphicAfterAClear() {
    TempDir folder;
    const auto path = folder.Path("a.gif");
    WriteWholeFile(path, Animation(1));
    for (const bool paletteDisplay : {false, true}) {
      DecodeOptions options;
      options.paletteDisplay = paletteDisplay;
      RecordingView view;
      QCOMPARE(LoadImageToView(path, view, options), kFormatGif);
      QCOMPARE(view.clears, 1);
      QVERIFY(view.bitmaps.empty());
      QVERIFY(view.gif != nullptr);
      QCOMPARE(view.gif->frames.size(), std::size_t{1});
      QCOMPARE(view.gifSettings.paletteDisplay, paletteDisplay);
    }
  }

  void failedGifLeavesTheViewCleared() {
    TempDir folder;
    const auto path = folder.Path("bad.gif");
    WriteWholeFile(path, GifBlockWriter().Start(2, 1, kColors).Extension(0x02, {0}).bytes());
    RecordingView view;
    QCOMPARE(LoadImageToView(path, view), kFormatUnknown);
    QCOMPARE(view.clears, 1);
    QVERIFY(view.gif == nullptr);
  }

  // A cap of 16384 bytes holds four 64 x 64 frames.
  void gifAnimatesTheFramesThatFitUnderTheCap() {
    TempDir folder;
    const ScopedPixelCap cap(4 * 64 * 64);
    const auto fits = folder.Path("four.gif");
    const auto beyond = folder.Path("five.gif");
    WriteWholeFile(fits, Animation(4, 64));
    WriteWholeFile(beyond, Animation(5, 64));
    RecordingView view;
    QCOMPARE(LoadImageToView(fits, view), kFormatGif);
    QCOMPARE(view.gif->frames.size(), std::size_t{4});
    QCOMPARE(LoadImageToView(beyond, view), kFormatGif);
    QCOMPARE(view.gif->frames.size(), std::size_t{1});
    QVERIFY(view.gif->frames[0].indices == Bytes(64 * 64, 1));
  }
};

QTEST_GUILESS_MAIN(LoadImageToViewTest)
#include "load_image_to_view_test.moc"
