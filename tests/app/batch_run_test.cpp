#include <QAction>
#include <QDir>
#include <QListWidget>
#include <QtTest>
#include <filesystem>

#include "app/main_form.h"
#include "images.h"
#include "modal.h"
#include "workspace.h"

using namespace mirelay;
using namespace mirelay::testing_support;

namespace {

constexpr std::int32_t kWriteBmpUnderJpgNames = 1;

QStringList FilesIn(const Workspace& workspace, const char* folder) {
  QStringList names =
      QDir(QString::fromStdString(workspace.Path(folder))).entryList(QDir::Files | QDir::Hidden);
  names.sort();
  return names;
}

// A form over a workspace with the given bases and parts, listed by Input.
struct BatchFixture {
  explicit BatchFixture(const QStringList& bases, const QStringList& parts) {
    workspace.MakeFolders();
    for (const QString& name : bases) {
      WriteBmp(workspace.Path("base/" + name.toStdString()),
               SolidPicture(4, 3, {10, 20, 30}, {10, 20, 30}));
    }
    for (const QString& name : parts) {
      WriteBmp(workspace.Path("part/" + name.toStdString()),
               SolidPicture(2, 2, {200, 100, 0}, {0, 0, 0}));
    }
    form = std::make_unique<TForm1>(workspace.Executable());
    form->openFolder = [this](const QString& folder) { opened << folder; };
    form->pumpMessages = [this] {
      ++pairsDone;
      if (onPair) onPair(pairsDone);
    };
    form->settings.JPEGQuality = kWriteBmpUnderJpgNames;
    form->SearchFolder1->trigger();
  }

  Workspace workspace;
  std::unique_ptr<TForm1> form;
  QStringList opened;
  int pairsDone = 0;
  std::function<void(int)> onPair;
};

}  // namespace

class BatchRunTest : public QObject {
  Q_OBJECT

 private slots:
  void namesFollowSeparatorAndOrder_data() {
    QTest::addColumn<int>("nameOrder");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("base first") << 1 << "_"
                                << QStringList({"a_x.jpg", "a_y.jpg", "b_x.jpg", "b_y.jpg"});
    QTest::newRow("part first") << 2 << "_"
                                << QStringList({"x_a.jpg", "x_b.jpg", "y_a.jpg", "y_b.jpg"});
    QTest::newRow("empty separator")
        << 1 << "" << QStringList({"ax.jpg", "ay.jpg", "bx.jpg", "by.jpg"});
  }

  void namesFollowSeparatorAndOrder() {
    QFETCH(int, nameOrder);
    QFETCH(QString, separator);
    QFETCH(QStringList, expected);
    BatchFixture fixture({"a.bmp", "b.bmp"}, {"x.bmp", "y.bmp"});
    fixture.form->settings.NameOrder = nameOrder;
    fixture.form->settings.Seperator = separator.toStdString();
    fixture.form->Mergejpg1->trigger();
    QCOMPARE(FilesIn(fixture.workspace, "out"), expected);
    QCOMPARE(fixture.pairsDone, 4);
    QCOMPARE(fixture.opened, QStringList({QString::fromStdString(fixture.workspace.Path("out/"))}));
    QVERIFY(!fixture.form->Busy());
  }

  void eachFileHoldsItsComposite() {
    BatchFixture fixture({"a.bmp"}, {"x.bmp"});
    fixture.form->Mergejpg1->trigger();
    Bitmap written;
    QCOMPARE(LoadImageToBitmap(fixture.workspace.Path("out/ax.jpg"), written), kFormatBmp);
    ConvertTo24Bit(written);
    QCOMPARE(written.Width(), 4);
    QCOMPARE(PixelOf(written, 0, 0), (Bgr{10, 20, 30}));   // the key pixel leaves the base
    QCOMPARE(PixelOf(written, 1, 1), (Bgr{200, 100, 0}));  // other part pixels replace it
    QCOMPARE(PixelOf(written, 3, 2), (Bgr{10, 20, 30}));   // outside the part
  }

  void progressCountsPairsDoneOfAll() {
    BatchFixture fixture({"1.bmp", "2.bmp", "3.bmp", "4.bmp", "5.bmp"},
                         {"w.bmp", "x.bmp", "y.bmp", "z.bmp"});
    SeenBox seen;
    fixture.onPair = [&](int done) {
      if (done != 10) return;
      AcceptNextMessageBox(seen);
      fixture.form->progress1->trigger();
    };
    fixture.form->Mergejpg1->trigger();
    QVERIFY(seen.shown);
    QCOMPARE(seen.text, QString("10/20"));
    QCOMPARE(seen.title, QString("Mirelay"));
    QCOMPARE(seen.icon, QMessageBox::NoIcon);
  }

