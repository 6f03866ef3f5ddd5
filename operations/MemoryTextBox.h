#pragma once

#include <QString>

class QPlainTextEdit;

// The memory text lives in its box. The box's document keeps each line break as one paragraph
// separator; the memory text has only CR LF breaks (OPEN turns every break into one), so the text
// is given back with CR LF wherever the document has a separator.

QString MemoryText(const QPlainTextEdit& box);
void SetMemoryText(QPlainTextEdit& box, const QString& text);
// Appends at the end, so that the box shows the text grow.
void AppendMemoryText(QPlainTextEdit& box, const QString& text);
