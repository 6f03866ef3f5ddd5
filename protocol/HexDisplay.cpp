#include "protocol/HexDisplay.h"

#include "protocol/CRC16.h"
#include "protocol/Qb_lib02.h"

namespace {

void AppendCode(QString& out, char16_t code) {
    out += QString::number(code, 16).toUpper().rightJustified(2, u'0');
}

}  // namespace

QString HexDisplayText(const QString& sStr) {
    QString out;
    out.reserve(sStr.size() * 2);
    for (QChar c : sStr)
        AppendCode(out, c.unicode());
    return out;
}

QString OneSpaceHexDisplayText(const QString& sStr) {
    if (sStr.size() == 1)
        return HexDisplayText(sStr);
    QString out;
    out.reserve(sStr.size() * 3);
    for (QChar c : sStr) {
        AppendCode(out, c.unicode());
        out += u' ';
    }
    return out;
}

QString IntToHexDisplayText(std::span<const quint8> iByte) {
    QString out;
    out.reserve(static_cast<qsizetype>(iByte.size()) * 3);
    for (quint8 b : iByte) {
        out += ByteToHexStr(b);
        out += u' ';
    }
    return out;
}

QString IntToHexDisplayText(const QByteArray& iByte) {
    return IntToHexDisplayText(AsBytes(iByte));
}

bool CheckCRC16(std::span<const quint8> putMsg) {
    const std::size_t n = putMsg.size();
    if (n < 2)
        return false;
    // The count is 16 bits wide; a longer array cannot be a reply of ours.
    if (n - 2 > 0xFFFF)
        return false;
    const quint16 crc = CalcCRC16(putMsg, static_cast<quint16>(n - 2));
    return crc == (putMsg[n - 2] << 8 | putMsg[n - 1]);
}

bool CheckCRC16(const QByteArray& putMsg) {
    return CheckCRC16(AsBytes(putMsg));
}
