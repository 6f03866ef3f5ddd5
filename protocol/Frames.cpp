#include "protocol/Frames.h"

#include "app/Errors.h"
#include "protocol/CRC16.h"

namespace {

void AppendWord(QByteArray& frame, quint16 value) {
    frame.append(char(value >> 8));
    frame.append(char(value & 0xFF));
}

void AppendCrc(QByteArray& frame) {
    const auto n = static_cast<quint8>(frame.size());
    const auto bytes = AsBytes(frame);
    const quint8 low = CRC16Low(bytes, n);
    const quint8 high = CRC16High(bytes, n);
    frame.append(char(low));
    frame.append(char(high));
}

}  // namespace

QByteArray BuildReadRequest(quint8 slave, quint8 function, quint16 start, quint16 count) {
    QByteArray frame;
    frame.reserve(8);
    frame.append(char(slave));
    frame.append(char(function));
    AppendWord(frame, start);
    AppendWord(frame, count);
    AppendCrc(frame);
    return frame;
}

QByteArray BuildWriteRequest(quint8 slave, quint16 start, quint16 countField,
                             const QByteArray& data) {
    // The byte count field is one byte and the CRC covers at most 255 bytes: a longer block
    // cannot be framed, and must never go out with a wrapped count.
    if (data.size() > kMaxWriteData)
        throw EQuorrin(
            QStringLiteral("A write request carries at most %1 data bytes").arg(kMaxWriteData));
    QByteArray frame;
    frame.reserve(9 + data.size());
    frame.append(char(slave));
    frame.append(char(16));
    AppendWord(frame, start);
    AppendWord(frame, countField);
    frame.append(char(data.size()));
    frame.append(data);
    AppendCrc(frame);
    return frame;
}

QByteArray BuildCommTestRequest(quint8 slave) {
    return BuildReadRequest(slave, 4, 0x0000, 44);
}
