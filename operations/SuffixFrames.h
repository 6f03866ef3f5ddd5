#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// The serial-number suffix and board suffix records: one function 16 request of four data bytes
// each. An empty box is sent as 0xFF, so that a record left all blank erases the suffix in the
// controller. The register count field is 0 although four bytes follow: the controller expects it
// so.

// Register address of the serial-number suffix for the row of the model box: row 0 (every model
// but Kestra M2) keeps it at 0xCFF1, any other row at 0xC001.
quint16 SuffixRegister(int suffixRow);

inline constexpr quint16 kBoardSuffixRegister = 0xCFF6;

// Year and company are characters (the low 8 bits of the first character's code); the number is
// converted leniently (0 for a text that is not an integer) and sent as its low 16 bits, low byte
// first.
QByteArray BuildSuffixRequest(quint8 slave, int suffixRow, const QString& year,
                              const QString& company, const QString& number);

// Year and month are numbers, sent as their low 8 bits; the board number as its low 16 bits, low
// byte first. All three are converted leniently.
QByteArray BuildBoardSuffixRequest(quint8 slave, const QString& year, const QString& month,
                                   const QString& number);

// The rows of the suffix page's model list, as the operator sees them.
QStringList SuffixModelNames();
