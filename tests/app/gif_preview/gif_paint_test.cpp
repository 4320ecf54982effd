#include <QtTest>
#include <memory>

#include "app/gif_preview/gif_graphic.h"
#include "app/gif_preview/gif_timing.h"
#include "app/preview_control.h"

#include "tests/app/gif_preview/gif_frames.h"

using namespace mirelay;
using namespace mirelay::testing_support;
using std::chrono::milliseconds;

namespace {

const QColor kBehind(200, 200, 200);

// A 50 x 40 frame at (10, 10) on a 100 x 80 screen: green on the left half, index 3 on the
// right half, which the frame marks transparent when `transparentIndex` is set.
std::shared_ptr<const GifImage> OffsetFrameGraphic(bool transparentIndex) {
  std::vector<std::uint8_t> indices(50 * 40, 1);
  for (int row = 0; row < 40; ++row) std::fill_n(indices.begin() + row * 50 + 25, 25, 3);
  auto frame = Frame(10, 10, 50, 40, indices);
  if (transparentIndex) AddControl(frame, Control(0, 0, 3));
  return std::make_shared<const GifImage>(Screen(100, 80, {frame}));
}

QImage Paint(const std::shared_ptr<const GifImage>& image, const QRect& destination, QSize canvas,
             const GifPaintSettings& settings = {}) {
  QImage target(canvas, QImage::Format_RGB32);
  target.fill(kBehind);
  GifGraphic graphic(image, settings, [] {});
  QPainter painter(&target);
  graphic.Draw(painter, destination, kBehind);
  return target;
}

}  // namespace

class GifPaintTest : public QObject {
  Q_OBJECT

 private slots:
  void frameRectangleIsScaledFromTheLogicalScreen_data() {
    QTest::addColumn<QRect>("destination");
    QTest::addColumn<QRect>("expected");
    QTest::newRow("natural size") << QRect(0, 0, 100, 80) << QRect(10, 10, 50, 40);
    QTest::newRow("doubled") << QRect(0, 0, 200, 160) << QRect(20, 20, 100, 80);
    // 3.3 -> 3, 19.8 -> 20, 3.375 -> 3, 16.875 -> 17, each plus the offset 5.
    QTest::newRow("offset, rounded") << QRect(5, 5, 33, 27) << QRect(8, 8, 17, 14);
    // 10 * 25 / 100 = 2.5 rounds up.
    QTest::newRow("halves round up") << QRect(0, 0, 25, 20) << QRect(3, 3, 12, 10);
  }

  void frameRectangleIsScaledFromTheLogicalScreen() {
    QFETCH(QRect, destination);
    QFETCH(QRect, expected);
    const auto image = OffsetFrameGraphic(false);
    QCOMPARE(ScaledFrameRect(*image, image->frames[0], destination), expected);
  }

  void emptyLogicalScreenHasNoFrameRectangle() {
    const auto image = Screen(0, 0, {Frame(0, 0, 2, 2, {1})});
    QVERIFY(ScaledFrameRect(image, image.frames[0], QRect(0, 0, 10, 10)).isEmpty());
  }

  void oneFrameDrawsOnlyItsOpaquePixels() {
    const QImage shown = Paint(OffsetFrameGraphic(true), QRect(0, 0, 100, 80), {120, 100});
    QCOMPARE(shown.pixelColor(10, 10), QColor(0, 255, 0));
    QCOMPARE(shown.pixelColor(34, 49), QColor(0, 255, 0));
    QCOMPARE(shown.pixelColor(35, 10), kBehind);  // transparent index
    QCOMPARE(shown.pixelColor(59, 49), kBehind);
    QCOMPARE(shown.pixelColor(9, 9), kBehind);  // outside the frame
    QCOMPARE(shown.pixelColor(60, 50), kBehind);
    QCOMPARE(shown.pixelColor(110, 90), kBehind);
  }

  void oneFrameStretchesWithTheDestination() {
    const QImage shown = Paint(OffsetFrameGraphic(true), QRect(0, 0, 200, 160), {200, 160});
    QCOMPARE(shown.pixelColor(19, 19), kBehind);
    QCOMPARE(shown.pixelColor(20, 20), QColor(0, 255, 0));
    QCOMPARE(shown.pixelColor(69, 99), QColor(0, 255, 0));
    QCOMPARE(shown.pixelColor(70, 20), kBehind);
  }

