#include <QApplication>
#include <QFile>
#include <cstdio>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/error_report.h"
#include "app/main_window.h"
#include "batch/picture_memory.h"
#include "imaging/png/png_register.h"
#include "settings/working_folders.h"

int main(int argc, char* argv[]) {
  mirelay::KeepFreedPictureMemory();
  QApplication application(argc, argv);
  QApplication::setApplicationName(mirelay::kApplicationTitle);
  // QApplication has taken its own options out of argv; what is left keeps its bytes.
  const auto options = mirelay::ParseCommandLine(std::vector<std::string>(argv, argv + argc));
  if (!options) return 2;

  mirelay::RegisterPngImage();
  int status = 0;
  {
    std::string executable = mirelay::ExecutablePath();
    // Qt's path loses bytes that are not UTF-8, so it is only the fallback.
    if (executable.empty()) {
      executable = QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString();
    }
    const auto folders = mirelay::ChooseWorkingFolders(
        mirelay::GatherWorkingFolderFacts(executable, options->workspace));
    // A folder that cannot be made is reported again, as a missing folder, by 入力.
    std::vector<std::string> problems;
    if (folders.userFolder) problems = mirelay::LayOutUserFolder(folders);
    for (const auto& problem : problems) std::fprintf(stderr, "mirelay: %s\n", problem.c_str());
    mirelay::MainWindow window(folders);
    window.showFolderProblems(problems);
    window.setBatchWorkers(options->batchWorkers);
    window.show();
    status = QApplication::exec();
  }
  mirelay::UnregisterPngImage();
  return status;
}
