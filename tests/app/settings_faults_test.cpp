// Settings files the program does not expect: a folder, a FIFO, binary garbage, a huge file and
// one that cannot be replaced. Start-up always gives a usable window; close writes the ten keys,
// or, when that fails twice in a row, closes without them.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QElapsedTimer>
#include <QtTest>
#include <csignal>
#include <filesystem>
#include <random>

#include "app/main_window.h"
#include "fault_support.h"
#include "window_controls.h"
#include "workspace.h"

using namespace mirelay;
using namespace mirelay::testing_support;

namespace {

const char* const kTenKeys[] = {
    "JPEGQuality=", "Threshold=", "Seperator=", "NameOrder=", "Extensions=",
    "Top=",         "Left=",      "Width=",     "Height=",    "AlphaBlend="};

void VerifyDefaults(const MainWindow& window) {
  QCOMPARE(window.settings().jpegQuality, 90);
  QCOMPARE(window.settings().threshold, 0);
  QVERIFY(window.settings().nameOrder == NameOrder::BaseFirst());
  QCOMPARE(window.settings().extensions, std::string(kDefaultExtensions));
}

void VerifyTenKeysAfter(const std::string& saved, const std::string& header) {
  const auto at = saved.rfind(header);
  QVERIFY(at != std::string::npos);
  for (const char* key : kTenKeys) {
    QVERIFY2(saved.find(std::string("\n") + key, at) != std::string::npos, key);
  }
}

}  // namespace

class SettingsFaultsTest : public QObject {
  Q_OBJECT

 private slots:
  void binaryGarbageGivesDefaultsAndIsKeptOnClose() {
    Workspace workspace;
    std::string garbage(4096, '\0');
    std::mt19937 random(7);
    for (char& byte : garbage) byte = static_cast<char>(random());
    workspace.Write("mirelay.ini", garbage);
    MainWindow window(workspace.Executable());
    VerifyDefaults(window);
    window.show();
    window.close();
    QVERIFY(!window.isVisible());
    const std::string saved = workspace.Read("mirelay.ini");
    QVERIFY(saved.starts_with(garbage.substr(0, 100)));
    VerifyTenKeysAfter(saved, "[Main]");
  }

  // The main section sits behind 100 000 other lines; reading and writing stay whole.
  void aHundredThousandLinesStartQuicklyAndKeepEveryLine() {
    Workspace workspace;
    std::string content = "[Other]\n";
    for (int line = 0; line < 100000; ++line) content += "key" + std::to_string(line) + "=x\n";
    content += "[Main]\nThreshold=17\n";
    workspace.Write("mirelay.ini", content);
    QElapsedTimer clock;
    clock.start();
    MainWindow window(workspace.Executable());
    qInfo("start-up with a 100000-line settings file: %lld ms", clock.elapsed());
    QCOMPARE(window.settings().threshold, 17);
    window.show();
    clock.restart();
    window.close();
    qInfo("close with a 100000-line settings file: %lld ms", clock.elapsed());
    QVERIFY(!window.isVisible());
    const std::string saved = workspace.Read("mirelay.ini");
    QVERIFY(saved.starts_with(content.substr(0, content.size() - 12)));
    VerifyTenKeysAfter(saved, "[Main]");
  }

  void aFolderInPlaceOfTheFileGivesDefaultsAndAReportOnClose() {
    Workspace workspace;
    std::filesystem::create_directory(workspace.Settings());
    MainWindow window(workspace.Executable());
    VerifyDefaults(window);
    window.show();
    {
      MessageBoxRecorder boxes;
      window.close();
      QCOMPARE(boxes.texts,
               QStringList({QString::fromStdString(workspace.Settings() + " に書き込めません.")}));
    }
    QVERIFY(window.isVisible());
    QVERIFY(WindowControls(window).input->isEnabled());
    std::filesystem::remove(workspace.Settings());
    window.close();
    QVERIFY(!window.isVisible());
    VerifyTenKeysAfter(workspace.Read("mirelay.ini"), "[Main]");
  }

  // A settings file that stays unwritable cannot trap the user: the first close reports and keeps
  // the window, the second reports again and closes, leaving what is in the way as it was.
  void anUnwritableFileClosesOnTheSecondAttempt_data() {
    QTest::addColumn<QString>("inTheWay");
    QTest::newRow("folder") << "folder";
    QTest::newRow("fifo") << "fifo";
    QTest::newRow("read-only file") << "read-only file";
  }

  void anUnwritableFileClosesOnTheSecondAttempt() {
    QFETCH(QString, inTheWay);
    Workspace workspace;
    const std::string ini = workspace.Settings();
    const std::string readOnly = "[Main]\nThreshold=4\n";
    if (inTheWay == "folder") std::filesystem::create_directory(ini);
    if (inTheWay == "fifo") QCOMPARE(::mkfifo(ini.c_str(), 0644), 0);
    if (inTheWay == "read-only file") {
      workspace.Write("mirelay.ini", readOnly);
      ::chmod(ini.c_str(), 0444);
    }
    const auto kind = std::filesystem::status(ini).type();
    // Opening a FIFO that nobody writes to would block for ever; the alarm ends the test instead.
    ::alarm(60);
    MainWindow window(workspace.Executable());
    window.show();
    for (const bool closes : {false, true}) {
      MessageBoxRecorder boxes;
      window.close();
      QCOMPARE(boxes.texts, QStringList({QString::fromStdString(ini + " に書き込めません.")}));
      QCOMPARE(window.isVisible(), !closes);
    }
    ::alarm(0);
    QCOMPARE(std::filesystem::status(ini).type(), kind);
    QVERIFY(FolderNames(workspace.Path("")) == std::vector<std::string>({"mirelay.ini"}));
    if (inTheWay == "read-only file") QCOMPARE(workspace.Read("mirelay.ini"), readOnly);
  }

  // A file-size limit stands in for a full disk: the old file stays whole and readable.
  void aFullDiskKeepsTheOldFileAndReports() {
    Workspace workspace;
    const std::string old = "[Main]\nThreshold=9\n" + std::string(200, ';') + "\n";
    workspace.Write("mirelay.ini", old);
    MainWindow window(workspace.Executable());
    window.show();
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    rlimit tight = saved;
    tight.rlim_cur = 100;
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &tight);
    {
      MessageBoxRecorder boxes;
      window.close();
      ::setrlimit(RLIMIT_FSIZE, &saved);
      QCOMPARE(boxes.texts.size(), 1);
    }
    std::signal(SIGXFSZ, previousHandler);
    QVERIFY(window.isVisible());
    QCOMPARE(workspace.Read("mirelay.ini"), old);
    QVERIFY(FolderNames(workspace.Path("")) == std::vector<std::string>({"mirelay.ini"}));
    window.close();
    QVERIFY(!window.isVisible());
    VerifyTenKeysAfter(workspace.Read("mirelay.ini"), "[Main]");
  }

  // Settings beside an executable whose folder has gone: nothing is written, nothing crashes.
  void aVanishedProgramFolderReportsOnClose() {
    Workspace workspace;
    workspace.MakeFolders({"gone"});
    MainWindow window(workspace.Path("gone/mirelay"));
    std::filesystem::remove(workspace.Path("gone"));
    VerifyDefaults(window);
    window.show();
    MessageBoxRecorder boxes;
    window.close();
    QCOMPARE(boxes.texts.size(), 1);
    QVERIFY(window.isVisible());
    QVERIFY(LeftoverTemporaries(workspace.Path("")).empty());
  }
};

QTEST_MAIN(SettingsFaultsTest)
#include "settings_faults_test.moc"
