#include "app/main_window.h"

#include <sys/stat.h>

#include <QAction>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QtTest>

#include "app/preview_control.h"
#include "modal.h"
#include "workspace.h"

using namespace mirelay;
using namespace mirelay::testing_support;

class MainFormTest : public QObject {
  Q_OBJECT

 private slots:
  void windowAsDesigned() {
    Workspace workspace;
    TForm1 form(workspace.Executable());
    form.show();
    QCOMPARE(form.windowTitle(), QString("Mirelay 1.2.0"));
    QCOMPARE(form.ClientSize(), QSize(1289, 616));
    QCOMPARE(form.font().pixelSize(), 12);
    QVERIFY(!form.Image1->isEnabled());
  }

  void menuCaptionsAndInitialStates() {
    Workspace workspace;
    TForm1 form(workspace.Executable());
    QStringList captions;
    for (QAction* action : form.MainMenu1->actions()) captions << action->text();
    QCOMPARE(captions, QStringList({"入力(&S)", "出力.png(&E)", "出力.jpg(&R)", "画質(&Q)",
                                    "閾値(&T)", "名前(&N)", "進捗(&G)", "中断(&A)", "終了(&X)"}));
    QStringList submenu;
    for (QAction* action : form.Name1->actions())
      submenu << (action->isSeparator() ? "-" : action->text());
    QCOMPARE(submenu, QStringList({"区切り文字(&S)", "-", "元-部品(&B)", "部品-元(&P)"}));
    // Top-level commands act from the bar itself; only the name entry opens a menu.
    for (QAction* action : form.MainMenu1->actions()) {
      QCOMPARE(action->menu() != nullptr, action->text() == "名前(&N)");
    }
    QVERIFY(!form.progress1->isEnabled());
    QVERIFY(!form.abort1->isEnabled());
    QVERIFY(form.SearchFolder1->isEnabled() && form.Quit1->isEnabled());
    QVERIFY(form.BP1->isChecked() && !form.PB1->isChecked());
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
    TForm1 form(workspace.Executable());
    form.show();
    form.resize(clientWidth, form.height());
    QCoreApplication::processEvents();
    QCOMPARE(form.ClientSize().width(), clientWidth);
    QCOMPARE(form.List1->geometry(), QRect(0, 0, listWidth, form.ClientSize().height()));
    QCOMPARE(form.List2->geometry(), QRect(listWidth, 0, listWidth, form.ClientSize().height()));
    QCOMPARE(form.Image1->pos(), QPoint(2 * listWidth, 0));
  }

  void busyStateTogglesProgressAndAbort() {
    Workspace workspace;
    TForm1 form(workspace.Executable());
    form.EnterBusy();
    QVERIFY(form.progress1->isEnabled() && form.abort1->isEnabled());
    form.RequestAbort();
    form.LeaveBusy();
    QVERIFY(!form.progress1->isEnabled() && !form.abort1->isEnabled());
  }

  void closeIsRefusedWhileBusyAndSavesWhenIdle() {
    Workspace workspace;
    TForm1 form(workspace.Executable());
    form.show();
    form.EnterBusy();
    form.Quit1->trigger();
    QVERIFY(form.isVisible());
    QVERIFY(workspace.Read("mirelay.ini").empty());
    form.LeaveBusy();
    form.Quit1->trigger();
    QVERIFY(!form.isVisible());
    const QStringList lines = QString::fromStdString(workspace.Read("mirelay.ini")).split('\n');
    QStringList keys;
    for (const QString& line : lines) keys << line.section('=', 0, 0);
    QCOMPARE(keys, QStringList({"[Main]", "JPEGQuality", "Threshold", "Seperator", "NameOrder",
                                "Extensions", "Top", "Left", "Width", "Height", ""}));
    QVERIFY(lines.contains("Seperator="));
    QVERIFY(lines.contains("Extensions=.bmp .gif .jpe .jpeg .jpg .png"));
  }

  void settingsLoadIntoTheChecksAndAreWrittenBackUnchanged() {
    Workspace workspace;
    workspace.Write("mirelay.ini",
                    "[Main]\nJPEGQuality=$50\nNameOrder=0\nThreshold=-3\nSeperator=__\n");
    TForm1 form(workspace.Executable());
    QCOMPARE(form.settings.JPEGQuality, 80);
    QCOMPARE(form.settings.Threshold, -3);
    QVERIFY(form.PB1->isChecked() && !form.BP1->isChecked());
    form.show();
    form.close();
    const std::string saved = workspace.Read("mirelay.ini");
    QVERIFY(saved.find("JPEGQuality=80\nNameOrder=0\nThreshold=-3\nSeperator=__\n") !=
            std::string::npos);
  }

  void savedGeometryIsAppliedByItsRules() {
    Workspace workspace;
    workspace.Write("mirelay.ini", "[Main]\nTop=-8\nLeft=-8\nWidth=1300\nHeight=700\n");
    TForm1 form(workspace.Executable());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    // The offscreen platform frames its windows too: the saved size is the outer one.
    QVERIFY(form.frameGeometry().size() != form.size());
    QCOMPARE(form.frameGeometry().size(), QSize(1300, 700));
    Workspace second;
    second.Write("mirelay.ini", "[Main]\nTop=0\nLeft=0\nWidth=0\nHeight=-1\n");
    TForm1 placed(second.Executable());
    placed.show();
    QVERIFY(QTest::qWaitForWindowExposed(&placed));
    QCOMPARE(placed.pos(), QPoint(0, 0));
    QCOMPARE(placed.ClientSize(), QSize(1289, 616));
  }

  void anUnwritableSettingsFileKeepsTheWindowOpen() {
    Workspace workspace;
    workspace.Write("mirelay.ini", "[Main]\nThreshold=4\n");
    ::chmod(workspace.Settings().c_str(), 0444);
    TForm1 form(workspace.Executable());
    form.show();
    {
      SeenBox seen;
      AcceptNextMessageBox(seen);
      form.close();
      QVERIFY(seen.shown);
      QCOMPARE(seen.title, QString("Mirelay"));
      QCOMPARE(seen.icon, QMessageBox::Critical);
      QCOMPARE(seen.text, QString::fromStdString(workspace.Settings() + " に書き込めません."));
      QVERIFY(form.isVisible());
      QVERIFY(form.Finder != nullptr);
    }
    ::chmod(workspace.Settings().c_str(), 0644);
    form.close();
    QVERIFY(!form.isVisible());
    QVERIFY(workspace.Read("mirelay.ini").find("Height=") != std::string::npos);
  }
};

QTEST_MAIN(MainFormTest)
#include "main_window_test.moc"
