#include <QLabel>
#include <QListWidget>
#include <QtTest>
#include <filesystem>

#include "app/main_window.h"
#include "app/preview_control.h"
#include "images.h"
#include "modal.h"
#include "tests/imaging/png/png_chunk_writer.h"
#include "window_controls.h"
#include "workspace.h"

using namespace mirelay;
using namespace mirelay::testing_support;

namespace {

struct PreviewFixture {
  PreviewFixture() {
    workspace.MakeFolders();
    WriteBmp(workspace.Path("base/sky.bmp"), SolidPicture(6, 4, {255, 0, 0}, {255, 0, 0}));
    WriteBmp(workspace.Path("part/tree.bmp"), SolidPicture(3, 3, {0, 255, 0}, {0, 0, 0}));
    window = std::make_unique<MainWindow>(workspace.Executable());
    controls = std::make_unique<WindowControls>(*window);
    window->show();
    controls->input->trigger();
  }

  QRgb Shown(int x, int y) const { return controls->preview->Picture().pixel(x, y); }
  PreviewControl& Preview() const { return *controls->preview; }

  Workspace workspace;
  std::unique_ptr<MainWindow> window;
  std::unique_ptr<WindowControls> controls;
};

}  // namespace

class PreviewClickTest : public QObject {
  Q_OBJECT

 private slots:
  void partAloneThenBaseAloneThenTheComposite() {
    PreviewFixture fixture;
    ClickRow(fixture.controls->partList, 0);
    QCOMPARE(fixture.Preview().NaturalSize(), QSize(3, 3));
    ClickRow(fixture.controls->baseList, 0);
    QCOMPARE(fixture.Preview().NaturalSize(), QSize(6, 4));
    QCOMPARE(fixture.Shown(1, 1), qRgb(0, 0, 255));
    ClickRow(fixture.controls->partList, 0);
    QCOMPARE(fixture.Preview().NaturalSize(), QSize(6, 4));
    QCOMPARE(fixture.Shown(0, 0), qRgb(0, 0, 255));  // the key pixel shows the base
    QCOMPARE(fixture.Shown(1, 1), qRgb(0, 255, 0));
    QCOMPARE(fixture.Shown(4, 1), qRgb(0, 0, 255));
    QCOMPARE(fixture.Preview().size(), QSize(6, 4));
  }

  void aFileThatFailsToDecodeLeavesThePreview() {
    PreviewFixture fixture;
    ClickRow(fixture.controls->baseList, 0);
    fixture.workspace.Write("base/sky.bmp", "BM broken");
    ClickRow(fixture.controls->baseList, 0);
    QCOMPARE(fixture.Preview().NaturalSize(), QSize(6, 4));
    ClickRow(fixture.controls->partList, 0);
    // No composite from a broken base.
    QCOMPARE(fixture.Preview().NaturalSize(), QSize(6, 4));
  }

  // The hint follows the previewed part; the mode, once on, lays the part on by its alpha.
  void anAlphaPartShowsTheHintUntilTheModeLaysItOn() {
    PreviewFixture fixture;
    testing_support::PngChunkWriter png;
    png.Ihdr(2, 1, 8, 6).Idat(testing_support::Deflate({0, 0, 255, 0, 128, 200, 0, 0, 0})).Iend();
    fixture.workspace.Write("part/glass.png", std::string(png.bytes().begin(), png.bytes().end()));
    fixture.controls->input->trigger();
    auto* hint = fixture.window->findChild<QLabel*>("alphaHint");
    QVERIFY(hint != nullptr);
    auto* parts = fixture.controls->partList;
    ClickRow(parts, RowNamed(parts, "glass.png"));
    QVERIFY(hint->isVisible());
    ClickRow(parts, RowNamed(parts, "tree.bmp"));
    QVERIFY(!hint->isVisible());
    ClickRow(fixture.controls->baseList, 0);
    ClickRow(parts, RowNamed(parts, "glass.png"));
    QVERIFY(hint->isVisible());
    QCOMPARE(fixture.Shown(0, 0), qRgb(0, 0, 255));  // the key colour
    QCOMPARE(fixture.Shown(1, 0), qRgb(200, 0, 0));
    fixture.controls->alphaBlend->trigger();
    QVERIFY(fixture.window->settings().alphaBlend);
    QVERIFY(!hint->isVisible());
    QCOMPARE(fixture.Shown(0, 0), qRgb(0, 128, 127));
    QCOMPARE(fixture.Shown(1, 0), qRgb(0, 0, 255));  // alpha 0 keeps the base
    fixture.window->close();
    QVERIFY(fixture.workspace.Read("mirelay.ini").find("AlphaBlend=1\n") != std::string::npos);
  }

  void aVanishedFileIsIgnored() {
    PreviewFixture fixture;
    std::filesystem::remove(fixture.workspace.Path("part/tree.bmp"));
    ClickRow(fixture.controls->partList, 0);
    QVERIFY(fixture.Preview().Picture().isNull());
  }
};

QTEST_MAIN(PreviewClickTest)
#include "preview_click_test.moc"
