#include "app/NumConv.h"

#include <limits>

#include "app/Errors.h"

namespace {

int DigitValue(char16_t c, int base) {
    int v = -1;
    if (c >= u'0' && c <= u'9')
        v = c - u'0';
    if (base == 16 && c >= u'A' && c <= u'F')
        v = c - u'A' + 10;
    if (base == 16 && c >= u'a' && c <= u'f')
        v = c - u'a' + 10;
    return v;
}

[[noreturn]] void RaiseNotInteger(const QString& text) {
    throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(text));
}

}  // namespace

bool TryStrToInteger(const QString& text, qint64 min, qint64 max, qint64& value) {
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    int base = 10;
    if (i < n && text[i] == u'$') {
        base = 16;
        ++i;
    } else if (i + 1 < n && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        base = 16;
        i += 2;
    }
    if (i == n)
        return false;  // no digits at all

    // Accumulate the magnitude as unsigned, so that the most negative value still fits.
    const quint64 limit =
        negative ? (min < 0 ? quint64(-(min + 1)) + 1 : 0) : (max < 0 ? 0 : quint64(max));
    quint64 magnitude = 0;
    for (; i < n; ++i) {
        const int d = DigitValue(text[i].unicode(), base);
        if (d < 0)
            return false;
        if (quint64(d) > limit || magnitude > (limit - quint64(d)) / quint64(base))
            return false;
        magnitude = magnitude * quint64(base) + quint64(d);
    }
    value = negative ? qint64(0 - magnitude) : qint64(magnitude);
    return true;
}

qint32 StrToInt(const QString& text) {
    qint64 v = 0;
    if (!TryStrToInteger(text, std::numeric_limits<qint32>::min(),
                         std::numeric_limits<qint32>::max(), v))
        RaiseNotInteger(text);
    return static_cast<qint32>(v);
}

qint64 StrToInt64(const QString& text) {
    qint64 v = 0;
    if (!TryStrToInteger(text, std::numeric_limits<qint64>::min(),
                         std::numeric_limits<qint64>::max(), v))
        RaiseNotInteger(text);
    return v;
}

qint32 StrToIntDef(const QString& text, qint32 fallback) {
    qint64 v = 0;
    if (!TryStrToInteger(text, std::numeric_limits<qint32>::min(),
                         std::numeric_limits<qint32>::max(), v))
        return fallback;
    return static_cast<qint32>(v);
}

qint64 StrToInt64Def(const QString& text, qint64 fallback) {
    qint64 v = 0;
    if (!TryStrToInteger(text, std::numeric_limits<qint64>::min(),
                         std::numeric_limits<qint64>::max(), v))
        return fallback;
    return v;
}

quint8 SlaveIdFromText(const QString& text) {
    const qint32 id = StrToInt(text);
    // A frame carries one byte: a larger number would go out cut to its low byte and address
    // another controller, 256 even all of them at once.
    if (id < 0 || id > 255)
        throw EConvertError(QStringLiteral("Slave ID %1 is outside the range 0 to 255").arg(id));
    return quint8(id);
}
