#include <gtest/gtest.h>

#include <array>

#include "operations/MemoryTextCodec.h"
#include "support/DialogAnswerer.h"

namespace {

constexpr quint8 kUntouched = 0x5A;

// An image with a guard band behind it: the conversion sees only the first size bytes.
struct GuardedImage {
    explicit GuardedImage(size_t size) : Size(size) { Bytes.fill(kUntouched); }
    std::span<quint8> Image() { return std::span<quint8>(Bytes.data(), Size); }
    size_t Size;
    std::array<quint8, 4104 + 64> Bytes;
};

QString Repeat(const QString& piece, int times) {
    QString text;
    for (int i = 0; i < times; ++i)
        text += piece;
    return text;
}

TEST(MemoryTextToImage, PairsFromTheFirstCharacter) {
    const struct {
        QString text;
        std::vector<quint8> expected;  // from offset 0; the next byte must be untouched
    } cases[] = {
        {QStringLiteral("0A1B2C3"), {0x0A, 0x1B, 0x2C, 0x03}},
        {QStringLiteral("0a1b2c3d"), {0x0A, 0x1B, 0x2C, 0x3D, 0x00}},
        {QString(), {0x00}},
        {QStringLiteral("G1zz"), {0x01, 0x00, 0x00}},            // not a digit counts as 0
        {QStringLiteral("01\r\n02"), {0x01, 0x00, 0x02, 0x00}},  // a break on a pair boundary
        {QStringLiteral("010\r\n2"), {0x01, 0x00, 0x02, 0x00}},  // a break inside a pair
    };
    for (const auto& c : cases) {
        GuardedImage image(4104);
        MemoryTextToImage(c.text, image.Image());
        for (size_t k = 0; k < c.expected.size(); ++k)
            EXPECT_EQ(image.Bytes[k], c.expected[k]) << c.text.toStdString() << " @" << k;
        EXPECT_EQ(image.Bytes[c.expected.size()], kUntouched) << c.text.toStdString();
    }
}

TEST(MemoryTextToImage, ALineBreakEverySixtyFourCharactersShiftsTheRestOneOffsetUp) {
    QString line1, line2;
    for (int i = 0; i < 32; ++i) {
        line1 += QStringLiteral("%1").arg(i, 2, 16, QChar(u'0')).toUpper();
        line2 += QStringLiteral("%1").arg(0x80 + i, 2, 16, QChar(u'0')).toUpper();
    }
    GuardedImage image(4104);
    MemoryTextToImage(line1 + QStringLiteral("\r\n") + line2 + QStringLiteral("\r\n"),
                      image.Image());
    for (int i = 0; i < 32; ++i) {
        EXPECT_EQ(image.Bytes[size_t(i)], i);
        EXPECT_EQ(image.Bytes[size_t(33 + i)], 0x80 + i);
    }
    EXPECT_EQ(image.Bytes[32], 0);
    EXPECT_EQ(image.Bytes[65], 0);
}

TEST(MemoryTextToImage, PiecesBeyondTheImageAreDropped) {
    // 4151 pieces for an image of 4104 bytes: nothing may land in the guard band.
    GuardedImage image(4104);
    MemoryTextToImage(Repeat(QStringLiteral("F"), 8300), image.Image());
    EXPECT_EQ(image.Bytes[4103], 0xFF);
    for (size_t k = 4104; k < image.Bytes.size(); ++k)
        ASSERT_EQ(image.Bytes[k], kUntouched) << "written beyond the image at " << k;
}

TEST(MemoryFileCodec, MarksAreHonouredAndLineBreaksBecomeCrLf) {
    const struct {
        QByteArray file;
        QString text;
        TTextMark mark;
    } cases[] = {
        {"0A1B", QStringLiteral("0A1B"), TTextMark::None},
        {"0A\n1B\r2C\r\n3D\n\r", QStringLiteral("0A\r\n1B\r\n2C\r\n3D\r\n\r\n"), TTextMark::None},
        {QByteArray::fromHex("EFBBBF") + "0A\n", QStringLiteral("0A\r\n"), TTextMark::Utf8},
        {QByteArray::fromHex("FFFE30000D00"), QStringLiteral("0\r\n"), TTextMark::Utf16LE},
        {QByteArray::fromHex("FEFF00300041"), QStringLiteral("0A"), TTextMark::Utf16BE},
        // A mark that only looks like one after the first byte is text.
        {QByteArray::fromHex("41EFBBBF"), QStringLiteral("A\uFEFF"), TTextMark::None},
        {QByteArray(), QString(), TTextMark::None},
    };
    for (const auto& c : cases) {
        const TMemoryFileText decoded = DecodeMemoryFile(c.file);
        EXPECT_EQ(decoded.Text, c.text) << c.file.toHex().toStdString();
        EXPECT_EQ(decoded.Mark, c.mark) << c.file.toHex().toStdString();
    }
}

TEST(MemoryFileCodec, AnyTextComesBackFromItsFileInEveryEncoding) {
    const QString memory = QStringLiteral("0A1B\r\n\u00C4\uFEFF") + QChar(0);
    for (TTextMark mark :
         {TTextMark::None, TTextMark::Utf8, TTextMark::Utf16LE, TTextMark::Utf16BE}) {
        const TMemoryFileText back = DecodeMemoryFile(EncodeMemoryFile(memory, mark));
        EXPECT_EQ(back.Text, memory) << int(mark);
        EXPECT_EQ(back.Mark, mark);
    }
}

}  // namespace
