#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <span>

// Modbus CRC-16 over the first n bytes of a frame. The frame is never modified and never read
// beyond its end: a count larger than the frame covers the whole frame.

// Both CRC bytes in one word, in wire order: the high byte of the result is the first byte on the
// wire (the CRC's low-order byte), the low byte the second. A reply check compares this with
// frame[n] * 256 + frame[n + 1].
quint16 CalcCRC16(std::span<const quint8> frame, quint16 n);

// The first CRC byte on the wire (the CRC's low-order byte); used to build requests.
quint8 CRC16Low(std::span<const quint8> frame, quint8 n);

// The second CRC byte on the wire (the CRC's high-order byte).
quint8 CRC16High(std::span<const quint8> frame, quint8 n);

// A view of a QByteArray as bytes, for the functions above.
std::span<const quint8> AsBytes(const QByteArray& frame);
