#pragma once

#include <QChar>
#include <QString>
#include <QtGlobal>

// Conversions between bytes and hex text. None of them fails: characters that are not hex digits
// count as 0, text longer than the target can hold converts to 0.

// '0'..'9' for 0..9, 'A'..'V' for 10..31, '*' for anything larger.
QChar DigitToChar(quint8 value);

// The byte as two upper-case hex digits, high digit first.
QString ByteToHexStr(quint8 value);

// Value of one hex digit (0 for anything else). A lower-case letter in c is folded to upper case
// in the caller's variable, as the memory text editor relies on.
quint8 HexCharToNibble(QChar& c);

// One or two hex digits to a byte; any other length gives 0. The text itself is never changed.
quint8 HexStrToByte(const QString& text);

// One to four hex digits to a word; any other length gives 0.
quint16 HexStrToWord(const QString& text);
