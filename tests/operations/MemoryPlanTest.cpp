#include <gtest/gtest.h>

#include <vector>

#include "operations/MemoryCopyPlan.h"

namespace {

using Blocks = std::vector<TMemoryBlock>;

// Walks a read sweep the way the engine does: every answered block advances the block count.
Blocks ReadSweep(int row) {
    Blocks blocks;
    qint32 addr = 0, blockNo = 0;
    while (auto next = NextReadBlock(*MemoryModel(row), addr, blockNo)) {
        blocks.push_back(*next);
        addr = next->Offset;
        ++blockNo;
        if (blocks.size() > 200)
            break;
    }
    return blocks;
}

Blocks WriteSweep(int row) {
    Blocks blocks;
    qint32 addr = 0, blockNo = 0;
    while (auto next = NextWriteBlock(*MemoryModel(row), addr, blockNo)) {
        blocks.push_back(*next);
        addr = next->Offset;
        ++blockNo;
        if (blocks.size() > 200)
            break;
    }
    return blocks;
}

Blocks RegularBlocksThen(int count, TMemoryBlock last) {
    Blocks blocks;
    for (int k = 0; k < count; ++k)
        blocks.push_back({32 * k, 32});
    blocks.push_back(last);
    return blocks;
}

Blocks Without(Blocks blocks, std::initializer_list<qint32> offsets) {
    for (qint32 offset : offsets)
        std::erase_if(blocks, [&](const TMemoryBlock& b) { return b.Offset == offset; });
    return blocks;
}

int Bytes(const Blocks& blocks) {
    int n = 0;
    for (const auto& b : blocks)
        n += b.Length;
    return n;
}

TEST(MemoryPlan, ReadSweepsOfTheThreeModels) {
    const struct {
        int row;
        Blocks expected;
        int bytes;
    } cases[] = {
        {0, RegularBlocksThen(126, {4032, 24}), 4056},
        {1, RegularBlocksThen(127, {4064, 32}), 4096},
        {2, RegularBlocksThen(126, {4032, 30}), 4062},
    };
    for (const auto& c : cases) {
        const Blocks blocks = ReadSweep(c.row);
        EXPECT_EQ(blocks, c.expected) << "row " << c.row;
        EXPECT_EQ(Bytes(blocks), c.bytes) << "row " << c.row;
    }
}

TEST(MemoryPlan, WriteSweepsLeaveTheNeverWrittenRegionsAlone) {
    const struct {
        int row;
        Blocks expected;
        int bytes;
    } cases[] = {
        {0, Without(RegularBlocksThen(126, {4032, 24}), {448}), 4024},
        {1, Without(RegularBlocksThen(127, {4064, 32}), {192, 224}), 4032},
        {2, Without(RegularBlocksThen(126, {4032, 30}), {608}), 4030},
    };
    for (const auto& c : cases) {
        const Blocks blocks = WriteSweep(c.row);
        EXPECT_EQ(blocks, c.expected) << "row " << c.row;
        EXPECT_EQ(blocks.size(), 126u) << "row " << c.row;
        EXPECT_EQ(Bytes(blocks), c.bytes) << "row " << c.row;
    }
}

TEST(MemoryPlan, TheJumpOverTheRegionMovesTheBlockCountPastIt) {
    // After the block before the region, the next one is beyond it and the count follows, so the
    // sweep goes on with the block after that.
    const struct {
        int row;
        qint32 before, after, countAfter;
    } cases[] = {{0, 416, 480, 15}, {1, 160, 256, 8}, {2, 576, 640, 20}};
    for (const auto& c : cases) {
        qint32 blockNo = c.before / 32 + 1;
        const auto next = NextWriteBlock(*MemoryModel(c.row), c.before, blockNo);
        ASSERT_TRUE(next);
        EXPECT_EQ(*next, (TMemoryBlock{c.after, 32})) << "row " << c.row;
        EXPECT_EQ(blockNo, c.countAfter) << "row " << c.row;
    }
}

TEST(MemoryPlan, OnlyTheThreeRowsHaveAModel) {
    EXPECT_EQ(MemoryModel(-1), nullptr);
    EXPECT_EQ(MemoryModel(3), nullptr);
}

TEST(MemoryFrames, FirstAndLastReadRequestsForSlaveOne) {
    // Frames worked out by hand in the design notes.
    EXPECT_EQ(BuildMemoryReadRequest(1, 0, 32), QByteArray::fromHex("0103C00000107806"));
    EXPECT_EQ(BuildMemoryReadRequest(1, 4032, 24), QByteArray::fromHex("0103CFC0000C7AE7"));
    EXPECT_EQ(BuildMemoryReadRequest(1, 4064, 32), QByteArray::fromHex("0103CFE000107AE4"));
    EXPECT_EQ(BuildMemoryReadRequest(1, 4032, 30), QByteArray::fromHex("0103CFC0000F3AE6"));
}

TEST(MemoryFrames, WriteRequestCarriesRegistersByteCountAndData) {
    const struct {
        qint32 offset, length;
        QByteArray header;
    } cases[] = {
        {0, 32, QByteArray::fromHex("0110C000001020")},
        {4032, 24, QByteArray::fromHex("0110CFC0000C18")},
        {4032, 30, QByteArray::fromHex("0110CFC0000F1E")},
        {480, 32, QByteArray::fromHex("0110C1E0001020")},
    };
    for (const auto& c : cases) {
        QByteArray data;
        for (int i = 0; i < c.length; ++i)
            data.append(char(0xA0 + i));
        const QByteArray frame = BuildMemoryWriteRequest(7, c.offset, data);
        QByteArray header = c.header;
        header[0] = 7;
        EXPECT_EQ(frame.size(), c.length + 9);
        EXPECT_EQ(frame.left(7), header) << c.offset;
        EXPECT_EQ(frame.mid(7, c.length), data) << c.offset;
    }
}

TEST(MemoryFrames, AReadReplyMustCarryTheWholeBlockBeforeItsCrc) {
    const struct {
        qsizetype size;
        qint32 readLen;
        bool carries;
    } cases[] = {
        {37, 32, true}, {36, 32, false}, {35, 32, false}, {5, 32, false},
        {0, 32, false}, {29, 24, true},  {28, 24, false}, {40, 32, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReadReplyCarriesBlock(QByteArray(c.size, '\1'), c.readLen), c.carries)
            << c.size << " bytes for " << c.readLen;
}

}  // namespace
