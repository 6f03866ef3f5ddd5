#pragma once

// Helpers shared by the fuzz targets: reading the fuzzer's bytes as choices, a failed property as
// a finding, the Qt application for the targets that need one, and reference versions of the
// checksum and hex digits written independently of the code under test.

#include <QByteArray>
#include <QDir>
#include <QString>
#include <QtGlobal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

#include "app/Application.h"

// A property that does not hold is a finding: the message names it, abort() makes libFuzzer keep
// the input as a crash file.
#define FUZZ_CHECK(condition, ...)                                                       \
    do {                                                                                 \
        if (!(condition)) {                                                              \
            std::fprintf(stderr, "FUZZ_CHECK failed at %s:%d: %s\n", __FILE__, __LINE__, \
                         #condition);                                                    \
            std::fprintf(stderr, "  " __VA_ARGS__);                                      \
            std::fprintf(stderr, "\n");                                                  \
            std::abort();                                                                \
        }                                                                                \
    } while (false)

// The fuzzer's input taken from the front: single bytes for choices, the rest as payload. Reading
// past the end gives zeros, so that every input, however short, makes a complete choice.
class TFuzzInput {
public:
    TFuzzInput(const uint8_t* data, size_t size) : FData(data), FSize(size) {}

    quint8 Byte() { return FPos < FSize ? FData[FPos++] : 0; }
    quint16 Word() { return quint16(Byte() | Byte() << 8); }
    QByteArray Take(size_t count) {
        const size_t n = qMin(count, FSize - FPos);
        const QByteArray bytes(reinterpret_cast<const char*>(FData + FPos), qsizetype(n));
        FPos += n;
        return bytes;
    }
    QByteArray Rest() { return Take(FSize - FPos); }
    size_t Left() const { return FSize - FPos; }

private:
    const uint8_t* FData;
    size_t FSize;
    size_t FPos = 0;
};

// Modbus CRC-16 computed bit by bit (polynomial 0xA001 reflected, start 0xFFFF), as the line
// protocol defines it: an oracle for the table-driven code of the program.
inline quint16 ReferenceCrc(std::span<const quint8> bytes) {
    quint16 crc = 0xFFFF;
    for (quint8 b : bytes) {
        crc ^= b;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    return crc;
}

inline std::span<const quint8> Bytes(const QByteArray& a) {
    return {reinterpret_cast<const quint8*>(a.constData()), size_t(a.size())};
}

// The frame followed by its CRC, low-order byte first.
inline QByteArray WithReferenceCrc(QByteArray frame) {
    const quint16 crc = ReferenceCrc(Bytes(frame));
    frame.append(char(crc & 0xFF));
    frame.append(char(crc >> 8));
    return frame;
}

// Value of a hex digit of either case, -1 for any other character.
inline int ReferenceNibble(char16_t c) {
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    return -1;
}

// Upper-case hex of the bytes, two digits each, no separators.
inline QString ReferenceHex(std::span<const quint8> bytes) {
    static const char16_t kDigits[] = u"0123456789ABCDEF";
    QString text;
    text.reserve(qsizetype(bytes.size() * 2));
    for (quint8 b : bytes) {
        text += QChar(kDigits[b >> 4]);
        text += QChar(kDigits[b & 0x0F]);
    }
    return text;
}

// Where the targets that work on files keep them: memory-backed when the machine has it, so that
// the file system's syncs cost nothing.
inline QString ScratchParent() {
    return QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm")
                                                     : QDir::tempPath();
}

// For the targets with widgets: fontconfig keeps what it loads for the life of the process
// without a pointer the leak checker can see, which it would report as a leak of the first input
// that shows text. Everything else still counts.
#define QUORRIN_FUZZ_GUI_LEAK_SUPPRESSIONS()               \
    extern "C" const char* __lsan_default_suppressions() { \
        return "leak:libfontconfig.so\n";                  \
    }                                                      \
    extern "C" const char* __lsan_default_options() {      \
        return "print_suppressions=0";                     \
    }

// Creates the application object once, offscreen, for the targets that need widgets or fonts. It
// lives until the process ends.
inline void EnsureApplication() {
    if (QCoreApplication::instance() != nullptr)
        return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt takes its own arguments out of the list it is given: it never sees the fuzzer's.
    static int argc = 1;
    static char name[] = "quorrin-fuzz";
    static char* argv[] = {name, nullptr};
    new TApplication(argc, argv);
    // Qt's warnings about fonts and platform plugins would drown the fuzzer's own output.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            std::fprintf(stderr, "%s\n", qPrintable(message));
    });
}
