// The memory text on arbitrary text: its conversion into the memory image, the line-break
// normalisation OPEN applies, and the hex form RxDataSave appends to the memory text box.
//
// Input layout: two bytes for the image size (modulo the full image plus one), a fill byte for
// the image, a form byte (bit 0: the rest is UTF-16 code units rather than one character per
// byte), then the text.

#include <QPlainTextEdit>
#include <array>
#include <vector>

#include "FuzzSupport.h"
#include "operations/MemoryTextBox.h"
#include "operations/MemoryTextCodec.h"
#include "operations/OperationState.h"
#include "protocol/Qb_lib02.h"

namespace {

constexpr size_t kGuard = 64;

// A piece of up to two characters as the image takes it: its hex value, a character that is not a
// hex digit counting as 0, the empty piece as 0.
quint8 ReferencePiece(QStringView piece) {
    int value = 0;
    for (QChar c : piece)
        value = value * 16 + qMax(0, ReferenceNibble(c.unicode()));
    return quint8(value);
}

void CheckImage(const QString& text, size_t imageSize, quint8 fill) {
    // The image between two guard bands: nothing may be written outside its span.
    std::vector<quint8> buffer(kGuard + imageSize + kGuard, fill);
    const std::span<quint8> image(buffer.data() + kGuard, imageSize);
    MemoryTextToImage(text, image);

    for (size_t i = 0; i < kGuard; ++i) {
        FUZZ_CHECK(buffer[i] == fill, "byte written %zu before the image", kGuard - i);
        FUZZ_CHECK(buffer[kGuard + imageSize + i] == fill, "byte written %zu after the image", i);
    }
    const size_t pieces = size_t(text.size() / 2 + 1);
    for (size_t k = 0; k < imageSize; ++k) {
        if (k < pieces) {
            FUZZ_CHECK(image[k] == ReferencePiece(QStringView(text).mid(qsizetype(2 * k), 2)),
                       "image byte %zu of %zu from a text of %lld", k, imageSize,
                       qlonglong(text.size()));
        } else {
            FUZZ_CHECK(image[k] == fill, "image byte %zu beyond the last piece changed", k);
        }
    }
}

bool IsBreak(QChar c) {
    return c == u'\r' || c == u'\n';
}

void CheckBreaks(const QString& text) {
    const QString result = WithCrLfBreaks(text);
    // Every break is CR LF, and there is one for each CR LF, lone CR and lone LF of the text.
    qsizetype breaks = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\n' ||
            (text[i] == u'\r' && (i + 1 == text.size() || text[i + 1] != u'\n')))
            ++breaks;
    }
    qsizetype crlf = 0;
    for (qsizetype i = 0; i < result.size(); ++i) {
        if (result[i] == u'\r') {
            FUZZ_CHECK(i + 1 < result.size() && result[i + 1] == u'\n', "lone CR at %lld",
                       qlonglong(i));
            ++crlf;
        } else if (result[i] == u'\n') {
            FUZZ_CHECK(i > 0 && result[i - 1] == u'\r', "lone LF at %lld", qlonglong(i));
        }
    }
    FUZZ_CHECK(crlf == breaks, "%lld breaks became %lld", qlonglong(breaks), qlonglong(crlf));
    // Everything else stays, in order.
    QString textRest;
    QString resultRest;
    textRest.reserve(text.size());
    resultRest.reserve(text.size());
    for (QChar c : text) {
        if (!IsBreak(c))
            textRest += c;
    }
    for (QChar c : result) {
        if (!IsBreak(c))
            resultRest += c;
    }
    FUZZ_CHECK(textRest == resultRest, "characters other than breaks changed");
    FUZZ_CHECK(WithCrLfBreaks(result) == result, "normalising twice changes the text");
}

// The box, made once: the memory text lives in one for the whole run.
QPlainTextEdit& Box() {
    static QPlainTextEdit* box = new QPlainTextEdit();
    return *box;
}

// RxDataSave's form: each stored byte as two digits appended to the box. Reading the box back
// and converting gives the bytes again, and the text before them stays as it was.
void CheckSavedText(const QString& text, std::span<const quint8> data) {
    QString hex;
    hex.reserve(qsizetype(data.size() * 2));
    for (quint8 b : data)
        hex += ByteToHexStr(b);
    FUZZ_CHECK(hex == ReferenceHex(data), "hex of the stored bytes");

    std::vector<quint8> image(data.size() + 2, 0xA5);
    MemoryTextToImage(hex, image);
    for (size_t i = 0; i < data.size(); ++i)
        FUZZ_CHECK(image[i] == data[i], "stored byte %zu does not come back", i);
    FUZZ_CHECK(image[data.size()] == 0, "the empty piece after an even text is not 0");
    FUZZ_CHECK(image[data.size() + 1] == 0xA5, "byte beyond the last piece changed");

    // The memory text as OPEN leaves it, then blocks appended as a read sweep does. Characters
    // beyond ASCII are replaced: shaping them costs the box far more than the check is worth.
    QString before = WithCrLfBreaks(text.left(256));
    for (QChar& c : before) {
        if (c.unicode() >= 0x7F)
            c = u'.';
    }
    QPlainTextEdit& box = Box();
    SetMemoryText(box, before);
    FUZZ_CHECK(MemoryText(box) == before, "the box changed the text it was given");
    AppendMemoryText(box, hex.left(128));
    AppendMemoryText(box, hex.mid(128, 128));
    FUZZ_CHECK(MemoryText(box) == before + hex.left(256), "appended blocks");
}

}  // namespace

QUORRIN_FUZZ_GUI_LEAK_SUPPRESSIONS()

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    EnsureApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TFuzzInput in(data, size);
    const size_t imageSize = in.Word() % (TOperationState::kImageSize + 1);
    const quint8 fill = in.Byte();
    const bool wide = (in.Byte() & 1) != 0;
    const QByteArray rest = in.Rest();

    QString text;
    if (wide) {
        for (qsizetype i = 0; i + 1 < rest.size(); i += 2)
            text += QChar(char16_t(quint8(rest[i]) | quint8(rest[i + 1]) << 8));
    } else {
        text = QString::fromLatin1(rest);
    }

    CheckImage(text, imageSize, fill);
    const QString normalised = WithCrLfBreaks(text);
    if (normalised != text)
        CheckImage(normalised, imageSize, fill);
    CheckBreaks(text);
    CheckSavedText(text, Bytes(rest));
    return 0;
}
