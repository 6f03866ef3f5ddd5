#pragma once

#include <QByteArray>
#include <QtGlobal>

// Request frames in wire order, CRC included: slave ID, function, then the function's fields high
// byte first, then the CRC low byte first.

// Read request (function 3 or 4): start register and register count.
QByteArray BuildReadRequest(quint8 slave, quint8 function, quint16 start, quint16 count);

inline constexpr int kMaxWriteData = 246;

// Write request (function 16): start register, the register count field as given, the byte count
// and the data bytes. The memory copy puts the number of registers in the count field; the
// suffix and hour writes put 0 there although data follow, which the controller expects.
QByteArray BuildWriteRequest(quint8 slave, quint16 start, quint16 countField,
                             const QByteArray& data);

// The communication test: 44 input registers from 0.
QByteArray BuildCommTestRequest(quint8 slave);
