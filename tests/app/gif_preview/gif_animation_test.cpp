#include <QtTest>
#include <memory>

#include "app/gif_preview/gif_graphic.h"
#include "app/gif_preview/gif_painter.h"
#include "app/preview_control.h"
#include "tests/app/gif_preview/gif_frames.h"

using namespace mirelay;
using namespace mirelay::testing_support;

namespace {

const QColor kBehind(200, 200, 200);

// Fast enough that every wait rounds to nothing.
GifPaintSettings NoWait() {
  GifPaintSettings settings;
  settings.animationSpeed = 100000;
  return settings;
}

std::shared_ptr<const GifImage> Shared(GifImage image) {
  return std::make_shared<const GifImage>(std::move(image));
}

// Three 1 x 1 frames; `loop` goes into frame `loopFrame` when given.
GifImage ThreeFrames(std::optional<std::uint16_t> loop, std::size_t loopFrame) {
  auto image =
      Screen(1, 1, {Frame(0, 0, 1, 1, {0}), Frame(0, 0, 1, 1, {1}), Frame(0, 0, 1, 1, {2})});
  if (loop) image.frames[loopFrame].extensions.push_back(Loop(*loop));
  return image;
}

QImage DrawOnce(GifGraphic& graphic, QSize size) {
  QImage target(size, QImage::Format_RGB32);
  target.fill(Qt::black);
  QPainter painter(&target);
  graphic.Draw(painter, QRect(QPoint(0, 0), size), kBehind);
  return target;
}

// Counts the frames shown until the painter ends.
QList<int> PlayToEnd(const GifImage& image) {
  GifGraphic graphic(Shared(image), NoWait(), [] {});
  QList<int> shown;
  graphic.SetScheduleHook(
      [&](std::size_t frame, auto) { shown.push_back(static_cast<int>(frame)); });
  DrawOnce(graphic, QSize(image.width, image.height));
  QElapsedTimer timer;
  timer.start();
  while (graphic.Animating() && timer.elapsed() < 5000) QCoreApplication::processEvents();
  return shown;
}

}  // namespace

class GifAnimationTest : public QObject {
  Q_OBJECT

 private slots:
  void loopCountSetsThePasses_data() {
    QTest::addColumn<int>("count");  // -1: no loop extension
    QTest::addColumn<int>("loopFrame");
    QTest::addColumn<QList<int>>("shown");
    QTest::newRow("no loop extension: once") << -1 << 0 << QList<int>{0, 1, 2};
    QTest::newRow("count 1: once") << 1 << 0 << QList<int>{0, 1, 2};
    QTest::newRow("count 3: three passes") << 3 << 0 << QList<int>{0, 1, 2, 0, 1, 2, 0, 1, 2};
    QTest::newRow("later passes start at the loop's frame")
        << 3 << 1 << QList<int>{0, 1, 2, 1, 2, 1, 2};
  }

  void loopCountSetsThePasses() {
    QFETCH(int, count);
    QFETCH(int, loopFrame);
    QFETCH(QList<int>, shown);
    std::optional<std::uint16_t> loop;
    if (count >= 0) loop = static_cast<std::uint16_t>(count);
    QCOMPARE(PlayToEnd(ThreeFrames(loop, loopFrame)), shown);
  }

  void loopCountZeroLoopsUntilDestroyed() {
    auto graphic = std::make_unique<GifGraphic>(Shared(ThreeFrames(0, 0)), NoWait(), [] {});
    std::size_t shown = 0;
    graphic->SetScheduleHook([&](std::size_t, auto) { ++shown; });
    DrawOnce(*graphic, QSize(1, 1));
    QTRY_VERIFY_WITH_TIMEOUT(shown > 30, 5000);
    QVERIFY(graphic->Animating());
    graphic.reset();
    QCOMPARE(GifPainter::LiveThreads(), 0);
  }

  void lastFrameStaysAfterTheLastPass() {
    GifGraphic graphic(Shared(ThreeFrames({}, 0)), NoWait(), [] {});
    DrawOnce(graphic, QSize(1, 1));
    QTRY_VERIFY_WITH_TIMEOUT(!graphic.Animating(), 5000);
    QCOMPARE(DrawOnce(graphic, QSize(1, 1)).pixelColor(0, 0), QColor(0, 0, 255));
  }

