#include <gtest/gtest.h>

#include "app/Errors.h"
#include "protocol/Frames.h"

namespace {

TEST(Frames, RequestsInWireOrderWithTheirCrc) {
    EXPECT_EQ(BuildCommTestRequest(1).toHex(' '), QByteArray("01 04 00 00 00 2c f1 d7"));
    EXPECT_EQ(BuildReadRequest(1, 3, 0xC000, 16).toHex(' '), QByteArray("01 03 c0 00 00 10 78 06"));
    EXPECT_EQ(BuildWriteRequest(1, 0xCFF1, 0, QByteArray::fromHex("4E417B00")).toHex(' '),
              QByteArray("01 10 cf f1 00 00 04 4e 41 7b 00 48 fc"));
}

TEST(Frames, AWriteTooLongForItsByteCountIsRefused) {
    EXPECT_EQ(BuildWriteRequest(1, 0xC000, 123, QByteArray(kMaxWriteData, '\x01')).size(),
              kMaxWriteData + 9);
    EXPECT_THROW(BuildWriteRequest(1, 0xC000, 0, QByteArray(kMaxWriteData + 1, '\x01')), EQuorrin);
}

}  // namespace
