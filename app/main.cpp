#include <QApplication>

#include "app/command_line.h"
#include "app/error_report.h"
#include "app/main_window.h"
#include "batch/picture_memory.h"
#include "imaging/png/png_register.h"

int main(int argc, char* argv[]) {
  mirelay::KeepFreedPictureMemory();
  QApplication application(argc, argv);
  QApplication::setApplicationName(mirelay::kApplicationTitle);
  const auto options = mirelay::ParseCommandLine(QApplication::arguments());
  if (!options) return 2;

  mirelay::RegisterPngImage();
  int status = 0;
  {
    mirelay::MainWindow window(QCoreApplication::applicationFilePath().toStdString());
    window.setBatchWorkers(options->batchWorkers);
    window.show();
    status = QApplication::exec();
  }
  mirelay::UnregisterPngImage();
  return status;
}
