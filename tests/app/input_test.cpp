#include <QAction>
#include <QListWidget>
#include <QtTest>

#include "app/main_window.h"
#include "app/path_list.h"
#include "modal.h"
#include "window_controls.h"
#include "workspace.h"

using namespace mirelay;
using namespace mirelay::testing_support;

namespace {

QStringList Entries(const QListWidget* list) {
  QStringList entries;
  for (int row = 0; row < list->count(); ++row)
    entries << QString::fromStdString(PathListEntry(list, row));
  entries.sort();
  return entries;
}

}  // namespace

class InputTest : public QObject {
  Q_OBJECT

 private slots:
  void fillsBothListsWithFullPaths() {
    Workspace workspace;
    workspace.MakeFolders({"base", "part", "out", "base/g.png"});
    for (const char* name : {"base/a.PNG", "base/b.txt", "base/c", "base/d.jpeg", "base/e.p",
                             "base/.f.png", "part/x y.png", "part/写真.gif"}) {
      workspace.Write(name, "");
    }
    MainWindow window(workspace.Executable());
    const WindowControls controls(window);
    controls.input->trigger();
    const QString root = QString::fromStdString(workspace.Path(""));
    QCOMPARE(Entries(controls.baseList),
             QStringList({root + "base/a.PNG", root + "base/d.jpeg", root + "base/e.p"}));
    QCOMPARE(Entries(controls.partList),
             QStringList({root + "part/x y.png", root + "part/写真.gif"}));
    controls.input->trigger();
    QCOMPARE(controls.baseList->count(), 3);
    QCOMPARE(controls.baseList->selectedItems().size(), 0);
  }

  void anEmptyPartFolderGivesAnEmptyListSilently() {
    Workspace workspace;
    workspace.MakeFolders();
    workspace.Write("base/a.png", "");
    MainWindow window(workspace.Executable());
    const WindowControls controls(window);
    controls.partList->addItem("stale");
    controls.input->trigger();
    QCOMPARE(controls.baseList->count(), 1);
    QCOMPARE(controls.partList->count(), 0);
  }

  void aMissingFolderShowsTheMessageAndKeepsTheLists_data() {
    QTest::addColumn<QString>("missing");
    QTest::newRow("base") << "base";
    QTest::newRow("part") << "part";
    QTest::newRow("out") << "out";
  }

  void aMissingFolderShowsTheMessageAndKeepsTheLists() {
    QFETCH(QString, missing);
    Workspace workspace;
    workspace.MakeFolders();
    QDir(QString::fromStdString(workspace.Path(""))).rmdir(missing);
    if (missing == "out") workspace.Write("out", "a file, not a folder");
    MainWindow window(workspace.Executable());
    const WindowControls controls(window);
    controls.baseList->addItem("kept");
    SeenBox seen;
    AcceptNextMessageBox(seen);
    controls.input->trigger();
    QVERIFY(seen.shown);
    QCOMPARE(seen.title, QString("Mirelay"));
    QCOMPARE(seen.icon, QMessageBox::NoIcon);
    QCOMPARE(seen.text, QString("フォルダと画像ファイルを用意してください。"));
    QCOMPARE(controls.baseList->count(), 1);
  }
};

QTEST_MAIN(InputTest)
#include "input_test.moc"
