#pragma once

#include <QByteArray>
#include <QStringList>
#include <QtGlobal>
#include <optional>
#include <vector>

// The block plans of the memory copy and its request frames. The controller exposes its memory as
// registers: byte offset k is register 0xC000 + k, and a block of n bytes is n / 2 registers.

inline constexpr quint16 kMemoryWindowRegister = 0xC000;
inline constexpr qint32 kMemoryBlockSize = 32;

// One block of a sweep.
struct TMemoryBlock {
    qint32 Offset = 0;
    qint32 Length = 0;
    friend bool operator==(const TMemoryBlock&, const TMemoryBlock&) = default;
};

// A memory model: how far its sweeps go and which region its write sweeps must leave alone.
struct TMemoryModel {
    qint32 CompleteAt;  // a sweep is complete once the block at this offset has been answered
    qint32 LastLength;  // length of that last block; shorter than a regular block on some models
    qint32 SkipFrom;    // a regular write block computed here is replaced by the block at SkipTo
    qint32 SkipTo;
};

// The model of a row of the memory model box; none for a row that does not exist.
const TMemoryModel* MemoryModel(int row);

// The block a read sweep asks for after the block at readAddr has been stored and readBlockNo
// blocks have been acknowledged (both 0 when the sweep starts); none when the sweep is complete.
std::optional<TMemoryBlock> NextReadBlock(const TMemoryModel& model, qint32 readAddr,
                                          qint32 readBlockNo);

// The same for a write sweep. Jumping over the region the model never writes also moves
// writeBlockNo past that region.
std::optional<TMemoryBlock> NextWriteBlock(const TMemoryModel& model, qint32 writeAddr,
                                           qint32& writeBlockNo);

// Every block of a whole read or write sweep of a row's model, in the order the sweep sends them;
// empty for a row that does not exist.
std::vector<TMemoryBlock> ReadPlan(int row);
std::vector<TMemoryBlock> WritePlan(int row);

// Whether an accepted function-3 reply (header, data, CRC) is long enough to carry readLen data
// bytes. A shorter one would otherwise be stored with its CRC, or bytes beyond it, as data.
bool ReadReplyCarriesBlock(const QByteArray& reply, qint32 readLen);

// Function 3 request for length bytes at the offset.
QByteArray BuildMemoryReadRequest(quint8 slave, qint32 offset, qint32 length);
// Function 16 request writing the data at the offset.
QByteArray BuildMemoryWriteRequest(quint8 slave, qint32 offset, const QByteArray& data);

// The rows of the memory page's model list, one per memory model.
QStringList MemoryModelNames();
