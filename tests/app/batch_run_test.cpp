#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QStatusBar>
#include <QtTest>
#include <filesystem>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/main_window.h"
#include "app/path_list.h"
#include "fault_support.h"
#include "images.h"
#include "modal.h"
#include "run_control.h"
#include "window_controls.h"
#include "workspace.h"

using namespace mirelay;
using namespace mirelay::testing_support;

namespace {

constexpr char kWriteBmpUnderJpgNames[] = "JPEGQuality=1\n";

QStringList FilesIn(const Workspace& workspace, const char* folder) {
  QStringList names =
      QDir(QString::fromStdString(workspace.Path(folder))).entryList(QDir::Files | QDir::Hidden);
  names.sort();
  return names;
}

// The names of the first `count` pairs in the order the run takes them: each base of the list with
// each part, in the order the folders listed them.
QStringList FirstPairNames(const WindowControls& controls, int count) {
  QStringList names;
  for (int base = 0; base < controls.baseList->count(); ++base) {
    for (int part = 0; part < controls.partList->count(); ++part) {
      const auto stem = [](const QListWidget* list, int row) {
        return QFileInfo(QString::fromStdString(PathListEntry(list, row))).completeBaseName();
      };
      names << stem(controls.baseList, base) + stem(controls.partList, part) + ".jpg";
    }
  }
  names = names.mid(0, count);
  names.sort();
  return names;
}

// A window over a workspace with the given bases, parts and lines of the settings file's main
// section, listed by Input, running its batches on one worker unless a test says otherwise.
struct BatchFixture {
  BatchFixture(const QStringList& bases, const QStringList& parts,
               const std::string& settings = kWriteBmpUnderJpgNames) {
    workspace.MakeFolders();
    workspace.Write("mirelay.ini", "[Main]\n" + settings);
    for (const QString& name : bases) {
      WriteBmp(workspace.Path("base/" + name.toStdString()),
               SolidPicture(4, 3, {10, 20, 30}, {10, 20, 30}));
    }
    for (const QString& name : parts) {
      WriteBmp(workspace.Path("part/" + name.toStdString()),
               SolidPicture(2, 2, {200, 100, 0}, {0, 0, 0}));
    }
    window = std::make_unique<MainWindow>(workspace.Executable());
    controls = std::make_unique<WindowControls>(*window);
    window->setOpenFolder([this](const QUrl& folder) { opened << folder.toLocalFile(); });
    window->setBatchWorkers(1);
    controls->input->trigger();
  }

  // Starts an output command and waits for its run to end.
  void Run(QAction* command) {
    command->trigger();
    QVERIFY(WaitForRunToEnd(*window));
  }

  Workspace workspace;
  std::unique_ptr<MainWindow> window;
  std::unique_ptr<WindowControls> controls;
  QStringList opened;
};

}  // namespace

class BatchRunTest : public QObject {
  Q_OBJECT

 private slots:
  void namesFollowSeparatorAndOrder_data() {
    QTest::addColumn<int>("nameOrder");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<int>("workers");
    QTest::addColumn<QStringList>("expected");
    const QStringList baseFirst({"a_x.jpg", "a_y.jpg", "b_x.jpg", "b_y.jpg"});
    QTest::newRow("base first") << 1 << "_" << 1 << baseFirst;
    QTest::newRow("base first, 3 workers") << 1 << "_" << 3 << baseFirst;
    QTest::newRow("part first") << 2 << "_" << 1
                                << QStringList({"x_a.jpg", "x_b.jpg", "y_a.jpg", "y_b.jpg"});
    QTest::newRow("empty separator")
        << 1 << "" << 1 << QStringList({"ax.jpg", "ay.jpg", "bx.jpg", "by.jpg"});
  }

