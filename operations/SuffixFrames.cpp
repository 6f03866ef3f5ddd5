#include "operations/SuffixFrames.h"

#include "app/NumConv.h"
#include "protocol/Frames.h"

namespace {

constexpr char kEmpty = char(0xFF);

char CharacterByte(const QString& text) {
    return text.isEmpty() ? kEmpty : char(text.front().unicode() & 0xFF);
}

char NumberLowByte(const QString& text) {
    return text.isEmpty() ? kEmpty : char(quint32(StrToIntDef(text, 0)) & 0xFF);
}

void AppendNumberWord(QByteArray& data, const QString& text) {
    if (text.isEmpty()) {
        data.append(kEmpty);
        data.append(kEmpty);
        return;
    }
    const auto value = quint16(StrToIntDef(text, 0));
    data.append(char(value & 0xFF));
    data.append(char(value >> 8));
}

}  // namespace

quint16 SuffixRegister(int suffixRow) {
    return suffixRow == 0 ? 0xCFF1 : 0xC001;
}

QByteArray BuildSuffixRequest(quint8 slave, int suffixRow, const QString& year,
                              const QString& company, const QString& number) {
    QByteArray data;
    data.append(CharacterByte(year));
    data.append(CharacterByte(company));
    AppendNumberWord(data, number);
    return BuildWriteRequest(slave, SuffixRegister(suffixRow), 0, data);
}

QByteArray BuildBoardSuffixRequest(quint8 slave, const QString& year, const QString& month,
                                   const QString& number) {
    QByteArray data;
    data.append(NumberLowByte(year));
    data.append(NumberLowByte(month));
    AppendNumberWord(data, number);
    return BuildWriteRequest(slave, kBoardSuffixRegister, 0, data);
}

QStringList SuffixModelNames() {
    return {QStringLiteral("Kestra M2 제외 전모델"), QStringLiteral("Kestra M1,M2")};
}
