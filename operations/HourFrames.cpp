#include "operations/HourFrames.h"

#include <array>

#include "app/NumConv.h"
#include "protocol/Frames.h"

namespace {

constexpr std::array<quint16, kHourModelCount> kHourRegisters{0xC1E0, 0xC1D0, 0xC180, 0xC160};

void AppendLong(QByteArray& data, quint32 value) {
    for (int shift = 0; shift < 32; shift += 8)
        data.append(char((value >> shift) & 0xFF));
}

void AppendWord(QByteArray& data, quint16 value) {
    data.append(char(value & 0xFF));
    data.append(char(value >> 8));
}

// Unsigned arithmetic: a product too large for the type wraps instead of overflowing, and only
// its low bits are sent anyway.
quint32 Low32(const QString& box, quint64 factor = 1) {
    return quint32(quint64(StrToInt64(box)) * factor);
}

quint16 Low16Of32(const QString& box, quint32 factor) {
    return quint16(quint32(StrToInt(box)) * factor);
}

// Models 0 and 1: six 32-bit values (four for model 1). The controller counts the running time's
// minutes in seconds and the energy fraction boxes in units of 36.
QByteArray WideData(bool withThirdPair, const THourBoxes& b) {
    QByteArray data;
    AppendLong(data, Low32(b.Min1, 60));
    AppendLong(data, Low32(b.Hour1));
    AppendLong(data, Low32(b.Min2, 36));
    AppendLong(data, Low32(b.Hour2));
    if (withThirdPair) {
        AppendLong(data, Low32(b.Min3, 36));
        AppendLong(data, Low32(b.Hour3));
    }
    return data;
}

// Models 2 and 3: four 16-bit fields (the two minute boxes as seconds, then two zero fields) and
// four 32-bit values, the last one repeating the third box.
QByteArray NarrowData(const THourBoxes& b) {
    QByteArray data;
    AppendWord(data, Low16Of32(b.Min1, 60));
    AppendWord(data, Low16Of32(b.Min2, 60));
    AppendWord(data, 0);
    AppendWord(data, 0);
    AppendLong(data, quint32(StrToInt(b.Hour1)));
    AppendLong(data, quint32(StrToInt(b.Hour2)));
    const auto hour3 = quint32(StrToInt(b.Hour3));
    AppendLong(data, hour3);
    AppendLong(data, hour3);
    return data;
}

}  // namespace

quint16 HourRegister(int model) {
    return kHourRegisters.at(std::size_t(model));
}

QByteArray HourData(int model, const THourBoxes& boxes) {
    switch (model) {
        case 0:
            return WideData(true, boxes);
        case 1:
            return WideData(false, boxes);
        default:
            return NarrowData(boxes);
    }
}

QByteArray BuildHourRequest(quint8 slave, int model, const THourBoxes& boxes) {
    const quint16 address = HourRegister(model);
    return BuildWriteRequest(slave, address, 0, HourData(model, boxes));
}

THourLayout HourLayout(int model) {
    switch (model) {
        case 0:
            return {QStringLiteral("운전시간"),
                    QStringLiteral("적산 전력량"),
                    QStringLiteral("."),
                    QStringLiteral("무효 전력량"),
                    QStringLiteral("."),
                    true,
                    true};
        case 1:
            return {QStringLiteral("운전시간"),
                    QStringLiteral("적산 전력량"),
                    QStringLiteral("."),
                    std::nullopt,
                    std::nullopt,
                    false,
                    false};
        default:
            return {QStringLiteral("총 운전시간"),
                    QStringLiteral("부하운전시간"),
                    QStringLiteral(":"),
                    QStringLiteral("적산 전력량"),
                    QStringLiteral("."),
                    true,
                    false};
    }
}

QStringList HourModelNames() {
    return {QStringLiteral("Kestra S7"), QStringLiteral("Kestra M1,M2"), QStringLiteral("Orvel 500i"),
            QStringLiteral("Orvel 500, Dantro")};
}