  void namesFollowSeparatorAndOrder() {
    QFETCH(int, nameOrder);
    QFETCH(QString, separator);
    QFETCH(int, workers);
    QFETCH(QStringList, expected);
    BatchFixture fixture({"a.bmp", "b.bmp"}, {"x.bmp", "y.bmp"},
                         std::string(kWriteBmpUnderJpgNames) +
                             "NameOrder=" + std::to_string(nameOrder) +
                             "\nSeperator=" + separator.toStdString() + "\n");
    fixture.window->setBatchWorkers(workers);
    fixture.Run(fixture.controls->outputJpeg);
    QCOMPARE(FilesIn(fixture.workspace, "out"), expected);
    QCOMPARE(fixture.opened, QStringList({QString::fromStdString(fixture.workspace.Path("out/"))}));
  }

  // While a pair's worker is held, the GUI thread keeps serving its own timers.
  void theEventLoopRunsWhileAPairIsInProgress() {
    BatchFixture fixture({"a.bmp"}, {"x.bmp", "y.bmp"});
    PairGate gate(*fixture.window, 1);
    int ticksWhileBusy = 0;
    QTimer ticker;
    ticker.setInterval(10);
    connect(&ticker, &QTimer::timeout, [&] { ticksWhileBusy += fixture.window->isBusy() ? 1 : 0; });
    ticker.start();
    fixture.controls->outputJpeg->trigger();
    QVERIFY(gate.WaitUntilReached());
    QVERIFY(QTest::qWaitFor([&] { return ticksWhileBusy >= 5; }, 10000));
    gate.Release();
    QVERIFY(WaitForRunToEnd(*fixture.window));
    QCOMPARE(FilesIn(fixture.workspace, "out").size(), 2);
  }

  void eachFileHoldsItsComposite() {
    BatchFixture fixture({"a.bmp"}, {"x.bmp"});
    fixture.Run(fixture.controls->outputJpeg);
    Bitmap written;
    QCOMPARE(LoadImageToBitmap(fixture.workspace.Path("out/ax.jpg"), written), kFormatBmp);
    ConvertTo24Bit(written);
    QCOMPARE(written.Width(), 4);
    QCOMPARE(PixelOf(written, 0, 0), (Bgr{10, 20, 30}));   // the key pixel leaves the base
    QCOMPARE(PixelOf(written, 1, 1), (Bgr{200, 100, 0}));  // other part pixels replace it
    QCOMPARE(PixelOf(written, 3, 2), (Bgr{10, 20, 30}));   // outside the part
  }

  void progressNamesTheLatestPairStartedOfAll() {
    BatchFixture fixture({"1.bmp", "2.bmp", "3.bmp", "4.bmp", "5.bmp"},
                         {"w.bmp", "x.bmp", "y.bmp", "z.bmp"});
    PairGate gate(*fixture.window, 10);
    fixture.controls->outputJpeg->trigger();
    QVERIFY(gate.WaitUntilReached());
    SeenBox seen;
    AcceptNextMessageBox(seen);
    fixture.controls->progress->trigger();
    QCOMPARE(seen.text, QString("10/20"));
    QCOMPARE(seen.title, QString("Mirelay"));
    QCOMPARE(seen.icon, QMessageBox::NoIcon);
    auto* bar = fixture.window->statusBar()->findChild<QProgressBar*>();
    QVERIFY(fixture.window->statusBar()->isVisibleTo(fixture.window.get()));
    QTRY_COMPARE(bar->text(), QString("10 / 20"));
  }

  void abortFinishesThePairInFlightOnly() {
    BatchFixture fixture({"a.bmp", "b.bmp"}, {"x.bmp", "y.bmp"});
    PairGate gate(*fixture.window, 3);
    fixture.controls->outputJpeg->trigger();
    QVERIFY(gate.WaitUntilReached());
    fixture.controls->abort->trigger();
    gate.Release();
    QVERIFY(WaitForRunToEnd(*fixture.window));
    QCOMPARE(gate.Finished(), 3);
    QCOMPARE(FilesIn(fixture.workspace, "out"), FirstPairNames(*fixture.controls, 3));
    QVERIFY(!fixture.controls->abort->isEnabled());
    QCOMPARE(fixture.opened.size(), 1);
  }

