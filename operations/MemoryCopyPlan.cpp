#include "operations/MemoryCopyPlan.h"

#include <array>

#include "protocol/Frames.h"

namespace {

// Rows of the memory model box, in order.
constexpr std::array<TMemoryModel, 3> kModels{{
    {4032, 24, 448, 480},  // Kestra S7,R,fR
    {4064, 32, 192, 256},  // Kestra M1,M2
    {4032, 30, 608, 640},  // all compressors
}};

// The block after the one at addr: the last block when addr is the block before it, otherwise
// the regular block that follows the blockNo acknowledged ones.
std::optional<TMemoryBlock> NextBlock(const TMemoryModel& model, qint32 addr, qint32 blockNo) {
    if (addr >= model.CompleteAt)
        return std::nullopt;
    if (addr == model.CompleteAt - kMemoryBlockSize)
        return TMemoryBlock{model.CompleteAt, model.LastLength};
    return TMemoryBlock{blockNo * kMemoryBlockSize, kMemoryBlockSize};
}

}  // namespace

const TMemoryModel* MemoryModel(int row) {
    if (row < 0 || row >= int(kModels.size()))
        return nullptr;
    return &kModels[size_t(row)];
}

std::optional<TMemoryBlock> NextReadBlock(const TMemoryModel& model, qint32 readAddr,
                                          qint32 readBlockNo) {
    return NextBlock(model, readAddr, readBlockNo);
}

std::optional<TMemoryBlock> NextWriteBlock(const TMemoryModel& model, qint32 writeAddr,
                                           qint32& writeBlockNo) {
    std::optional<TMemoryBlock> next = NextBlock(model, writeAddr, writeBlockNo);
    if (next && next->Offset == model.SkipFrom) {
        next->Offset = model.SkipTo;
        writeBlockNo = model.SkipTo / kMemoryBlockSize;
    }
    return next;
}

bool ReadReplyCarriesBlock(const QByteArray& reply, qint32 readLen) {
    constexpr qsizetype kHeader = 3;  // slave ID, function code, byte count
    constexpr qsizetype kCrc = 2;
    return reply.size() >= kHeader + readLen + kCrc;
}

QByteArray BuildMemoryReadRequest(quint8 slave, qint32 offset, qint32 length) {
    return BuildReadRequest(slave, 3, quint16(kMemoryWindowRegister + offset), quint16(length / 2));
}

QByteArray BuildMemoryWriteRequest(quint8 slave, qint32 offset, const QByteArray& data) {
    return BuildWriteRequest(slave, quint16(kMemoryWindowRegister + offset),
                             quint16(data.size() / 2), data);
}

QStringList MemoryModelNames() {
    return {QStringLiteral("Kestra S7,R,fR"), QStringLiteral("Kestra M1,M2"),
            QStringLiteral("공압기전체")};
}

std::vector<TMemoryBlock> ReadPlan(int row) {
    std::vector<TMemoryBlock> blocks;
    const TMemoryModel* model = MemoryModel(row);
    qint32 acknowledged = 0;
    for (auto b = model ? NextReadBlock(*model, 0, 0) : std::nullopt; b;
         b = NextReadBlock(*model, b->Offset, ++acknowledged))
        blocks.push_back(*b);
    return blocks;
}

std::vector<TMemoryBlock> WritePlan(int row) {
    std::vector<TMemoryBlock> blocks;
    const TMemoryModel* model = MemoryModel(row);
    qint32 acknowledged = 0;
    for (auto b = model ? NextWriteBlock(*model, 0, acknowledged) : std::nullopt; b;) {
        blocks.push_back(*b);
        ++acknowledged;
        b = NextWriteBlock(*model, b->Offset, acknowledged);
    }
    return blocks;
}
