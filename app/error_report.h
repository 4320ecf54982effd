#pragma once

#include <QString>

class QWidget;

namespace mirelay {

inline constexpr char kApplicationTitle[] = "Mirelay";

// The error's text with "." appended when its last byte sorts after "." (every Japanese text).
QString ErrorReportText(const QByteArray& utf8Text);

// The default error report: a modal box titled with the application title, error icon, OK.
void ShowErrorReport(QWidget* parent, const QByteArray& utf8Text);

// A plain modal message: application title, no icon, OK.
void ShowMessage(QWidget* parent, const QString& text);

// The plain message without holding the window: it stays up while the user works on, and goes
// when closed.
void ShowNote(QWidget* parent, const QString& text);

}  // namespace mirelay