  void commandsThatWouldDisturbTheRunAreOffAndTheBarShowsOnlyWhileBusy() {
    BatchFixture fixture({"a.bmp"}, {"x.bmp", "y.bmp"});
    fixture.window->show();
    const QSize restingClient = fixture.window->centralWidget()->size();
    QVERIFY(!fixture.window->statusBar()->isVisible());
    {
      PairGate gate(*fixture.window, 1);
      fixture.controls->outputJpeg->trigger();
      QVERIFY(gate.WaitUntilReached());
      QVERIFY(!fixture.controls->input->isEnabled());
      QVERIFY(!fixture.controls->outputPng->isEnabled());
      QVERIFY(!fixture.controls->outputJpeg->isEnabled());
      QVERIFY(fixture.controls->quality->isEnabled() && fixture.controls->progress->isEnabled());
      QVERIFY(fixture.window->statusBar()->isVisible());
      // A nested run must not start, even when its handler is reached with the command off.
      QVERIFY(QMetaObject::invokeMethod(fixture.window.get(), "onOutputPng"));
      fixture.window->close();  // nor may the window close
      QVERIFY(fixture.window->isVisible());
    }
    QVERIFY(!fixture.window->isBusy());
    QCOMPARE(FilesIn(fixture.workspace, "out"), QStringList({"ax.jpg", "ay.jpg"}));
    QVERIFY(fixture.controls->input->isEnabled() && fixture.controls->outputPng->isEnabled());
    QVERIFY(!fixture.window->statusBar()->isVisible());
    QTRY_COMPARE(fixture.window->centralWidget()->size(), restingClient);
  }

  void aSeparatorChangedDuringTheRunNamesTheNextPairsOnly() {
    BatchFixture fixture({"a.bmp", "b.bmp"}, {"x.bmp"});
    {
      PairGate gate(*fixture.window, 1);
      fixture.controls->outputJpeg->trigger();
      QVERIFY(gate.WaitUntilReached());
      AnswerNextInputBox("-");
      fixture.controls->separator->trigger();
    }
    const QStringList written = FilesIn(fixture.workspace, "out");
    // The folder's own order decides which base came first; only the second takes "-".
    QVERIFY2(written == QStringList({"a-x.jpg", "bx.jpg"}) ||
                 written == QStringList({"ax.jpg", "b-x.jpg"}),
             qPrintable(written.join(' ')));
  }

  void aFailedWriteEndsTheRunOnceAndReturnsToIdle() {
    BatchFixture fixture({"a.bmp", "b.bmp"}, {"x.bmp", "y.bmp"});
    MessageBoxRecorder boxes;
    fixture.window->show();
    {
      PairGate gate(*fixture.window, 1);
      fixture.controls->outputJpeg->trigger();
      QVERIFY(gate.WaitUntilReached());
      std::filesystem::remove_all(fixture.workspace.Path("out"));
    }
    QTRY_COMPARE(boxes.texts.size(), 1);
    const QString text = boxes.texts[0];
    QVERIFY(text.startsWith(QString::fromStdString("ファイル " + fixture.workspace.Path("out/"))));
    QVERIFY(text.endsWith(".jpg を作成できません."));
    QVERIFY(fixture.opened.isEmpty());
    fixture.window->close();
    QVERIFY(!fixture.window->isVisible());
  }

  void pairsWithUndecodableInputsWriteNothing() {
    BatchFixture fixture({"a.bmp"}, {"x.bmp"});
    fixture.workspace.Write("base/broken.bmp", "BM not really a bitmap");
    fixture.controls->input->trigger();
    fixture.Run(fixture.controls->outputJpeg);
    QCOMPARE(FilesIn(fixture.workspace, "out"), QStringList({"ax.jpg"}));
  }

