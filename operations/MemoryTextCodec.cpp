#include "operations/MemoryTextCodec.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include "protocol/Qb_lib02.h"

namespace {

struct TMarkBytes {
    TTextMark Mark;
    QByteArrayView Bytes;
    QStringConverter::Encoding Encoding;
};

// UTF-8 first: its mark cannot be mistaken for a UTF-16 one.
const TMarkBytes kMarks[] = {
    {TTextMark::Utf8, QByteArrayView("\xEF\xBB\xBF", 3), QStringConverter::Utf8},
    {TTextMark::Utf16LE, QByteArrayView("\xFF\xFE", 2), QStringConverter::Utf16LE},
    {TTextMark::Utf16BE, QByteArrayView("\xFE\xFF", 2), QStringConverter::Utf16BE},
};

// A U+FEFF that follows the mark, or starts a file without one, is text like any other character.
constexpr auto kDecodeFlags =
    QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom;

}  // namespace

QString WithCrLfBreaks(const QString& text) {
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\r') {
            if (i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            result += QStringLiteral("\r\n");
        } else if (c == u'\n') {
            result += QStringLiteral("\r\n");
        } else {
            result += c;
        }
    }
    return result;
}

TMemoryFileText DecodeMemoryFile(const QByteArray& bytes) {
    for (const TMarkBytes& m : kMarks) {
        if (bytes.startsWith(m.Bytes)) {
            QStringDecoder decoder(m.Encoding, kDecodeFlags);
            const QString text = decoder(QByteArrayView(bytes).sliced(m.Bytes.size()));
            return {WithCrLfBreaks(text), m.Mark};
        }
    }
    QStringDecoder decoder(QStringConverter::System, kDecodeFlags);
    const QString text = decoder(bytes);
    return {WithCrLfBreaks(text), TTextMark::None};
}

QByteArray EncodeMemoryFile(const QString& text, TTextMark mark) {
    for (const TMarkBytes& m : kMarks) {
        if (m.Mark == mark) {
            QStringEncoder encoder(m.Encoding, QStringConverter::Flag::Stateless);
            return m.Bytes.toByteArray() + QByteArray(encoder(text));
        }
    }
    QStringEncoder encoder(QStringConverter::System, QStringConverter::Flag::Stateless);
    return encoder(text);
}

void MemoryTextToImage(const QString& text, std::span<quint8> image) {
    const qsizetype pieces = text.size() / 2 + 1;
    for (qsizetype k = 0; k < pieces && k < qsizetype(image.size()); ++k)
        image[size_t(k)] = HexStrToByte(text.mid(2 * k, 2));
}
