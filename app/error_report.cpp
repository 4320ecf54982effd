#include "app/error_report.h"

#include <QMessageBox>

namespace mirelay {

QString ErrorReportText(const QByteArray& utf8Text) {
  QByteArray text = utf8Text;
  if (!text.isEmpty() && static_cast<unsigned char>(text.back()) > '.') text.append('.');
  return QString::fromUtf8(text);
}

void ShowErrorReport(QWidget* parent, const QByteArray& utf8Text) {
  QMessageBox box(QMessageBox::Critical, kApplicationTitle, ErrorReportText(utf8Text),
                  QMessageBox::Ok, parent);
  box.exec();
}

void ShowMessage(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, kApplicationTitle, text, QMessageBox::Ok, parent);
  box.exec();
}

void ShowNote(QWidget* parent, const QString& text) {
  auto* box =
      new QMessageBox(QMessageBox::NoIcon, kApplicationTitle, text, QMessageBox::Ok, parent);
  box->setObjectName("note");
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setModal(false);
  box->show();
}

}  // namespace mirelay
