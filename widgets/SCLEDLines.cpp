#include "widgets/SCLEDLines.h"

#include <stdexcept>
#include <string>

void TSCLEDLines::CheckIndex(int index, int limit) const {
    if (index < 0 || index >= limit)
        throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
}

void TSCLEDLines::Changed() {
    if (OnChange)
        OnChange();
}

QString TSCLEDLines::Strings(int index) const {
    CheckIndex(index, Count());
    return FItems[index];
}

void TSCLEDLines::SetStrings(int index, const QString& value) {
    CheckIndex(index, Count());
    FItems[index] = value;
    Changed();
}

void TSCLEDLines::Add(const QString& value) {
    FItems.append(value);
    Changed();
}

void TSCLEDLines::Insert(int index, const QString& value) {
    CheckIndex(index, Count() + 1);
    FItems.insert(index, value);
    Changed();
}

void TSCLEDLines::Delete(int index) {
    CheckIndex(index, Count());
    FItems.removeAt(index);
    Changed();
}

void TSCLEDLines::Clear() {
    if (FItems.isEmpty())
        return;
    FItems.clear();
    Changed();
}

void TSCLEDLines::Assign(const QStringList& items) {
    FItems = items;
    Changed();
}

QString TSCLEDLines::Text() const {
    QString text;
    for (const QString& line : FItems) {
        text += line;
        text += QStringLiteral("\r\n");
    }
    return text;
}

void TSCLEDLines::SetText(const QString& text) {
    QStringList items;
    QString line;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\r' || c == u'\n') {
            items.append(line);
            line.clear();
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
        } else {
            line += c;
        }
    }
    if (!line.isEmpty())
        items.append(line);
    Assign(items);
}
