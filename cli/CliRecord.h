#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>
#include <cstdio>

// The frame trace: one line per frame sent ('>') or received ('<'), with the local time to the
// millisecond, the bytes in hex and the verdict on a received frame.
class TTrace {
public:
    // "-" is stderr. Raises nothing: Open returns false and sets error.
    bool Open(const QString& path, QString& error);
    void Frame(char direction, const QByteArray& frame, const QString& verdict);
    bool IsOpen() const { return FOut != nullptr; }
    ~TTrace();

private:
    std::FILE* FOut = nullptr;
    bool FOwned = false;
};

// The production log: a CSV file that gets one row per command, with a header when it is new.
class TProductionLog {
public:
    static QStringList Header();
    // Opens for appending and writes the header to an empty file. False (error set) when the file
    // cannot be written: the command then sends nothing.
    bool Open(const QString& path, QString& error);
    // Appends the row, flushes it and syncs the file to the disk.
    bool Append(const QStringList& fields, QString& error);
    bool IsOpen() const { return FFile.isOpen(); }

private:
    QFile FFile;
};

// A CSV field: quoted when it holds a comma, a quote or a line break.
QString CsvField(const QString& text);
// Local time with its offset from UTC: 2026-12-10T08:50:00.123+01:00.
QString LocalTimeWithZone();
// Bytes as upper-case hex pairs separated by blanks.
QString HexBytes(const QByteArray& bytes);
