#include <gtest/gtest.h>

#include <vector>

#include "protocol/CRC16.h"
#include "protocol/HexDisplay.h"

namespace {

using Bytes = std::vector<quint8>;

// Bit-by-bit Modbus CRC, written from the definition, to judge the table-driven code.
quint16 ReferenceCrc(const Bytes& data) {
    quint16 reg = 0xFFFF;
    for (quint8 b : data) {
        reg ^= b;
        for (int bit = 0; bit < 8; ++bit)
            reg = (reg & 1) ? (reg >> 1) ^ 0xA001 : reg >> 1;
    }
    return reg;
}

struct CrcCase {
    Bytes frame;
    quint8 first;   // first byte on the wire
    quint8 second;  // second byte on the wire
};

// Frames whose CRC bytes were worked out outside this code (Modbus reference frames and the
// requests the program sends).
const CrcCase kCases[] = {
    {{}, 0xFF, 0xFF},
    {{0x01, 0x04, 0x00, 0x00, 0x00, 0x2C}, 0xF1, 0xD7},
    {{0x01, 0x03, 0x00, 0x00, 0x00, 0x01}, 0x84, 0x0A},
    {{0x01, 0x03, 0xC0, 0x00, 0x00, 0x10}, 0x78, 0x06},
    {{0x01, 0x03, 0xCF, 0xC0, 0x00, 0x0C}, 0x7A, 0xE7},
    {{0x01, 0x03, 0xCF, 0xE0, 0x00, 0x10}, 0x7A, 0xE4},
    {{0x01, 0x03, 0xCF, 0xC0, 0x00, 0x0F}, 0x3A, 0xE6},
    {{0x01, 0x10, 0xCF, 0xF1, 0x00, 0x00, 0x04, 0x4E, 0x41, 0x7B, 0x00}, 0x48, 0xFC},
    {{0x01, 0x10, 0xCF, 0xF1, 0x00, 0x00, 0x04, 0xFF, 0xFF, 0xFF, 0xFF}, 0x2C, 0xA4},
    {{0x01, 0x10, 0xCF, 0xF6, 0x00, 0x00, 0x04, 0x17, 0x07, 0xF4, 0x01}, 0x5F, 0xA3},
    // Hour meter writes for the two controller models with worked examples.
    {{0x01, 0x10, 0xC1, 0xE0, 0x00, 0x00, 0x18, 0x08, 0x07, 0x00, 0x00,
      0xD2, 0x04, 0x00, 0x00, 0x08, 0x07, 0x00, 0x00, 0x2E, 0x16, 0x00,
      0x00, 0xB0, 0x01, 0x00, 0x00, 0x09, 0x00, 0x00, 0x00},
     0x43,
     0xEF},
    {{0x01, 0x10, 0xC1, 0xD0, 0x00, 0x00, 0x10, 0x08, 0x07, 0x00, 0x00, 0xD2,
      0x04, 0x00, 0x00, 0x08, 0x07, 0x00, 0x00, 0x2E, 0x16, 0x00, 0x00},
     0x78,
     0xF7},
};

TEST(Crc16, KnownFramesGiveTheirWireBytes) {
    for (const CrcCase& c : kCases) {
        const auto n = static_cast<quint8>(c.frame.size());
        EXPECT_EQ(CRC16Low(c.frame, n), c.first) << "frame of " << c.frame.size() << " bytes";
        EXPECT_EQ(CRC16High(c.frame, n), c.second);
        EXPECT_EQ(CalcCRC16(c.frame, n), c.first << 8 | c.second);
    }
}

TEST(Crc16, TablesMatchTheBitwiseDefinitionForEveryByteValue) {
    // A single byte exercises one table entry each; pairs catch a swapped pair of tables.
    for (int b = 0; b < 256; ++b) {
        const Bytes one{static_cast<quint8>(b)};
        const Bytes two{static_cast<quint8>(b), static_cast<quint8>(255 - b)};
        for (const Bytes& data : {one, two}) {
            const quint16 reg = ReferenceCrc(data);
            const auto n = static_cast<quint8>(data.size());
            ASSERT_EQ(CRC16Low(data, n), reg & 0xFF) << "byte " << b;
            ASSERT_EQ(CRC16High(data, n), reg >> 8) << "byte " << b;
        }
    }
}

TEST(Crc16, CountCoversOnlyTheLeadingBytes) {
    // A frame under construction: the two spare bytes at the end must not enter the CRC.
    Bytes frame{0x01, 0x04, 0x00, 0x00, 0x00, 0x2C, 0xAA, 0x55};
    EXPECT_EQ(CRC16Low(frame, 6), 0xF1);
    EXPECT_EQ(CRC16High(frame, 6), 0xD7);
    EXPECT_EQ(CalcCRC16(frame, 0), 0xFFFF);
    EXPECT_EQ(CRC16Low(frame, 0), 0xFF);
    EXPECT_EQ(CRC16High(frame, 0), 0xFF);
}

TEST(Crc16, CountBeyondTheArrayIsClampedToIt) {
    const Bytes frame{0x01, 0x03, 0x00, 0x00, 0x00, 0x01};
    EXPECT_EQ(CalcCRC16(frame, 200), 0x840A);
    EXPECT_EQ(CalcCRC16(std::span<const quint8>(), 5), 0xFFFF);
}

TEST(CheckCrc16, BuiltFramePassesAndSwappedCrcFails) {
    Bytes frame{0x01, 0x03, 0xC0, 0x00, 0x00, 0x10, 0, 0};
    frame[6] = CRC16Low(frame, 6);
    frame[7] = CRC16High(frame, 6);
    EXPECT_TRUE(CheckCRC16(frame));
    std::swap(frame[6], frame[7]);
    EXPECT_FALSE(CheckCRC16(frame));
    frame[6] ^= 0x01;  // a damaged byte anywhere fails too
    EXPECT_FALSE(CheckCRC16(frame));
}

TEST(CheckCrc16, ShortArrays) {
    EXPECT_FALSE(CheckCRC16(Bytes{}));
    EXPECT_FALSE(CheckCRC16(Bytes{0xFF}));
    // Two bytes are compared with the CRC of nothing: only FF FF passes.
    EXPECT_TRUE(CheckCRC16(Bytes{0xFF, 0xFF}));
    EXPECT_FALSE(CheckCRC16(Bytes{0xFF, 0xFE}));
}

TEST(CheckCrc16, RealReplyFromAController) {
    // Function 3 reply carrying one register of value 0x0001 (CRC worked out by hand: 79 84).
    EXPECT_TRUE(CheckCRC16(QByteArray::fromHex("010302000179 84")));
    EXPECT_FALSE(CheckCRC16(QByteArray::fromHex("0103020001 8479")));
}

}  // namespace
