#pragma once

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <functional>

namespace mirelay::testing_support {

// Runs `act` on the next modal window as soon as it is shown (polled from the event loop that
// the modal window itself runs), so tests never sleep.
inline void OnNextModal(std::function<void(QWidget*)> act) {
  auto* timer = new QTimer;
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [timer, act] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    act(modal);
  });
  timer->start();
}

struct SeenBox {
  QString title;
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  bool shown = false;
};

// Records the next message box and presses its OK button.
inline void AcceptNextMessageBox(SeenBox& seen) {
  OnNextModal([&seen](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    if (box == nullptr) return;
    seen = {box->windowTitle(), box->text(), box->icon(), true};
    box->accept();
  });
}

// Types `text` into the next input box and closes it with OK (accept) or Cancel.
inline void AnswerNextInputBox(const QString& text, bool accept = true,
                               QString* caption = nullptr) {
  OnNextModal([=](QWidget* modal) {
    auto* dialog = qobject_cast<QDialog*>(modal);
    if (caption) *caption = modal->windowTitle();
    if (auto* edit = modal->findChild<QLineEdit*>()) edit->setText(text);
    accept ? dialog->accept() : dialog->reject();
  });
}

}  // namespace mirelay::testing_support
