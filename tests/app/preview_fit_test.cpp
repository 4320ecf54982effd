#include <QtTest>

#include "app/main_window.h"
#include "app/preview_control.h"
#include "workspace.h"

using namespace mirelay;
using namespace mirelay::testing_support;

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
    Workspace workspace;
    TForm1 form(workspace.Executable());
    form.show();
    QCOMPARE(form.Image1->x(), 644);
    form.Image1->ShowBitmap(Bitmap(PixelFormat::kBits24, picture.width(), picture.height()));
    form.FitPreview();
    QCOMPARE(form.Image1->size(), shown);
    QCOMPARE(form.Image1->Stretch(), stretched);
  }

  void resizingRefitsTheCurrentPicture() {
    Workspace workspace;
    TForm1 form(workspace.Executable());
    form.show();
    form.Image1->ShowBitmap(Bitmap(PixelFormat::kBits24, 1290, 400));
    form.FitPreview();
    form.resize(1000, form.height());
    QCoreApplication::processEvents();
    QCOMPARE(form.Image1->pos(), QPoint(500, 0));
    QCOMPARE(form.Image1->size(), QSize(500, 155));
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
