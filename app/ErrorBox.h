#pragma once

#include <QString>
#include <exception>

#include "app/Errors.h"

// The application title: the executable's file name without directory and extension, every
// character after the first in lower case.
QString ApplicationTitle();
QString ApplicationTitleFromPath(const QString& executablePath);

// The default error box's text: the message, with a full stop added when its last character sorts
// above the full stop (so letters and digits gain one, quotes and parentheses do not).
QString ErrorBoxText(const QString& message);

// Modal box with the critical icon, one OK button and the application title as caption.
void ShowErrorBox(const QString& message);

// The platform's plain message box: the text, one OK button, no icon.
void ShowPlainMessage(const QString& text);

// Shows whatever escaped a handler in the default error box.
void ShowCurrentException(std::exception_ptr error) noexcept;
