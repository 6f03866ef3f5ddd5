#pragma once

#include <QByteArray>
#include <QString>

// Whole-file access for the memory file. Failures raise the file errors (EInOutError) with the
// platform's error number: "Cannot open file" or "Cannot create file" when the file cannot be
// opened, the general file error when reading or writing fails afterwards.

QByteArray ReadMemoryFile(const QString& fileName);
// Replaces an existing file without asking.
void WriteMemoryFile(const QString& fileName, const QByteArray& bytes);
