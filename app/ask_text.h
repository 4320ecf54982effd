#pragma once

#include <QString>
#include <string>

class QWidget;

namespace mirelay {

// The modal one-line input box: the edited text (UTF-8) after OK, otherwise `defaultText`
// byte for byte.
std::string AskText(QWidget* parent, const QString& caption, const QString& prompt,
                    const std::string& defaultText);

}  // namespace mirelay
