#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <span>

// Monitor line formatters and the reply check. The main window's methods of the same names call
// these; they live here so that they can be used and tested without a window.

// Every character code as upper-case hex of at least two digits, without separators.
QString HexDisplayText(const QString& sStr);

// Every character code as hex followed by one blank. A text of exactly one character gives its
// digits without the blank.
QString OneSpaceHexDisplayText(const QString& sStr);

// Every byte as two hex digits followed by one blank: the transmit monitor line.
QString IntToHexDisplayText(std::span<const quint8> iByte);
QString IntToHexDisplayText(const QByteArray& iByte);

// True when the last two bytes are the CRC of everything before them, in wire order. Fewer than
// two bytes never pass.
bool CheckCRC16(std::span<const quint8> putMsg);
bool CheckCRC16(const QByteArray& putMsg);
