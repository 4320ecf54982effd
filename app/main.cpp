#include <QApplication>
#include <QScreen>

#include "app/command_line.h"
#include "app/error_report.h"
#include "app/main_form.h"
#include "batch/picture_memory.h"
#include "imaging/gif/gif.h"
#include "imaging/png/png_read.h"

int main(int argc, char* argv[]) {
  mirelay::KeepFreedPictureMemory();
  QApplication application(argc, argv);
  QApplication::setApplicationName(mirelay::kApplicationTitle);
  const auto options = mirelay::ParseCommandLine(QApplication::arguments());
  if (!options) return 2;
  // Decided once: GIF pictures are dithered only for a palette display.
  const QScreen* screen = QGuiApplication::primaryScreen();
  mirelay::SetPaletteDisplay(screen != nullptr && screen->depth() <= 8);
  mirelay::RegisterPngImage();
  int status = 0;
  {
    mirelay::TForm1 form(QCoreApplication::applicationFilePath().toStdString());
    form.SetBatchWorkers(options->batchWorkers);
    form.show();
    status = QApplication::exec();
  }
  mirelay::UnregisterPngImage();
  return status;
}