  // A red screen, then a green 2 x 1 frame at (1, 0) with the disposal under test, then a
  // blue 1 x 1 frame at (3, 0).
  void disposalRestoresTheFramesArea_data() {
    QTest::addColumn<int>("disposal");
    QTest::addColumn<bool>("transparentDrawing");
    QTest::addColumn<QColor>("restored");
    QTest::newRow("0 leaves it") << 0 << true << QColor(0, 255, 0);
    QTest::newRow("1 leaves it") << 1 << true << QColor(0, 255, 0);
    QTest::newRow("2 to what lay behind at the start") << 2 << true << kBehind;
    QTest::newRow("2 to the background colour") << 2 << false << QColor(255, 0, 255);
    QTest::newRow("3 to what lay under the frame") << 3 << true << QColor(255, 0, 0);
    QTest::newRow("4 leaves it") << 4 << true << QColor(0, 255, 0);
  }

  void disposalRestoresTheFramesArea() {
    QFETCH(int, disposal);
    QFETCH(bool, transparentDrawing);
    QFETCH(QColor, restored);
    auto image = Screen(4, 1,
                        {Frame(0, 0, 4, 1, {0}, {Control(1)}),
                         Frame(1, 0, 2, 1, {1}, {Control(1, static_cast<std::uint8_t>(disposal))}),
                         Frame(3, 0, 1, 1, {2}, {Control(1)})});
    image.backgroundIndex = 3;
    auto settings = NoWait();
    settings.drawOptions.transparent = transparentDrawing;
    GifGraphic graphic(Shared(image), settings, [] {});
    DrawOnce(graphic, QSize(4, 1));
    QTRY_VERIFY_WITH_TIMEOUT(!graphic.Animating(), 5000);
    const QImage shown = DrawOnce(graphic, QSize(4, 1));
    QCOMPARE(shown.pixelColor(0, 0), QColor(255, 0, 0));
    QCOMPARE(shown.pixelColor(1, 0), restored);
    QCOMPARE(shown.pixelColor(2, 0), restored);
    QCOMPARE(shown.pixelColor(3, 0), QColor(0, 0, 255));
  }

  void framesWithoutPicturesNeitherHangNorAnimate() {
    // No colour table at all: frame pictures cannot be made, yet the first paint returns.
    auto noTable = ThreeFrames({}, 0);
    noTable.globalColorTable.clear();
    {
      GifGraphic graphic(Shared(noTable), NoWait(), [] {});
      QCOMPARE(DrawOnce(graphic, QSize(1, 1)).pixelColor(0, 0), kBehind);
    }
    auto noScreen = ThreeFrames({}, 0);
    noScreen.width = 0;
    GifGraphic graphic(Shared(noScreen), NoWait(), [] {});
    DrawOnce(graphic, QSize(1, 1));
    QVERIFY(!graphic.Animating());
  }

  void replacingAndClosingMidAnimationNeverHangs() {
    auto looping = Screen(
        64, 64,
        {Frame(0, 0, 64, 64, {0}, {Control(3, 2, 1), Loop(0)}),
         Frame(8, 8, 32, 32, {1}, {Control(3, 3)}), Frame(16, 16, 32, 32, {2}, {Control(3)})});
    const auto graphic = Shared(looping);
    auto window = std::make_unique<QWidget>();
    window->resize(200, 200);
    auto* control = new PreviewControl(window.get());
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QElapsedTimer timer;
    timer.start();
    for (int round = 0; round < 60; ++round) {
      control->ShowGif(graphic, {});
      control->SetStretch(round % 2 == 0);
      control->resize(64 + round, 64 + round);
      control->repaint();
      QVERIFY(control->Gif()->Animating());
      if (round % 10 == 9) control->Clear();
      QCoreApplication::processEvents();
    }
    control->ShowGif(graphic, {});
    control->repaint();
    QTest::qWait(100);
    window.reset();
    QCOMPARE(GifPainter::LiveThreads(), 0);
    QVERIFY2(timer.elapsed() < 10000, qPrintable(QString::number(timer.elapsed())));
  }
};

QTEST_MAIN(GifAnimationTest)
#include "gif_animation_test.moc"
