#include "app/main_window.h"

#include <sys/stat.h>

#include <QAction>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QtTest>

#include "app/folder_hint_list.h"
#include "app/preview_control.h"
#include "images.h"
#include "modal.h"
#include "run_control.h"
#include "window_controls.h"
#include "workspace.h"

using namespace mirelay;
using namespace mirelay::testing_support;

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void windowAsDesigned() {
    Workspace workspace;
    MainWindow window(workspace.Executable());
    window.show();
    QCOMPARE(window.objectName(), QString("Form1"));
    QCOMPARE(window.windowTitle(), QString("Mirelay 1.2.0"));
    QCOMPARE(window.centralWidget()->size(), QSize(1289, 616));
    QCOMPARE(window.font().pixelSize(), 12);
    QVERIFY(!WindowControls(window).preview->isEnabled());
  }

  void menuCaptionsAndInitialStates() {
    Workspace workspace;
    MainWindow window(workspace.Executable());
    const WindowControls controls(window);
    QStringList captions;
    for (QAction* action : controls.menuBar->actions()) captions << action->text();
    QCOMPARE(captions,
             QStringList({"入力(&S)", "出力.png(&E)", "出力.jpg(&R)", "画質(&Q)", "閾値(&T)",
                          "アルファ合成(&A)", "名前(&N)", "進捗(&G)", "中断(&A)", "終了(&X)"}));
    QStringList submenu;
    for (QAction* action : controls.nameMenu->actions())
      submenu << (action->isSeparator() ? "-" : action->text());
    QCOMPARE(submenu, QStringList({"区切り文字(&S)", "-", "元-部品(&B)", "部品-元(&P)"}));
    // Top-level commands act from the bar itself; only the name entry opens a menu.
    for (QAction* action : controls.menuBar->actions()) {
      QCOMPARE(action->menu() != nullptr, action->text() == "名前(&N)");
    }
    QVERIFY(!controls.progress->isEnabled());
    QVERIFY(!controls.abort->isEnabled());
    QVERIFY(controls.input->isEnabled() && controls.quit->isEnabled());
    QVERIFY(controls.baseFirst->isChecked() && !controls.partFirst->isChecked());
  }

  void layoutRuleDividesTheClientWidth_data() {
    QTest::addColumn<int>("clientWidth");
    QTest::addColumn<int>("listWidth");
    QTest::newRow("1000") << 1000 << 250;
    QTest::newRow("1001") << 1001 << 250;
    QTest::newRow("1289") << 1289 << 322;
  }

  void layoutRuleDividesTheClientWidth() {
    QFETCH(int, clientWidth);
    QFETCH(int, listWidth);
    Workspace workspace;
    MainWindow window(workspace.Executable());
    const WindowControls controls(window);
    window.show();
    window.resize(clientWidth, window.height());
    QCoreApplication::processEvents();
    const int clientHeight = window.centralWidget()->height();
    QCOMPARE(window.centralWidget()->width(), clientWidth);
    QCOMPARE(controls.baseList->geometry(), QRect(0, 0, listWidth, clientHeight));
    QCOMPARE(controls.partList->geometry(), QRect(listWidth, 0, listWidth, clientHeight));
    QCOMPARE(controls.preview->pos(), QPoint(2 * listWidth, 0));
  }

  // A run held after its first pair stands for the busy state.
  void whileBusyProgressAndAbortAreOnAndCloseIsRefusedThenCloseSaves() {
    Workspace workspace;
    workspace.MakeFolders();
    WriteBmp(workspace.Path("base/a.bmp"), SolidPicture(4, 3, {10, 20, 30}, {10, 20, 30}));
    for (const char* part : {"part/x.bmp", "part/y.bmp"}) {
      WriteBmp(workspace.Path(part), SolidPicture(2, 2, {200, 100, 0}, {0, 0, 0}));
    }
    MainWindow window(workspace.Executable());
    const WindowControls controls(window);
    window.setOpenFolder([](const QUrl&) {});
    window.setBatchWorkers(1);
    window.show();
    controls.input->trigger();
    {
      PairGate gate(window, 1);
      controls.outputPng->trigger();
      QVERIFY(gate.WaitUntilReached());
      QVERIFY(controls.progress->isEnabled() && controls.abort->isEnabled());
      controls.quit->trigger();
      QVERIFY(window.isVisible());
      QVERIFY(workspace.Read("mirelay.ini").empty());
    }
    QVERIFY(!controls.progress->isEnabled() && !controls.abort->isEnabled());
    controls.quit->trigger();
    QVERIFY(!window.isVisible());
    const QStringList lines = QString::fromStdString(workspace.Read("mirelay.ini")).split('\n');
    QStringList keys;
    for (const QString& line : lines) keys << line.section('=', 0, 0);
    QCOMPARE(keys, QStringList({"[Main]", "JPEGQuality", "Threshold", "Seperator", "NameOrder",
                                "Extensions", "Top", "Left", "Width", "Height", "AlphaBlend", ""}));
    QVERIFY(lines.contains("Seperator="));
    QVERIFY(lines.contains("Extensions=.bmp .gif .jpe .jpeg .jpg .png"));
  }

  void settingsLoadIntoTheChecksAndAreWrittenBackUnchanged() {
    Workspace workspace;
    workspace.Write("mirelay.ini",
                    "[Main]\nJPEGQuality=$50\nNameOrder=0\nThreshold=-3\nSeperator=__\n");
    MainWindow window(workspace.Executable());
    const WindowControls controls(window);
    QCOMPARE(window.settings().jpegQuality, 80);
    QCOMPARE(window.settings().threshold, -3);
    QVERIFY(controls.partFirst->isChecked() && !controls.baseFirst->isChecked());
    window.show();
    window.close();
    const std::string saved = workspace.Read("mirelay.ini");
    QVERIFY(saved.find("JPEGQuality=80\nNameOrder=0\nThreshold=-3\nSeperator=__\n") !=
            std::string::npos);
  }

  void savedGeometryIsAppliedByItsRules() {
    Workspace workspace;
    workspace.Write("mirelay.ini", "[Main]\nTop=-8\nLeft=-8\nWidth=1300\nHeight=700\n");
    MainWindow window(workspace.Executable());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // The offscreen platform frames its windows too: the saved size is the outer one.
    QVERIFY(window.frameGeometry().size() != window.size());
    QCOMPARE(window.frameGeometry().size(), QSize(1300, 700));
    Workspace second;
    second.Write("mirelay.ini", "[Main]\nTop=0\nLeft=0\nWidth=0\nHeight=-1\n");
    MainWindow placed(second.Executable());
    placed.show();
    QVERIFY(QTest::qWaitForWindowExposed(&placed));
    QCOMPARE(placed.pos(), QPoint(0, 0));
    QCOMPARE(placed.centralWidget()->size(), QSize(1289, 616));
  }

  // After the failed save the window keeps working: Input still has its finder.
  void anUnwritableSettingsFileKeepsTheWindowOpen() {
    Workspace workspace;
    workspace.MakeFolders();
    workspace.Write("base/a.png", "");
    workspace.Write("mirelay.ini", "[Main]\nThreshold=4\n");
    ::chmod(workspace.Settings().c_str(), 0444);
    MainWindow window(workspace.Executable());
    const WindowControls controls(window);
    window.show();
    {
      SeenBox seen;
      AcceptNextMessageBox(seen);
      window.close();
      QVERIFY(seen.shown);
      QCOMPARE(seen.title, QString("Mirelay"));
      QCOMPARE(seen.icon, QMessageBox::Critical);
      QCOMPARE(seen.text, QString::fromStdString(workspace.Settings() + " に書き込めません."));
      QVERIFY(window.isVisible());
      controls.input->trigger();
      QCOMPARE(controls.baseList->count(), 1);
    }
    ::chmod(workspace.Settings().c_str(), 0644);
    window.close();
    QVERIFY(!window.isVisible());
    QVERIFY(workspace.Read("mirelay.ini").find("Height=") != std::string::npos);
  }

  // The hint is painted over the empty pane only, so the panes of a filled list look as before.
  void aUserFolderIsNamedInItsPanesWhileTheyAreEmpty() {
    Workspace workspace;
    workspace.MakeFolders();
    workspace.Write("base/a.png", "");
    workspace.Write("part/b.png", "");
    MainWindow beside(workspace.Executable());
    QVERIFY(static_cast<FolderHintList*>(WindowControls(beside).baseList)->folderHint().isEmpty());

    MainWindow window(WorkingFolders{workspace.Path(""), workspace.Settings(), true});
    const WindowControls controls(window);
    window.show();
    auto* base = static_cast<FolderHintList*>(controls.baseList);
    auto* part = static_cast<FolderHintList*>(controls.partList);
    QCOMPARE(base->folderHint(),
             QString::fromStdString("元画像のフォルダ: " + workspace.Path("base")));
    QCOMPARE(part->folderHint(),
             QString::fromStdString("部品画像のフォルダ: " + workspace.Path("part")));
    const auto lookWithAndWithoutHint = [](FolderHintList* list) {
      const QString hint = list->folderHint();
      const QImage with = list->viewport()->grab().toImage();
      list->setFolderHint({});
      const QImage without = list->viewport()->grab().toImage();
      list->setFolderHint(hint);
      return std::pair{with, without};
    };
    const auto [emptyWith, emptyWithout] = lookWithAndWithoutHint(base);
    QVERIFY(emptyWith != emptyWithout);
    controls.input->trigger();
    QCOMPARE(base->count(), 1);
    const auto [filledWith, filledWithout] = lookWithAndWithoutHint(base);
    QVERIFY(filledWith == filledWithout);

    // A folder that could not be made is told under its name, in the pane the user looks at.
    window.showFolderProblems({"cannot create the folder /x/out: Permission denied"});
    QCOMPARE(part->folderHint(),
             QString::fromStdString("部品画像のフォルダ: " + workspace.Path("part") +
                                    "\ncannot create the folder /x/out: Permission denied"));
  }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
