#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <array>

// The controller's registers as Quorrin uses them, and the slave-side answer to one request.
// Pure code: bytes in, bytes out, no I/O.

constexpr quint16 kWindowBase = 0xC000;
constexpr int kWindowSize = 4096;
constexpr int kInputCount = 44;

enum TModbusException : quint8 {
    IllegalFunction = 0x01,
    IllegalDataAddress = 0x02,
    IllegalDataValue = 0x03,
};

struct TControllerMemory {
    // Byte addressed: register address 0xC000 + k names the byte at k.
    QByteArray Window = QByteArray(kWindowSize, '\0');
    std::array<quint16, kInputCount> Inputs{};
    // The data of the last zero-count record write (suffixes, hour meters), by register address.
    QMap<quint16, QByteArray> Records;
};

// The memory a simulator starts with when no image file is given: byte k holds k mod 251, so
// that no two neighbouring blocks look alike; fill >= 0 gives that byte everywhere instead.
// Input register i holds i.
TControllerMemory DefaultMemory(int fill = -1);

struct TAnswer {
    QByteArray Reply;  // the complete reply, CRC included
    QString Note;      // what the request did, for the log
    bool RecordStored = false;
};

// Answers one request whose CRC has been checked. Writes are carried out in memory; every
// request gets a reply (a normal one or an exception), the caller decides whether it is sent.
TAnswer AnswerRequest(TControllerMemory& memory, const QByteArray& frame);

QByteArray ExceptionReply(quint8 slaveId, quint8 function, quint8 code);

// The frame with its two CRC bytes appended, low-order byte first.
QByteArray WithCrc(QByteArray frame);

// True when the last two bytes are the CRC of the bytes before them.
bool CrcValid(const QByteArray& frame);

// The byte count a zero-count record write must carry at this register address; 0 when the
// address takes no such write.
int RecordLength(quint16 address);

// Bytes as upper-case hex pairs separated by blanks.
QString HexBytes(const QByteArray& bytes);
