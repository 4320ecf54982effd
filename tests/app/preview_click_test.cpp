#include <QListWidget>
#include <QtTest>
#include <filesystem>

#include "app/main_window.h"
#include "app/preview_control.h"
#include "images.h"
#include "modal.h"
#include "workspace.h"

using namespace mirelay;
using namespace mirelay::testing_support;

namespace {

struct PreviewFixture {
  PreviewFixture() {
    workspace.MakeFolders();
    WriteBmp(workspace.Path("base/sky.bmp"), SolidPicture(6, 4, {255, 0, 0}, {255, 0, 0}));
    WriteBmp(workspace.Path("part/tree.bmp"), SolidPicture(3, 3, {0, 255, 0}, {0, 0, 0}));
    form = std::make_unique<TForm1>(workspace.Executable());
    form->show();
    form->SearchFolder1Click();
  }

  void Select(QListWidget* list, int row) {
    list->setCurrentRow(row);
    list == form->List1 ? form->List1Click() : form->List2Click();
  }

  QRgb Shown(int x, int y) const { return form->Image1->Picture().pixel(x, y); }

  Workspace workspace;
  std::unique_ptr<TForm1> form;
};

}  // namespace

class PreviewClickTest : public QObject {
  Q_OBJECT

 private slots:
  void partAloneThenBaseAloneThenTheComposite() {
    PreviewFixture fixture;
    fixture.Select(fixture.form->List2, 0);
    QCOMPARE(fixture.form->Image1->NaturalSize(), QSize(3, 3));
    fixture.Select(fixture.form->List1, 0);
    QCOMPARE(fixture.form->Image1->NaturalSize(), QSize(6, 4));
    QCOMPARE(fixture.Shown(1, 1), qRgb(0, 0, 255));
    fixture.Select(fixture.form->List2, 0);
    QCOMPARE(fixture.form->Image1->NaturalSize(), QSize(6, 4));
    QCOMPARE(fixture.Shown(0, 0), qRgb(0, 0, 255));  // the key pixel shows the base
    QCOMPARE(fixture.Shown(1, 1), qRgb(0, 255, 0));
    QCOMPARE(fixture.Shown(4, 1), qRgb(0, 0, 255));
    QCOMPARE(fixture.form->Image1->size(), QSize(6, 4));
  }

  void aFileThatFailsToDecodeLeavesThePreview() {
    PreviewFixture fixture;
    fixture.Select(fixture.form->List1, 0);
    fixture.workspace.Write("base/sky.bmp", "BM broken");
    fixture.Select(fixture.form->List1, 0);
    QCOMPARE(fixture.form->Image1->NaturalSize(), QSize(6, 4));
    fixture.Select(fixture.form->List2, 0);
    // No composite from a broken base.
    QCOMPARE(fixture.form->Image1->NaturalSize(), QSize(6, 4));
  }

  void aVanishedFileIsIgnored() {
    PreviewFixture fixture;
    std::filesystem::remove(fixture.workspace.Path("part/tree.bmp"));
    fixture.Select(fixture.form->List2, 0);
    QVERIFY(fixture.form->Image1->Picture().isNull());
  }
};

QTEST_MAIN(PreviewClickTest)
#include "preview_click_test.moc"
