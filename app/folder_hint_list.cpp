#include "app/folder_hint_list.h"

#include <QPainter>

namespace mirelay {

namespace {

constexpr int kHintMargin = 4;

}  // namespace

void FolderHintList::setFolderHint(const QString& hint) {
  hint_ = hint;
  viewport()->update();
}

void FolderHintList::paintEvent(QPaintEvent* event) {
  QListWidget::paintEvent(event);
  if (count() > 0 || hint_.isEmpty()) return;
  QPainter painter(viewport());
  painter.setPen(palette().color(QPalette::PlaceholderText));
  // A long path breaks wherever it must rather than running out of the narrow pane.
  painter.drawText(viewport()->rect().adjusted(kHintMargin, kHintMargin, -kHintMargin, 0),
                   Qt::AlignLeft | Qt::AlignTop | Qt::TextWrapAnywhere, hint_);
}

}  // namespace mirelay
