// Faults met in the middle of a batch: the output folder vanishing, a full disk, inputs that
// disappear after Input, and file names with spaces, newlines and non-ASCII letters.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QListWidget>
#include <QtTest>
#include <csignal>
#include <filesystem>

#include "app/main_window.h"
#include "app/path_list.h"
#include "app/preview_control.h"
#include "fault_support.h"
#include "imaging/image_lib.h"
#include "run_control.h"
#include "window_controls.h"
#include "workspace.h"

using namespace mirelay;
using namespace mirelay::testing_support;

namespace {

// Two bases and two parts: four pairs, written as a-p.jpg, a-q.jpg, b-p.jpg, b-q.jpg.
void PrepareInputs(const Workspace& workspace) {
  workspace.MakeFolders();
  WriteJpeg(workspace.Path("base/a.jpg"), 64, 1);
  WriteJpeg(workspace.Path("base/b.jpg"), 64, 2);
  WriteJpeg(workspace.Path("part/p.jpg"), 32, 3);
  WriteJpeg(workspace.Path("part/q.jpg"), 32, 4);
  workspace.Write("mirelay.ini", "[Main]\nSeperator=-\n");
}

// The window after Input on one worker, with `fault` run on that worker once the pair numbered
// `faultAfter` (from 1) is done and before the next one starts.
struct Run {
  explicit Run(const Workspace& workspace) : window(workspace.Executable()), controls(window) {
    window.setOpenFolder([this](const QUrl&) { ++foldersOpened; });
    window.setBatchWorkers(1);
    window.setAfterPair([this](const PairOutcome&) {
      if (++pairsDone == faultAfter && fault) fault();
    });
    window.show();
    controls.input->trigger();
  }
  void Output() {
    controls.outputJpeg->trigger();
    QVERIFY(WaitForRunToEnd(window));
  }
  MainWindow window;
  const WindowControls controls;
  std::atomic<int> pairsDone{0};
  int faultAfter = 1;
  int foldersOpened = 0;
  std::function<void()> fault;
};

// The output name of the pair the batch handles as number `pair` (lists are in folder order).
std::string PairName(const Run& run, int pair) {
  const auto stem = [](const std::string& path) {
    return std::filesystem::path(path).stem().string();
  };
  const int parts = run.controls.partList->count();
  return stem(PathListEntry(run.controls.baseList, pair / parts)) + "-" +
         stem(PathListEntry(run.controls.partList, pair % parts)) + ".jpg";
}

void VerifyIdleAndClosable(Run& run) {
  QVERIFY(!run.window.isBusy());
  QVERIFY(run.controls.input->isEnabled() && run.controls.outputPng->isEnabled());
  QVERIFY(!run.controls.abort->isEnabled());
  run.window.close();
  QVERIFY(!run.window.isVisible());
}

}  // namespace

class BatchFaultsTest : public QObject {
  Q_OBJECT

 private slots:
  // As root, permission bits do not stop a write, so a plain file takes the folder's place.
  void outputFolderReplacedByAFileMidRunEndsTheRunCleanly() {
    Workspace workspace;
    PrepareInputs(workspace);
    Run run(workspace);
    run.faultAfter = 2;
    run.fault = [&] {
      std::filesystem::remove_all(workspace.Path("out"));
      workspace.Write("out", "not a folder");
    };
    MessageBoxRecorder boxes;
    run.Output();
    QCOMPARE(run.pairsDone.load(), 3);
    QCOMPARE(boxes.texts,
             QStringList({QString::fromStdString("ファイル " + workspace.Path("out/") +
                                                 PairName(run, 2) + " を作成できません.")}));
    QCOMPARE(workspace.Read("out"), std::string("not a folder"));
    QVERIFY(LeftoverTemporaries(workspace.Path("")).empty());
    VerifyIdleAndClosable(run);
  }

  void readOnlyOutputFolderEndsTheRunWhenPermissionsApply() {
    if (::geteuid() == 0) QSKIP("root writes into read-only folders");
    Workspace workspace;
    PrepareInputs(workspace);
    Run run(workspace);
    run.fault = [&] { ::chmod(workspace.Path("out").c_str(), 0555); };
    MessageBoxRecorder boxes;
    run.Output();
    ::chmod(workspace.Path("out").c_str(), 0755);
    QCOMPARE(boxes.texts.size(), 1);
    QCOMPARE(FolderNames(workspace.Path("out")).size(), std::size_t{1});
    VerifyIdleAndClosable(run);
  }

