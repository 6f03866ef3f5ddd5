// OPEN on arbitrary files: the memory file's decoding with and without a byte-order mark, read
// through a real file as OPEN reads it, and SAVE's encoding of the text in the same form.
//
// The whole input is the file.

#include <QTemporaryDir>

#include "FuzzSupport.h"
#include "operations/MemoryTextCodec.h"
#include "operations/MemoryTextFile.h"

namespace {

TTextMark ExpectedMark(const QByteArray& file) {
    if (file.startsWith("\xEF\xBB\xBF"))
        return TTextMark::Utf8;
    if (file.startsWith("\xFF\xFE"))
        return TTextMark::Utf16LE;
    if (file.startsWith("\xFE\xFF"))
        return TTextMark::Utf16BE;
    return TTextMark::None;
}

void CheckCrLfOnly(const QString& text, const char* what) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r')
            FUZZ_CHECK(i + 1 < text.size() && text[i + 1] == u'\n', "%s: lone CR at %lld", what,
                       qlonglong(i));
        else if (text[i] == u'\n')
            FUZZ_CHECK(i > 0 && text[i - 1] == u'\r', "%s: lone LF at %lld", what, qlonglong(i));
    }
}

// The file name OPEN is given; one file, rewritten for every input.
const QString& FilePath() {
    // Removed when the fuzzer exits normally.
    static QTemporaryDir dir(ScratchParent() + QStringLiteral("/quorrin-fuzz-XXXXXX"));
    static const QString path = dir.filePath(QStringLiteral("memory.txt"));
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray file(reinterpret_cast<const char*>(data), qsizetype(size));

    // OPEN reads the file as it is on disk.
    WriteMemoryFile(FilePath(), file);
    const QByteArray read = ReadMemoryFile(FilePath());
    FUZZ_CHECK(read == file,
               "the file read back differs from the file written (%lld of %lld bytes)",
               qlonglong(read.size()), qlonglong(file.size()));

    const TMemoryFileText decoded = DecodeMemoryFile(read);
    FUZZ_CHECK(decoded.Mark == ExpectedMark(file), "mark %d reported for a file that has %d",
               int(decoded.Mark), int(ExpectedMark(file)));
    CheckCrLfOnly(decoded.Text, "decoded text");
    FUZZ_CHECK(WithCrLfBreaks(decoded.Text) == decoded.Text, "decoded text not yet normalised");

    // A file of ASCII text without a mark is its own text, breaks aside.
    if (decoded.Mark == TTextMark::None) {
        bool ascii = true;
        for (char c : file)
            ascii = ascii && quint8(c) < 0x80;
        if (ascii)
            FUZZ_CHECK(decoded.Text == WithCrLfBreaks(QString::fromLatin1(file)), "ASCII file");
    }

    // SAVE writes the text in the form it was opened in; opening that file gives the same text.
    // Decoding replaced whatever could not be decoded, so the text always has a form.
    const QByteArray saved = EncodeMemoryFile(decoded.Text, decoded.Mark);
    FUZZ_CHECK(ExpectedMark(saved) == decoded.Mark, "saved file begins with mark %d instead of %d",
               int(ExpectedMark(saved)), int(decoded.Mark));
    const TMemoryFileText reopened = DecodeMemoryFile(saved);
    FUZZ_CHECK(reopened.Mark == decoded.Mark, "reopened with mark %d instead of %d",
               int(reopened.Mark), int(decoded.Mark));
    FUZZ_CHECK(reopened.Text == decoded.Text, "text changed by SAVE and OPEN (%lld to %lld)",
               qlonglong(decoded.Text.size()), qlonglong(reopened.Text.size()));
    // And saving that again writes the same bytes.
    FUZZ_CHECK(EncodeMemoryFile(reopened.Text, reopened.Mark) == saved, "second SAVE differs");
    return 0;
}