  void abortFinishesTheCurrentPairOnly() {
    BatchFixture fixture({"a.bmp", "b.bmp"}, {"x.bmp", "y.bmp"});
    fixture.onPair = [&](int done) {
      if (done == 3) fixture.form->abort1->trigger();
    };
    fixture.form->Mergejpg1->trigger();
    QCOMPARE(fixture.pairsDone, 3);
    QCOMPARE(FilesIn(fixture.workspace, "out").size(), 3);
    QVERIFY(!fixture.form->Busy());
    QVERIFY(!fixture.form->abort1->isEnabled());
    QCOMPARE(fixture.opened.size(), 1);
  }

  void commandsThatWouldDisturbTheRunAreOff() {
    BatchFixture fixture({"a.bmp"}, {"x.bmp", "y.bmp"});
    fixture.onPair = [&](int) {
      QVERIFY(!fixture.form->SearchFolder1->isEnabled());
      QVERIFY(!fixture.form->Merge1->isEnabled());
      QVERIFY(!fixture.form->Mergejpg1->isEnabled());
      QVERIFY(fixture.form->JQ1->isEnabled() && fixture.form->progress1->isEnabled());
      fixture.form->MergePNGClick();  // a nested run must not start
      fixture.form->close();          // nor may the window close
    };
    fixture.form->show();
    fixture.form->Mergejpg1->trigger();
    QCOMPARE(fixture.pairsDone, 2);
    QVERIFY(fixture.form->isVisible());
    QVERIFY(fixture.form->SearchFolder1->isEnabled() && fixture.form->Merge1->isEnabled());
  }

  void settingsChangedDuringTheRunApplyFromTheNextPair() {
    BatchFixture fixture({"a.bmp"}, {"x.bmp", "y.bmp"});
    fixture.onPair = [&](int done) {
      if (done == 1) fixture.form->settings.Seperator = "-";
    };
    fixture.form->Mergejpg1->trigger();
    // The folder's own order decides which part came first; either way only the second pair
    // takes the new separator.
    const QStringList written = FilesIn(fixture.workspace, "out");
    QVERIFY(written == QStringList({"a-y.jpg", "ax.jpg"}) ||
            written == QStringList({"a-x.jpg", "ay.jpg"}));
  }

  void aFailedWriteEndsTheRunOnceAndReturnsToIdle() {
    BatchFixture fixture({"a.bmp", "b.bmp"}, {"x.bmp", "y.bmp"});
    fixture.onPair = [&](int done) {
      if (done == 1) std::filesystem::remove_all(fixture.workspace.Path("out"));
    };
    int reports = 0;
    QString text;
    std::function<void()> watch = [&] {
      OnNextModal([&](QWidget* modal) {
        ++reports;
        text = static_cast<QMessageBox*>(modal)->text();
        static_cast<QMessageBox*>(modal)->accept();
      });
    };
    watch();
    fixture.form->show();
    fixture.form->Mergejpg1->trigger();
    QCOMPARE(reports, 1);
    QVERIFY(text.startsWith(QString::fromStdString("ファイル " + fixture.workspace.Path("out/"))));
    QVERIFY(text.endsWith(".jpg を作成できません."));
    QCOMPARE(fixture.pairsDone, 1);
    QVERIFY(!fixture.form->Busy());
    QVERIFY(fixture.opened.isEmpty());
    fixture.form->close();
    QVERIFY(!fixture.form->isVisible());
  }

  void pairsWithUndecodableInputsWriteNothing() {
    BatchFixture fixture({"a.bmp"}, {"x.bmp"});
    fixture.workspace.Write("base/broken.bmp", "BM not really a bitmap");
    fixture.form->SearchFolder1->trigger();
    fixture.form->Mergejpg1->trigger();
    QCOMPARE(FilesIn(fixture.workspace, "out"), QStringList({"ax.jpg"}));
  }

  void nothingWrittenMeansNoFolderIsOpened() {
    BatchFixture empty({}, {"x.bmp"});
    empty.form->Mergejpg1->trigger();
    QVERIFY(empty.opened.isEmpty());
    BatchFixture tooHigh({"a.bmp"}, {"x.bmp"});
    tooHigh.form->settings.JPEGQuality = 101;
    tooHigh.form->Mergejpg1->trigger();
    QVERIFY(FilesIn(tooHigh.workspace, "out").isEmpty());
    QVERIFY(tooHigh.opened.isEmpty());
  }
};

QTEST_MAIN(BatchRunTest)
#include "batch_run_test.moc"
