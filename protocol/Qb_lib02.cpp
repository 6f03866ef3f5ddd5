#include "protocol/Qb_lib02.h"

namespace {

quint32 HexStrToValue(QString text, int maxDigits) {
    const int length = text.size();
    if (length == 0 || length > maxDigits)
        return 0;
    quint32 value = 0;
    quint32 weight = 1;
    for (int i = length - 1; i >= 0; --i) {
        QChar c = text[i];  // a copy: folding must not reach the caller's text
        value += weight * HexCharToNibble(c);
        weight *= 16;
    }
    return value;
}

}  // namespace

QChar DigitToChar(quint8 value) {
    if (value <= 9)
        return QChar(u'0' + value);
    if (value <= 31)
        return QChar(u'A' + value - 10);
    return QChar(u'*');
}

QString ByteToHexStr(quint8 value) {
    QString text(2, QChar());
    text[0] = DigitToChar(value >> 4);
    text[1] = DigitToChar(value & 0x0F);
    return text;
}

quint8 HexCharToNibble(QChar& c) {
    const char16_t code = c.unicode();
    if (code >= u'a' && code <= u'z')
        c = QChar(static_cast<char16_t>(code & ~0x20));
    const char16_t upper = c.unicode();
    if (upper >= u'0' && upper <= u'9')
        return static_cast<quint8>(upper - u'0');
    if (upper >= u'A' && upper <= u'F')
        return static_cast<quint8>(upper - u'A' + 10);
    return 0;
}

quint8 HexStrToByte(const QString& text) {
    return static_cast<quint8>(HexStrToValue(text, 2));
}

quint16 HexStrToWord(const QString& text) {
    return static_cast<quint16>(HexStrToValue(text, 4));
}
