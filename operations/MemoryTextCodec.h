#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <span>

// The memory text (two hex digits per byte, offset 0 first) and its file form.

// The byte-order mark a memory file began with.
enum class TTextMark : quint8 { None, Utf8, Utf16LE, Utf16BE };

struct TMemoryFileText {
    QString Text;
    TTextMark Mark = TTextMark::None;
};

// Decodes a memory file: in the encoding its byte-order mark names (the mark is not part of the
// text), or in the locale's encoding without one. Every line break (CR, LF or CR LF) becomes
// CR LF. Nothing else is examined: any file gives a text.
TMemoryFileText DecodeMemoryFile(const QByteArray& bytes);

// The file form of a memory text: with no mark in the locale's encoding, one byte per hex digit;
// otherwise the mark followed by the text in its encoding. Nothing is added at the end.
QByteArray EncodeMemoryFile(const QString& text, TTextMark mark);

// Every CR, LF and CR LF of the text as CR LF.
QString WithCrLfBreaks(const QString& text);

// Cuts the text into pairs of characters from its first one and stores piece k as byte k of the
// image: a character that is not a hex digit counts as 0, a lone last character gives its own
// digit and the empty piece after an even text gives 0. Pieces beyond the image are dropped, and
// bytes beyond the last piece keep their values.
void MemoryTextToImage(const QString& text, std::span<quint8> image);
