#include <QtTest>

#include "app/main_window.h"
#include "app/preview_control.h"
#include "images.h"
#include "window_controls.h"
#include "workspace.h"

using namespace mirelay;
using namespace mirelay::testing_support;

namespace {

// The shown window with a base picture of the given size listed and clicked.
struct ShownPicture {
  explicit ShownPicture(QSize picture) {
    workspace.MakeFolders();
    WriteBmp(workspace.Path("base/picture.bmp"),
             SolidPicture(picture.width(), picture.height(), {1, 2, 3}, {1, 2, 3}));
    window.show();
    controls.input->trigger();
  }

  Workspace workspace;
  MainWindow window{workspace.Executable()};
  const WindowControls controls{window};
};

}  // namespace

class PreviewFitTest : public QObject {
  Q_OBJECT

 private slots:
  void picturesFitTheFreeSpace_data() {
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("shown");
    QTest::addColumn<bool>("stretched");
    QTest::newRow("fits: natural size, even too tall")
        << QSize(600, 900) << QSize(600, 900) << false;
    QTest::newRow("exactly the free width") << QSize(645, 10) << QSize(645, 10) << false;
    QTest::newRow("wider: scaled to the width") << QSize(1290, 400) << QSize(645, 200) << true;
    QTest::newRow("then to the height") << QSize(1290, 2000) << QSize(397, 616) << true;
  }

  void picturesFitTheFreeSpace() {
    QFETCH(QSize, picture);
    QFETCH(QSize, shown);
    QFETCH(bool, stretched);
    ShownPicture fixture(picture);
    QCOMPARE(fixture.controls.preview->x(), 644);
    ClickRow(fixture.controls.baseList, 0);
    QCOMPARE(fixture.controls.preview->size(), shown);
    QCOMPARE(fixture.controls.preview->Stretch(), stretched);
  }

  void resizingRefitsTheCurrentPicture() {
    ShownPicture fixture(QSize(1290, 400));
    ClickRow(fixture.controls.baseList, 0);
    fixture.window.resize(1000, fixture.window.height());
    QCoreApplication::processEvents();
    QCOMPARE(fixture.controls.preview->pos(), QPoint(500, 0));
    QCOMPARE(fixture.controls.preview->size(), QSize(500, 155));
  }

  void bitmapsAreDrawnOpaque() {
    Bitmap picture(PixelFormat::kBits24, 2, 1);
    picture.RowPointer(0)[3] = 200;  // blue of the second pixel
    picture.transparency = {true, {200, 0, 0, 0}, -1};
    const QImage image = ToQImage(picture);
    QVERIFY(!image.hasAlphaChannel());
    QCOMPARE(image.pixel(1, 0), qRgb(0, 0, 200));
  }
};

QTEST_MAIN(PreviewFitTest)
#include "preview_fit_test.moc"
