#include <gtest/gtest.h>

#include "protocol/HexDisplay.h"
#include "protocol/Qb_lib02.h"

namespace {

TEST(DigitToChar, DigitsLettersAndStar) {
    const struct {
        int value;
        char16_t expected;
    } cases[] = {{0, u'0'},  {9, u'9'},  {10, u'A'},  {15, u'F'}, {16, u'G'},
                 {31, u'V'}, {32, u'*'}, {200, u'*'}, {255, u'*'}};
    for (const auto& c : cases) {
        EXPECT_EQ(DigitToChar(static_cast<quint8>(c.value)), QChar(c.expected)) << c.value;
    }
}

TEST(ByteToHexStr, EveryByteIsTwoUpperCaseDigits) {
    for (int b = 0; b < 256; ++b) {
        const QString expected = QString::asprintf("%02X", b);
        ASSERT_EQ(ByteToHexStr(static_cast<quint8>(b)), expected);
    }
}

TEST(HexCharToNibble, FoldsAnyLowerCaseLetterInTheCallersVariable) {
    const struct {
        char16_t in;
        int value;
        char16_t after;
    } cases[] = {
        {u'0', 0, u'0'},  {u'9', 9, u'9'}, {u'A', 10, u'A'}, {u'F', 15, u'F'}, {u'b', 11, u'B'},
        {u'f', 15, u'F'}, {u'q', 0, u'Q'}, {u'z', 0, u'Z'},  {u'G', 0, u'G'},  {u' ', 0, u' '},
        {u'@', 0, u'@'},  {u'{', 0, u'{'}, {0xE9, 0, 0xE9},  // é is not folded: only a..z are
    };
    for (const auto& c : cases) {
        QChar ch(c.in);
        EXPECT_EQ(HexCharToNibble(ch), c.value) << char(c.in);
        EXPECT_EQ(ch, QChar(c.after)) << char(c.in);
    }
}

TEST(HexStrToByteAndWord, Table) {
    const struct {
        const char16_t* text;
        int asByte;
        int asWord;
    } cases[] = {
        {u"", 0, 0},          {u"A", 10, 10},   {u"FF", 255, 255},   {u"ff", 255, 255},
        {u"1G", 0x10, 0x10},  {u"G1", 1, 1},    {u"zz", 0, 0},       {u"FFF", 0, 0xFFF},
        {u"FFFF", 0, 65535},  {u"12345", 0, 0}, {u"7b", 0x7B, 0x7B}, {u"C0 ", 0, 0xC00},
        {u"0a0B", 0, 0x0A0B},
    };
    for (const auto& c : cases) {
        const QString text = QString::fromUtf16(c.text);
        EXPECT_EQ(HexStrToByte(text), c.asByte) << text.toStdString();
        EXPECT_EQ(HexStrToWord(text), c.asWord) << text.toStdString();
    }
}

TEST(HexStrToByte, NeverChangesTheCallersText) {
    const QString text = QStringLiteral("ab");
    QString copy = text;
    EXPECT_EQ(HexStrToByte(copy), 0xAB);
    EXPECT_EQ(copy, QStringLiteral("ab"));
}

TEST(MonitorFormatters, HexDisplay) {
    EXPECT_EQ(HexDisplayText(QString()), QString());
    EXPECT_EQ(HexDisplayText(QString(QChar(0x01)) + QChar(0xFF) + QChar(0x00)),
              QStringLiteral("01FF00"));
    // Codes above one byte keep all their digits.
    EXPECT_EQ(HexDisplayText(QString(QChar(0x0100))), QStringLiteral("100"));
}

TEST(MonitorFormatters, OneSpaceHexDisplay) {
    EXPECT_EQ(OneSpaceHexDisplayText(QString()), QString());
    EXPECT_EQ(OneSpaceHexDisplayText(QString(QChar(0x7F))), QStringLiteral("7F"));
    EXPECT_EQ(OneSpaceHexDisplayText(QString(QChar(0x01)) + QChar(0x80)), QStringLiteral("01 80 "));
    EXPECT_EQ(OneSpaceHexDisplayText(QString(QChar(0x0AB0))), QStringLiteral("AB0"));
}

TEST(MonitorFormatters, IntToHexDisplay) {
    EXPECT_EQ(IntToHexDisplayText(QByteArray()), QString());
    EXPECT_EQ(IntToHexDisplayText(QByteArray::fromHex("01040000002CF1D7")),
              QStringLiteral("01 04 00 00 00 2C F1 D7 "));
    EXPECT_EQ(IntToHexDisplayText(QByteArray(1, '\0')), QStringLiteral("00 "));
}

}  // namespace
