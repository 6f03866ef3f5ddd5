#pragma once

#include <QString>
#include <QtGlobal>

// Integer conversion of operator text.
//
// Accepted: leading blanks, an optional '+' or '-', then decimal digits, or '$' / '0x' / '0X'
// followed by hex digits. Nothing may follow the digits. The value must fit the result type.

// Strict: anything else raises EConvertError "'<text>' is not a valid integer value".
qint32 StrToInt(const QString& text);
qint64 StrToInt64(const QString& text);

// Lenient: anything else gives the default, silently.
qint32 StrToIntDef(const QString& text, qint32 fallback);
qint64 StrToInt64Def(const QString& text, qint64 fallback);

// The parse behind all four; false when the text is not an integer that fits [min, max].
bool TryStrToInteger(const QString& text, qint64 min, qint64 max, qint64& value);

// The slave ID of a request, strictly converted: a text that is not an integer raises the
// conversion error above, a number outside 0..255 an EConvertError that names it and the range.
quint8 SlaveIdFromText(const QString& text);