  // Without xdg-open Qt would only warn on stderr; the window names out/ and stays usable.
  void withoutALauncherANoteNamesTheOutputFolder() {
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", "/nonexistent");
    Workspace workspace;
    workspace.MakeFolders();
    WriteBmp(workspace.Path("base/a.bmp"), SolidPicture(4, 3, {10, 20, 30}, {10, 20, 30}));
    WriteBmp(workspace.Path("part/x.bmp"), SolidPicture(2, 2, {200, 100, 0}, {0, 0, 0}));
    MainWindow window(workspace.Executable());
    const WindowControls controls(window);
    window.show();
    controls.input->trigger();
    controls.outputJpeg->trigger();
    QVERIFY(WaitForRunToEnd(window));
    qputenv("PATH", path);
    auto* note = window.findChild<QMessageBox*>("note");
    QVERIFY(note != nullptr);
    QVERIFY(note->isVisible() && !note->isModal());
    QCOMPARE(note->text(),
             QString::fromStdString("出力したファイルのフォルダ: " + workspace.Path("out/")));
    QVERIFY(controls.input->isEnabled());
  }

  void nothingWrittenMeansNoFolderIsOpened() {
    BatchFixture empty({}, {"x.bmp"});
    empty.Run(empty.controls->outputJpeg);
    QVERIFY(empty.opened.isEmpty());
    BatchFixture tooHigh({"a.bmp"}, {"x.bmp"}, "JPEGQuality=101\n");
    tooHigh.Run(tooHigh.controls->outputJpeg);
    QVERIFY(FilesIn(tooHigh.workspace, "out").isEmpty());
    QVERIFY(tooHigh.opened.isEmpty());
  }

  // The box refuses such a separator, but a settings file may hold one.
  void aSeparatorLeavingTheOutputFolderStopsTheRunBeforeItStarts() {
    BatchFixture fixture({"a.bmp"}, {"x.bmp"}, "Seperator=/../elsewhere/\n");
    fixture.workspace.MakeFolders({"elsewhere"});
    MessageBoxRecorder boxes;
    fixture.Run(fixture.controls->outputPng);
    QTRY_COMPARE(boxes.texts,
                 QStringList({"区切り文字に / は使えません。区切り文字を設定し直してください。"}));
    QVERIFY(FilesIn(fixture.workspace, "out").isEmpty());
    QVERIFY(FilesIn(fixture.workspace, "elsewhere").isEmpty());
    QVERIFY(fixture.opened.isEmpty());
  }

  void workersComeFromTheCommandLine() {
    using Arguments = std::vector<std::string>;
    const auto run = [](Arguments arguments) {
      arguments.insert(arguments.begin(), "mirelay");
      return ParseCommandLine(arguments);
    };
    QVERIFY(run({})->batchWorkers >= 1);
    QCOMPARE(run({"--jobs", "3"})->batchWorkers, 3u);
    QCOMPARE(run({"--jobs=5"})->batchWorkers, 5u);
    QCOMPARE(run({})->workspace, std::string());
    QCOMPARE(run({"--workspace", "ホーム/pics"})->workspace, std::string("ホーム/pics"));
    // A Shift-JIS folder name reaches the program byte for byte.
    QCOMPARE(run({"--workspace=\x83z\x81[\x83\x80"})->workspace, std::string("\x83z\x81[\x83\x80"));
    for (const Arguments& refused :
         {Arguments{"--jobs", "0"}, Arguments{"--jobs", "x"}, Arguments{"--jobs", "2x"},
          Arguments{"--jobs"}, Arguments{"--other"}, Arguments{"stray"}, Arguments{"--workspace="},
          Arguments{"--workspace"}}) {
      QVERIFY2(!run(refused), refused.front().c_str());
    }
  }
};

QTEST_MAIN(BatchRunTest)
#include "batch_run_test.moc"
