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
#include "app/preview_control.h"
#include "fault_support.h"
#include "imaging/image_lib.h"
#include "run_control.h"
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

// The form after Input on one worker, with `fault` run on that worker once the pair numbered
// `faultAfter` (from 1) is done and before the next one starts.
struct Run {
  explicit Run(const Workspace& workspace) : form(workspace.Executable()) {
    form.openFolder = [this](const QString&) { ++foldersOpened; };
    form.SetBatchWorkers(1);
    form.afterPair = [this](const PairOutcome&) {
      if (++pairsDone == faultAfter && fault) fault();
    };
    form.show();
    form.SearchFolder1->trigger();
  }
  void Output() {
    form.Mergejpg1->trigger();
    QVERIFY(WaitForRunToEnd(form));
  }
  TForm1 form;
  std::atomic<int> pairsDone{0};
  int faultAfter = 1;
  int foldersOpened = 0;
  std::function<void()> fault;
};

// The output name of the pair the batch handles as number `pair` (lists are in folder order).
std::string PairName(const TForm1& form, int pair) {
  const auto stem = [](const std::string& path) {
    return std::filesystem::path(path).stem().string();
  };
  const int parts = form.List2->count();
  return stem(TForm1::EntryPath(form.List1, pair / parts)) + "-" +
         stem(TForm1::EntryPath(form.List2, pair % parts)) + ".jpg";
}

void VerifyIdleAndClosable(TForm1& form) {
  QVERIFY(!form.Busy());
  QVERIFY(form.SearchFolder1->isEnabled() && form.Merge1->isEnabled());
  QVERIFY(!form.abort1->isEnabled());
  form.close();
  QVERIFY(!form.isVisible());
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
                                                 PairName(run.form, 2) + " を作成できません.")}));
    QCOMPARE(workspace.Read("out"), std::string("not a folder"));
    QVERIFY(LeftoverTemporaries(workspace.Path("")).empty());
    VerifyIdleAndClosable(run.form);
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
    VerifyIdleAndClosable(run.form);
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
    const std::string first = PairName(run.form, 0);
    QCOMPARE(FolderNames(workspace.Path("out")), std::vector<std::string>({first}));
    Bitmap written;
    QCOMPARE(LoadImageToBitmap(workspace.Path("out/" + first), written), kFormatJpeg);
    QCOMPARE(written.Width(), 64);
    QVERIFY(LeftoverTemporaries(workspace.Path("")).empty());
    VerifyIdleAndClosable(run.form);
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
    run.form.List1->setCurrentRow(0);
    run.form.List1Click();
    MessageBoxRecorder boxes;
    run.Output();
    QVERIFY(boxes.texts.isEmpty());
    QCOMPARE(run.pairsDone.load(), 4);
    QCOMPARE(FolderNames(workspace.Path("out")), std::vector<std::string>({"b-p.jpg", "b-q.jpg"}));
    QCOMPARE(run.foldersOpened, 1);
    VerifyIdleAndClosable(run.form);
  }

  void anInputRemovedMidRunIsSkipped() {
    Workspace workspace;
    PrepareInputs(workspace);
    Run run(workspace);
    run.fault = [&] { std::filesystem::remove(workspace.Path("part/q.jpg")); };
    std::vector<std::string> expected = {PairName(run.form, 0)};
    for (int pair = 1; pair < 4; ++pair) {
      if (!PairName(run.form, pair).ends_with("-q.jpg"))
        expected.push_back(PairName(run.form, pair));
    }
    std::sort(expected.begin(), expected.end());
    MessageBoxRecorder boxes;
    run.Output();
    QVERIFY(boxes.texts.isEmpty());
    QCOMPARE(run.pairsDone.load(), 4);
    QCOMPARE(FolderNames(workspace.Path("out")), expected);
    VerifyIdleAndClosable(run.form);
  }

  void namesWithNewlinesSpacesAndJapaneseRunThrough() {
    Workspace workspace;
    workspace.MakeFolders();
    const std::string base = "写真 one\nline.jpg", part = "部品 x\n.jpeg";
    WriteJpeg(workspace.Path("base/" + base), 48, 5);
    WriteJpeg(workspace.Path("part/" + part), 16, 6);
    workspace.Write("mirelay.ini", "[Main]\nSeperator=_\n");
    Run run(workspace);
    QCOMPARE(run.form.List1->count(), 1);
    QCOMPARE(TForm1::EntryPath(run.form.List1, 0), workspace.Path("base/" + base));
    QCOMPARE(TForm1::EntryPath(run.form.List2, 0), workspace.Path("part/" + part));
    run.form.List1->setCurrentRow(0);
    run.form.List1Click();
    QCOMPARE(run.form.Image1->NaturalSize(), QSize(48, 48));
    MessageBoxRecorder boxes;
    run.Output();
    QVERIFY(boxes.texts.isEmpty());
    QCOMPARE(FolderNames(workspace.Path("out")),
             std::vector<std::string>({"写真 one\nline_部品 x\n.jpg"}));
    VerifyIdleAndClosable(run.form);
  }
};

QTEST_MAIN(BatchFaultsTest)
#include "batch_faults_test.moc"
