#include "sim/RegisterMap.h"

#include "protocol/CRC16.h"

namespace {

// Modbus limits on the register count of one request.
constexpr int kMaxReadCount = 125;
constexpr int kMaxWriteCount = 123;

quint16 Word(const QByteArray& frame, int at) {
    return quint16(quint8(frame[at]) << 8 | quint8(frame[at + 1]));
}

void AppendWord(QByteArray& frame, quint16 value) {
    frame.append(char(value >> 8));
    frame.append(char(value & 0xFF));
}

QString Address(quint16 address) {
    return QStringLiteral("%1").arg(address, 4, 16, QLatin1Char('0')).toUpper();
}

TAnswer Refuse(const QByteArray& frame, quint8 code, const QString& why) {
    return {ExceptionReply(quint8(frame[0]), quint8(frame[1]), code),
            QStringLiteral("exception %1: %2").arg(code, 2, 16, QLatin1Char('0')).arg(why)};
}

// Where a byte range lies inside the memory window, or -1.
int WindowOffset(quint16 address, int bytes) {
    if (address < kWindowBase)
        return -1;
    const int offset = address - kWindowBase;
    return offset + bytes <= kWindowSize ? offset : -1;
}

QString RecordName(quint16 address) {
    switch (address) {
        case 0xCFF1:
        case 0xC001:
            return QStringLiteral("serial suffix");
        case 0xCFF6:
            return QStringLiteral("board suffix");
        default:
            return QStringLiteral("hour meters");
    }
}

TAnswer ReadHolding(TControllerMemory& memory, const QByteArray& frame) {
    const quint16 address = Word(frame, 2);
    const int count = Word(frame, 4);
    if (count < 1 || count > kMaxReadCount)
        return Refuse(frame, IllegalDataValue, QStringLiteral("read of %1 registers").arg(count));
    const int offset = WindowOffset(address, 2 * count);
    if (offset < 0)
        return Refuse(frame, IllegalDataAddress,
                      QStringLiteral("read of %1 registers at %2 leaves the memory window")
                          .arg(count)
                          .arg(Address(address)));
    QByteArray reply = frame.left(2);
    reply.append(char(2 * count));
    reply.append(memory.Window.mid(offset, 2 * count));
    return {WithCrc(reply),
            QStringLiteral("read %1 bytes at offset %2").arg(2 * count).arg(offset)};
}

TAnswer ReadInputs(TControllerMemory& memory, const QByteArray& frame) {
    const int address = Word(frame, 2);
    const int count = Word(frame, 4);
    if (count < 1 || count > kMaxReadCount)
        return Refuse(frame, IllegalDataValue,
                      QStringLiteral("read of %1 input registers").arg(count));
    if (address + count > kInputCount)
        return Refuse(frame, IllegalDataAddress,
                      QStringLiteral("read of %1 input registers from %2").arg(count).arg(address));
    QByteArray reply = frame.left(2);
    reply.append(char(2 * count));
    for (int i = 0; i < count; ++i)
        AppendWord(reply, memory.Inputs[size_t(address + i)]);
    return {WithCrc(reply),
            QStringLiteral("read %1 input registers from %2").arg(count).arg(address)};
}

TAnswer WriteMultiple(TControllerMemory& memory, const QByteArray& frame) {
    if (frame.size() < 9 || frame.size() != 9 + quint8(frame[6]))
        return Refuse(frame, IllegalDataValue,
                      QStringLiteral("write frame of %1 bytes").arg(frame.size()));
    const quint16 address = Word(frame, 2);
    const int count = Word(frame, 4);
    const int bytes = quint8(frame[6]);
    const QByteArray data = frame.mid(7, bytes);
    QByteArray reply = WithCrc(frame.left(6));

    // The suffix and hour-meter writes carry register count 0 and their own byte count; the
    // controller takes them only at their own addresses.
    if (count == 0) {
        const int expected = RecordLength(address);
        if (expected == 0 || bytes != expected)
            return Refuse(frame, IllegalDataValue,
                          QStringLiteral("write of %1 bytes with register count 0 at %2")
                              .arg(bytes)
                              .arg(Address(address)));
        memory.Records[address] = data;
        // They land in the byte-addressed window like any other write, so a read shows them.
        memory.Window.replace(address - kWindowBase, bytes, data);
        return {reply,
                QStringLiteral("%1 %2 <- %3")
                    .arg(RecordName(address), Address(address), HexBytes(data)),
                true};
    }
    if (count > kMaxWriteCount || bytes != 2 * count)
        return Refuse(
            frame, IllegalDataValue,
            QStringLiteral("write of %1 registers with byte count %2").arg(count).arg(bytes));
    const int offset = WindowOffset(address, bytes);
    if (offset < 0)
        return Refuse(frame, IllegalDataAddress,
                      QStringLiteral("write of %1 registers at %2 leaves the memory window")
                          .arg(count)
                          .arg(Address(address)));
    memory.Window.replace(offset, bytes, data);
    return {reply, QStringLiteral("wrote %1 bytes at offset %2").arg(bytes).arg(offset)};
}

}  // namespace

TControllerMemory DefaultMemory(int fill) {
    TControllerMemory memory;
    for (int k = 0; k < kWindowSize; ++k)
        memory.Window[k] = char(fill >= 0 ? fill : k % 251);
    for (int i = 0; i < kInputCount; ++i)
        memory.Inputs[size_t(i)] = quint16(i);
    return memory;
}

TAnswer AnswerRequest(TControllerMemory& memory, const QByteArray& frame) {
    const quint8 function = quint8(frame[1]);
    if (function == 3 || function == 4) {
        if (frame.size() != 8)
            return Refuse(frame, IllegalDataValue,
                          QStringLiteral("read frame of %1 bytes").arg(frame.size()));
        return function == 3 ? ReadHolding(memory, frame) : ReadInputs(memory, frame);
    }
    if (function == 16)
        return WriteMultiple(memory, frame);
    return Refuse(frame, IllegalFunction, QStringLiteral("function %1").arg(function));
}

QByteArray ExceptionReply(quint8 slaveId, quint8 function, quint8 code) {
    QByteArray reply;
    reply.append(char(slaveId));
    reply.append(char(function | 0x80));
    reply.append(char(code));
    return WithCrc(reply);
}

QByteArray WithCrc(QByteArray frame) {
    const quint16 crc = CalcCRC16(AsBytes(frame), quint16(frame.size()));
    AppendWord(frame, crc);
    return frame;
}

bool CrcValid(const QByteArray& frame) {
    if (frame.size() < 4)
        return false;
    const int n = int(frame.size()) - 2;
    return CalcCRC16(AsBytes(frame), quint16(n)) == Word(frame, n);
}

int RecordLength(quint16 address) {
    switch (address) {
        case 0xCFF1:
        case 0xC001:
        case 0xCFF6:
            return 4;
        case 0xC1D0:
            return 16;
        case 0xC1E0:
        case 0xC180:
        case 0xC160:
            return 24;
        default:
            return 0;
    }
}

QString HexBytes(const QByteArray& bytes) {
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}
