#include <QApplication>
#include <QScreen>

#include "app/error_report.h"
#include "app/main_form.h"
#include "imaging/gif.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(mirelay::kApplicationTitle);
  // Decided once: GIF pictures are dithered only for a palette display.
  const QScreen* screen = QGuiApplication::primaryScreen();
  mirelay::SetPaletteDisplay(screen != nullptr && screen->depth() <= 8);
  mirelay::TForm1 form(QCoreApplication::applicationFilePath().toStdString());
  form.show();
  return QApplication::exec();
}
