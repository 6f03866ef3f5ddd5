#include <gtest/gtest.h>

#include "operations/SuffixFrames.h"

namespace {

QByteArray Hex(const char* spaced) {
    return QByteArray::fromHex(spaced);  // blanks are skipped
}

std::string Str(const QByteArray& frame) {
    return frame.toHex(' ').toUpper().toStdString();
}

TEST(SuffixRequest, WholeFrames) {
    const struct {
        int row;
        QString year, company, number;
        const char* expected;
    } cases[] = {
        {0, "N", "A", "123", "01 10 CF F1 00 00 04 4E 41 7B 00 48 FC"},
        {0, "", "", "", "01 10 CF F1 00 00 04 FF FF FF FF 2C A4"},
        // Row 1 moves the record to 0xC001; the CRC follows the address.
        {1, "N", "A", "123", "01 10 C0 01 00 00 04 4E 41 7B 00 06 48"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Str(BuildSuffixRequest(1, c.row, c.year, c.company, c.number)),
                  Str(Hex(c.expected)));
}

TEST(SuffixRequest, DataBytesFromTheBoxes) {
    const struct {
        QString year, company, number;
        const char* data;  // bytes 7 to 10
    } cases[] = {
        {"", "A", "", "FF 41 FF FF"},          // each empty box on its own
        {"N", "", "5", "4E FF 05 00"},         //
        {"NX", "AB", "70000", "4E 41 70 11"},  // first character; low 16 bits of 0x11170
        {"한", "é", "65535", "5C E9 FF FF"},   // low 8 bits of the character code
        {"N", "A", "12x", "4E 41 00 00"},      // not a number: 0, not FF
        {"N", "A", "-1", "4E 41 FF FF"},
    };
    for (const auto& c : cases) {
        const QByteArray frame = BuildSuffixRequest(7, 0, c.year, c.company, c.number);
        ASSERT_EQ(frame.size(), 13);
        EXPECT_EQ(Str(frame.mid(7, 4)), Str(Hex(c.data))) << c.number.toStdString();
    }
}

TEST(BoardSuffixRequest, WholeFrames) {
    EXPECT_EQ(Str(BuildBoardSuffixRequest(1, "23", "7", "500")),
              Str(Hex("01 10 CF F6 00 00 04 17 07 F4 01 5F A3")));
    const struct {
        QString year, month, number;
        const char* data;
    } cases[] = {
        {"", "", "", "FF FF FF FF"},
        {"AB", "7", "500", "00 07 F4 01"},          // letters give 0, only an empty box gives FF
        {"300", "", "70000", "2C FF 70 11"},        // low 8 and low 16 bits
        {"23", "X", "99999999999", "17 00 00 00"},  // too large for an integer: 0
    };
    for (const auto& c : cases)
        EXPECT_EQ(Str(BuildBoardSuffixRequest(1, c.year, c.month, c.number).mid(7, 4)),
                  Str(Hex(c.data)))
            << c.year.toStdString();
}

}  // namespace
