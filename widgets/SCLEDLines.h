#pragma once

#include <QString>
#include <QStringList>
#include <functional>

// The multi-line text of an LED display: a list of strings that tells its owner about every
// change, including edits made in place through the owner's Lines().
class TSCLEDLines {
public:
    int Count() const { return int(FItems.size()); }
    QString Strings(int index) const;
    void SetStrings(int index, const QString& value);
    void Add(const QString& value);
    void Insert(int index, const QString& value);
    void Delete(int index);
    void Clear();
    void Assign(const QStringList& items);
    const QStringList& Items() const { return FItems; }

    // Every line followed by CR LF, as the display's text layout expects it.
    QString Text() const;
    // Splits at CR LF, LF or CR; a final line break does not start another line.
    void SetText(const QString& text);

    // Called after every change.
    std::function<void()> OnChange;

private:
    void CheckIndex(int index, int limit) const;
    void Changed();

    QStringList FItems;
};
