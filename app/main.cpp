#include <QApplication>

#include "app/error_report.h"
#include "app/main_form.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(mirelay::kApplicationTitle);
  mirelay::TForm1 form(QCoreApplication::applicationFilePath().toStdString());
  form.show();
  return QApplication::exec();
}
