#include <gtest/gtest.h>

#include <vector>

#include "operations/MemoryCopyPlan.h"

namespace {

using Blocks = std::vector<TMemoryBlock>;

// Walks a write sweep the way the engine does: every acknowledged block advances the count.
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

// The read sweeps and the write sweeps of rows 0 and 1 are judged by libmodbus (MemoryPeerTest).
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