  // A file-size limit stands in for a full disk: the second output cannot be written whole.
  void fullDiskKeepsEarlierOutputsAndLeavesNoPartialFile() {
    Workspace workspace;
    PrepareInputs(workspace);
    Run run(workspace);
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    run.fault = [&] {
      rlimit tight = saved;
      tight.rlim_cur = 1000;
      ::setrlimit(RLIMIT_FSIZE, &tight);
    };
    MessageBoxRecorder boxes;
    run.Output();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    QCOMPARE(boxes.texts, QStringList({"ストリームへの書き込みエラー."}));
    const std::string first = PairName(run, 0);
    QCOMPARE(FolderNames(workspace.Path("out")), std::vector<std::string>({first}));
    Bitmap written;
    QCOMPARE(LoadImageToBitmap(workspace.Path("out/" + first), written), kFormatJpeg);
    QCOMPARE(written.Width(), 64);
    QVERIFY(LeftoverTemporaries(workspace.Path("")).empty());
    VerifyIdleAndClosable(run);
  }

  void inputsGoneAfterInputAreSkipped_data() {
    QTest::addColumn<QString>("replacement");
    QTest::newRow("removed") << "removed";
    QTest::newRow("folder") << "folder";
    QTest::newRow("fifo") << "fifo";
  }

  void inputsGoneAfterInputAreSkipped() {
    QFETCH(QString, replacement);
    Workspace workspace;
    PrepareInputs(workspace);
    Run run(workspace);
    const std::string gone = workspace.Path("base/a.jpg");
    std::filesystem::remove(gone);
    if (replacement == "folder") std::filesystem::create_directory(gone);
    if (replacement == "fifo") QCOMPARE(::mkfifo(gone.c_str(), 0644), 0);
    ClickRow(run.controls.baseList, 0);
    MessageBoxRecorder boxes;
    run.Output();
    QVERIFY(boxes.texts.isEmpty());
    QCOMPARE(run.pairsDone.load(), 4);
    QCOMPARE(FolderNames(workspace.Path("out")), std::vector<std::string>({"b-p.jpg", "b-q.jpg"}));
    QCOMPARE(run.foldersOpened, 1);
    VerifyIdleAndClosable(run);
  }

  void anInputRemovedMidRunIsSkipped() {
    Workspace workspace;
    PrepareInputs(workspace);
    Run run(workspace);
    run.fault = [&] { std::filesystem::remove(workspace.Path("part/q.jpg")); };
    std::vector<std::string> expected = {PairName(run, 0)};
    for (int pair = 1; pair < 4; ++pair) {
      if (!PairName(run, pair).ends_with("-q.jpg")) expected.push_back(PairName(run, pair));
    }
    std::sort(expected.begin(), expected.end());
    MessageBoxRecorder boxes;
    run.Output();
    QVERIFY(boxes.texts.isEmpty());
    QCOMPARE(run.pairsDone.load(), 4);
    QCOMPARE(FolderNames(workspace.Path("out")), expected);
    VerifyIdleAndClosable(run);
  }

  void namesWithNewlinesSpacesAndJapaneseRunThrough() {
    Workspace workspace;
    workspace.MakeFolders();
    const std::string base = "写真 one\nline.jpg", part = "部品 x\n.jpeg";
    WriteJpeg(workspace.Path("base/" + base), 48, 5);
    WriteJpeg(workspace.Path("part/" + part), 16, 6);
    workspace.Write("mirelay.ini", "[Main]\nSeperator=_\n");
    Run run(workspace);
    QCOMPARE(run.controls.baseList->count(), 1);
    QCOMPARE(PathListEntry(run.controls.baseList, 0), workspace.Path("base/" + base));
    QCOMPARE(PathListEntry(run.controls.partList, 0), workspace.Path("part/" + part));
    ClickRow(run.controls.baseList, 0);
    QCOMPARE(run.controls.preview->NaturalSize(), QSize(48, 48));
    MessageBoxRecorder boxes;
    run.Output();
    QVERIFY(boxes.texts.isEmpty());
    QCOMPARE(FolderNames(workspace.Path("out")),
             std::vector<std::string>({"写真 one\nline_部品 x\n.jpg"}));
    VerifyIdleAndClosable(run);
  }
};

QTEST_MAIN(BatchFaultsTest)
#include "batch_faults_test.moc"
