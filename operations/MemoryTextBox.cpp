#include "operations/MemoryTextBox.h"

#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>

QString MemoryText(const QPlainTextEdit& box) {
    // The raw text, unlike the plain text, keeps no-break spaces as they are.
    QString text = box.document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QStringLiteral("\r\n"));
    return text;
}

void SetMemoryText(QPlainTextEdit& box, const QString& text) {
    box.setPlainText(text);
}

void AppendMemoryText(QPlainTextEdit& box, const QString& text) {
    QTextCursor end(box.document());
    end.movePosition(QTextCursor::End);
    end.insertText(text);
}
