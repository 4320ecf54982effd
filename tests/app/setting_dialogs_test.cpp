#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "app/main_window.h"
#include "modal.h"
#include "window_controls.h"
#include "workspace.h"

using namespace mirelay;
using namespace mirelay::testing_support;

namespace {

// A settings file whose main section holds the one line `keyAndValue`.
void WriteSetting(const Workspace& workspace, const std::string& keyAndValue) {
  workspace.Write("mirelay.ini", "[Main]\n" + keyAndValue + "\n");
}

}  // namespace

class SettingDialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void qualityBox_data() {
    QTest::addColumn<int>("before");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("accept");
    QTest::addColumn<int>("after");
    QTest::newRow("75") << 90 << "75" << true << 75;
    QTest::newRow("lowest 5") << 90 << "5" << true << 5;
    QTest::newRow("highest 100") << 90 << "100" << true << 100;
    QTest::newRow("4 is below the range") << 75 << "4" << true << 90;
    QTest::newRow("0") << 75 << "0" << true << 90;
    QTest::newRow("-3") << 75 << "-3" << true << 90;
    QTest::newRow("101") << 75 << "101" << true << 90;
    QTest::newRow("abc") << 75 << "abc" << true << 90;
    QTest::newRow("empty") << 75 << "" << true << 90;
    QTest::newRow("trailing blank") << 75 << "80 " << true << 90;
    QTest::newRow("$50") << 75 << "$50" << true << 80;
    QTest::newRow("0x50") << 75 << "0x50" << true << 80;
    QTest::newRow("cancel keeps 75") << 75 << "30" << false << 75;
    QTest::newRow("cancel mends 200") << 200 << "30" << false << 90;
  }

  void qualityBox() {
    QFETCH(int, before);
    QFETCH(QString, typed);
    QFETCH(bool, accept);
    QFETCH(int, after);
    Workspace workspace;
    WriteSetting(workspace, "JPEGQuality=" + std::to_string(before));
    MainWindow window(workspace.Executable());
    QString caption;
    AnswerNextInputBox(typed, accept, &caption);
    WindowControls(window).quality->trigger();
    QCOMPARE(caption, QString("JPEG 画質"));
    QCOMPARE(window.settings().jpegQuality, after);
  }

  void thresholdBox_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("accept");
    QTest::addColumn<int>("after");
    QTest::newRow("30") << "30" << true << 30;
    QTest::newRow("500 stored as entered") << "500" << true << 500;
    QTest::newRow("-1 stored as entered") << "-1" << true << -1;
    QTest::newRow("abc") << "abc" << true << 0;
    QTest::newRow("empty") << "" << true << 0;
    QTest::newRow("cancel keeps 999") << "30" << false << 999;
  }

  void thresholdBox() {
    QFETCH(QString, typed);
    QFETCH(bool, accept);
    QFETCH(int, after);
    Workspace workspace;
    WriteSetting(workspace, "Threshold=999");
    MainWindow window(workspace.Executable());
    QString caption;
    AnswerNextInputBox(typed, accept, &caption);
    WindowControls(window).threshold->trigger();
    QCOMPARE(caption, QString("透過閾値"));
    QCOMPARE(window.settings().threshold, after);
  }

  void separatorBox_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("accept");
    QTest::addColumn<QString>("after");
    for (const char* accepted : {"_", "-", " ", "--", "a\\b", ""}) {
      QTest::newRow(qPrintable(QString("accepts '%1'").arg(accepted)))
          << accepted << true << accepted;
    }
    // Alone, each cannot stand in a name; a "/" anywhere would write outside out/.
    for (const char* refused :
         {"\\", "/", ":", "*", "?", "\"", "<", ">", "|", "a/b", "/../../elsewhere/"}) {
      QTest::newRow(qPrintable(QString("refuses '%1'").arg(refused))) << refused << true << "old";
    }
    QTest::newRow("cancel") << "new" << false << "old";
  }

  void separatorBox() {
    QFETCH(QString, typed);
    QFETCH(bool, accept);
    QFETCH(QString, after);
    Workspace workspace;
    WriteSetting(workspace, "Seperator=old");
    MainWindow window(workspace.Executable());
    QString caption;
    AnswerNextInputBox(typed, accept, &caption);
    WindowControls(window).separator->trigger();
    QCOMPARE(caption, QString("名前の区切り文字"));
    QCOMPARE(QString::fromStdString(window.settings().separator), after);
  }

  // Keys pressed in the box: Esc or Enter on the text as shown, or text typed over it.
  void separatorBytesSurviveTheBoxUnlessEdited_data() {
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("closeKey");
    QTest::addColumn<QByteArray>("after");
    const QByteArray shiftJis("\x81\x5B");
    // 682 three-byte characters and the first byte of the next: the cut of a long value.
    const QByteArray cut = QString(683, QChar(0x3042)).toUtf8().left(2047);
    const QByteArray longText(300, 'a');
    for (int key : {Qt::Key_Escape, Qt::Key_Return}) {
      const char* how = key == Qt::Key_Escape ? "Esc" : "Enter";
      QTest::newRow(qPrintable(QString("Shift-JIS, %1").arg(how)))
          << shiftJis << QString() << key << shiftJis;
      QTest::newRow(qPrintable(QString("2047 bytes cut in a character, %1").arg(how)))
          << cut << QString() << key << cut;
      QTest::newRow(qPrintable(QString("300 characters, %1").arg(how)))
          << longText << QString() << key << longText;
    }
    QTest::newRow("typed over Shift-JIS")
        << shiftJis << "x-" << int(Qt::Key_Return) << QByteArray("x-");
    QTest::newRow("typed text is cut at 255")
        << longText << QString(260, 'b') << int(Qt::Key_Return) << QByteArray(255, 'b');
  }

  void separatorBytesSurviveTheBoxUnlessEdited() {
    QFETCH(QByteArray, before);
    QFETCH(QString, typed);
    QFETCH(int, closeKey);
    QFETCH(QByteArray, after);
    Workspace workspace;
    WriteSetting(workspace, "Seperator=" + before.toStdString());
    MainWindow window(workspace.Executable());
    QCOMPARE(QByteArray::fromStdString(window.settings().separator), before);
    bool answered = false;
    OnNextModal([&](QWidget* box) {
      if (!typed.isEmpty()) QTest::keyClicks(box->findChild<QLineEdit*>(), typed);
      QTest::keyClick(box, Qt::Key(closeKey));
      answered = true;
    });
    WindowControls(window).separator->trigger();
    QVERIFY(answered);
    QCOMPARE(QByteArray::fromStdString(window.settings().separator), after);
  }

  void nameOrderChecksMoveTogether() {
    Workspace workspace;
    MainWindow window(workspace.Executable());
    const WindowControls controls(window);
    controls.partFirst->trigger();
    QVERIFY(controls.partFirst->isChecked() && !controls.baseFirst->isChecked());
    QVERIFY(window.settings().nameOrder == NameOrder::PartFirst());
    controls.partFirst->trigger();
    QVERIFY(controls.partFirst->isChecked());
    controls.baseFirst->trigger();
    QVERIFY(controls.baseFirst->isChecked() && !controls.partFirst->isChecked());
    QVERIFY(window.settings().nameOrder == NameOrder::BaseFirst());
  }

  void inputBoxLayout() {
    Workspace workspace;
    MainWindow window(workspace.Executable());
    bool checked = false;
    OnNextModal([&](QWidget* box) {
      auto* edit = box->findChild<QLineEdit*>();
      QCOMPARE(edit->maxLength(), 255);
      QCOMPARE(edit->selectedText(), QString("90"));
      QCOMPARE(box->findChild<QLabel*>()->text(), QString("0 から 100 の間で指定してください。"));
      QStringList buttons;
      for (auto* button : box->findChildren<QPushButton*>()) buttons << button->text();
      QCOMPARE(buttons, QStringList({"OK", "キャンセル"}));
      QVERIFY(box->findChildren<QPushButton*>().first()->isDefault());
      // Esc closes the box like Cancel.
      QTest::keyClick(box, Qt::Key_Escape);
      checked = true;
    });
    WindowControls(window).quality->trigger();
    QVERIFY(checked);
    QCOMPARE(window.settings().jpegQuality, 90);
  }
};

QTEST_MAIN(SettingDialogsTest)
#include "setting_dialogs_test.moc"
