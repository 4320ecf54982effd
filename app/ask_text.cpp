#include "app/ask_text.h"

#include <QDialog>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <algorithm>

namespace mirelay {

namespace {

constexpr int kMaxTypedCharacters = 255;

// Converts dialog units of the box's font to pixels: a horizontal unit is a quarter of the
// average width of the 52 Latin letters, a vertical unit an eighth of their height.
class DialogUnits {
 public:
  explicit DialogUnits(const QFontMetrics& metrics)
      : lettersWidth_(
            metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")),
        lettersHeight_(metrics.height()) {}

  int X(int units) const { return (units * lettersWidth_ + 104) / 208; }
  int Y(int units) const { return (units * lettersHeight_ + 4) / 8; }
  QRect Rect(int x, int y, int width, int height) const {
    return QRect(X(x), Y(y), X(width), Y(height));
  }

 private:
  int lettersWidth_;
  int lettersHeight_;
};

}  // namespace

std::string AskText(QWidget* parent, const QString& caption, const QString& prompt,
                    const std::string& defaultText) {
  QDialog box(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  box.setWindowTitle(caption);
  const DialogUnits units(QFontMetrics(box.font()));

  auto* label = new QLabel(prompt, &box);
  label->move(units.X(8), units.Y(8));
  label->adjustSize();

  auto* edit = new QLineEdit(&box);
  edit->setObjectName("edit");
  // A longer default is shown whole; once edited down to the limit, typing cannot pass it.
  const QString shownDefault = QString::fromUtf8(defaultText);
  edit->setMaxLength(std::max<qsizetype>(kMaxTypedCharacters, shownDefault.size()));
  edit->setText(shownDefault);
  QObject::connect(edit, &QLineEdit::textEdited, edit, [edit](const QString& text) {
    if (text.size() <= kMaxTypedCharacters) edit->setMaxLength(kMaxTypedCharacters);
  });
  edit->setGeometry(units.X(8), units.Y(19), units.X(164), edit->sizeHint().height());
  edit->selectAll();

  auto* ok = new QPushButton("OK", &box);
  ok->setGeometry(units.Rect(38, 41, 50, 14));
  ok->setDefault(true);
  QObject::connect(ok, &QPushButton::clicked, &box, &QDialog::accept);

  auto* cancel = new QPushButton("キャンセル", &box);
  cancel->setGeometry(units.Rect(92, 41, 50, 14));
  QObject::connect(cancel, &QPushButton::clicked, &box, &QDialog::reject);

  box.setFixedSize(units.X(180), units.Y(63));
  if (const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen()) {
    box.move(screen->geometry().center() - box.rect().center());
  }
  edit->setFocus();
  // The box shows the default through UTF-8, which loses bytes that are not UTF-8; unless the
  // text was changed, the caller gets its own bytes back.
  if (box.exec() != QDialog::Accepted || edit->text() == shownDefault) return defaultText;
  return edit->text().toStdString();
}

}  // namespace mirelay