  void transparentIndexIsDrawnWhenNotTransparent() {
    // Neither a frame without the flag nor drawing without transparency hides index 3.
    GifPaintSettings opaque;
    opaque.drawOptions.transparent = false;
    for (const auto& [image, settings] : {std::pair{OffsetFrameGraphic(false), GifPaintSettings{}},
                                          std::pair{OffsetFrameGraphic(true), opaque}}) {
      const QImage shown = Paint(image, QRect(0, 0, 100, 80), {100, 80}, settings);
      QCOMPARE(shown.pixelColor(59, 49), QColor(255, 0, 255));
    }
  }

  void paletteDisplayDithersButKeepsTransparency() {
    GifPaintSettings paletteDisplay;
    paletteDisplay.paletteDisplay = true;
    auto image = Screen(4, 1, {Frame(0, 0, 4, 1, {1, 3, 0, 1}, {Control(0, 0, 3)})});
    image.globalColorTable[0] = {100, 100, 100};  // between cube levels: dithered
    const QImage shown =
        Paint(std::make_shared<const GifImage>(image), QRect(0, 0, 4, 1), {4, 1}, paletteDisplay);
    QCOMPARE(shown.pixelColor(0, 0), QColor(0, 255, 0));
    QCOMPARE(shown.pixelColor(1, 0), kBehind);
    QCOMPARE(shown.pixelColor(2, 0), QColor(102, 102, 102));
  }

  void waitsFollowDelaysSpeedAndOverrun_data() {
    QTest::addColumn<int>("delay");
    QTest::addColumn<int>("speed");
    QTest::addColumn<int>("overrun");
    QTest::addColumn<int>("wait");
    QTest::newRow("no control extension") << -1 << 100 << 0 << 120;
    QTest::newRow("delay 0") << 0 << 100 << 0 << 120;
    QTest::newRow("delay 1 raised to 3") << 1 << 100 << 0 << 36;
    QTest::newRow("delay 3") << 3 << 100 << 0 << 36;
    QTest::newRow("delay 50") << 50 << 100 << 0 << 600;
    QTest::newRow("double speed") << 50 << 200 << 0 << 300;
    QTest::newRow("half the overrun") << 50 << 100 << 101 << 550;
    QTest::newRow("overrun beyond the delay") << 3 << 100 << 80 << -4;
    QTest::newRow("speed 0 is the slowest") << 1 << 0 << 0 << 3600;
  }

  void waitsFollowDelaysSpeedAndOverrun() {
    QFETCH(int, delay);  // -1: no graphic control extension
    QFETCH(int, speed);
    QFETCH(int, overrun);
    QFETCH(int, wait);
    auto frame = Frame(0, 0, 1, 1, {0});
    if (delay >= 0) AddControl(frame, Control(static_cast<std::uint16_t>(delay)));
    QCOMPARE(FrameWait(frame, speed, milliseconds(overrun)).count(), wait);
  }

  void painterKeepsTheSchedule() {
    auto image = Screen(2, 2,
                        {Frame(0, 0, 2, 2, {0}, {Control(0)}), Frame(0, 0, 1, 1, {1}, {Control(1)}),
                         Frame(1, 1, 1, 1, {2}, {Control(50)}), Frame(0, 1, 1, 1, {3})});
    GifGraphic graphic(std::make_shared<const GifImage>(image), {}, [] {});
    std::vector<std::pair<std::size_t, milliseconds>> schedule;
    graphic.SetScheduleHook(
        [&](std::size_t frame, milliseconds wait) { schedule.emplace_back(frame, wait); });
    QImage target(2, 2, QImage::Format_RGB32);
    {
      QPainter painter(&target);
      graphic.Draw(painter, QRect(0, 0, 2, 2), kBehind);
    }
    // The first paint comes back with frame 0 in place.
    QCOMPARE(target.pixelColor(1, 1), QColor(255, 0, 0));
    QTRY_VERIFY_WITH_TIMEOUT(!graphic.Animating(), 5000);
    QCoreApplication::processEvents();
    QCOMPARE(schedule.size(), std::size_t{4});
    const int expected[] = {0, 120, 36, 600};
    for (std::size_t index = 0; index < schedule.size(); ++index) {
      QCOMPARE(schedule[index].first, index);
      // Only half of a late wake-up is taken off the next wait.
      QVERIFY2(schedule[index].second.count() <= expected[index] &&
                   schedule[index].second.count() >= expected[index] - 20,
               qPrintable(QString::number(schedule[index].second.count())));
    }
  }

  void naturalSizeOfAGifIsItsLogicalScreen() {
    PreviewControl control;
    control.ShowGif(OffsetFrameGraphic(false), {});
    QCOMPARE(control.NaturalSize(), QSize(100, 80));
    control.SetAutoSize(true);
    QCOMPARE(control.size(), QSize(100, 80));
  }
};

QTEST_MAIN(GifPaintTest)
#include "gif_paint_test.moc"
