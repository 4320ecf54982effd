#pragma once

#include <QString>

class QWidget;

namespace mirelay {

// The modal one-line input box: the edited text after OK, otherwise `defaultText` unchanged.
QString AskText(QWidget* parent, const QString& caption, const QString& prompt,
                const QString& defaultText);

}  // namespace mirelay
