#include <QAction>
#include <QListWidget>
#include <QtTest>

#include "app/main_window.h"
#include "modal.h"
#include "workspace.h"

using namespace mirelay;
using namespace mirelay::testing_support;

namespace {

QStringList Entries(const QListWidget* list) {
  QStringList entries;
  for (int row = 0; row < list->count(); ++row)
    entries << QString::fromStdString(TForm1::EntryPath(list, row));
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
    TForm1 form(workspace.Executable());
    form.SearchFolder1->trigger();
    const QString root = QString::fromStdString(workspace.Path(""));
    QCOMPARE(Entries(form.List1),
             QStringList({root + "base/a.PNG", root + "base/d.jpeg", root + "base/e.p"}));
    QCOMPARE(Entries(form.List2), QStringList({root + "part/x y.png", root + "part/写真.gif"}));
    form.SearchFolder1->trigger();
    QCOMPARE(form.List1->count(), 3);
    QCOMPARE(form.List1->selectedItems().size(), 0);
  }

  void anEmptyPartFolderGivesAnEmptyListSilently() {
    Workspace workspace;
    workspace.MakeFolders();
    workspace.Write("base/a.png", "");
    TForm1 form(workspace.Executable());
    form.List2->addItem("stale");
    form.SearchFolder1->trigger();
    QCOMPARE(form.List1->count(), 1);
    QCOMPARE(form.List2->count(), 0);
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
    TForm1 form(workspace.Executable());
    form.List1->addItem("kept");
    SeenBox seen;
    AcceptNextMessageBox(seen);
    form.SearchFolder1->trigger();
    QVERIFY(seen.shown);
    QCOMPARE(seen.title, QString("Mirelay"));
    QCOMPARE(seen.icon, QMessageBox::NoIcon);
    QCOMPARE(seen.text, QString("フォルダと画像ファイルを用意してください。"));
    QCOMPARE(form.List1->count(), 1);
  }
};

QTEST_MAIN(InputTest)
#include "input_test.moc"
