#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <array>

// The state the controller operations and the receive path share. One instance lives for the
// whole run; everything starts zeroed and only the user-interface thread touches it.
struct TOperationState {
    // Pending-reply marks: the next accepted reply is the result of this write.
    bool SuffixWritePending = false;
    bool BoardSuffixWritePending = false;
    bool HourWritePending = false;
    qint32 PendingMarkTicks = 0;  // Timer50 ticks since the pending write was requested

    // Reply collection.
    bool RcvActive = false;   // bytes arrived; waiting for the end of the reply
    qint32 RcvIdleTicks = 0;  // Timer10 ticks left before the reply is handled
    QString RcvStr;           // serial: one character per byte; LAN: two hex digits per byte
    QByteArray RcvBuf;        // the reply being examined, as bytes

    // Memory copy sweep.
    qint32 MemoryJob = 0;  // 0 idle, 1 read sweep, 2 write sweep
    bool MemoryJobActive = false;
    bool ResendFlag = false;
    qint32 ReadBlockNo = 0;
    qint32 ReadAddr = 0;
    qint32 ReadLen = 0;
    bool ReadAck = false;
    qint32 WriteBlockNo = 0;
    qint32 WriteAddr = 0;
    qint32 WriteLen = 0;
    bool WriteAck = false;
    qint32 RetryTicks = 0;
    qint32 RetryCount = 0;
    bool ReadDone = false;

    // Late replies. A reply carries no block identity: when a block has been sent again while an
    // earlier request for it was still unanswered, a second answer may still come and would be
    // taken for the next block. The sweep then sends a communication test request, whose reply
    // no block request can bring, and drops every reply until that one has come; the controller
    // answers in order.
    qint32 BlockUnanswered = 0;  // requests for the current block without a valid answer yet
    bool Resyncing = false;      // waiting for the answer to that communication test

    // Memory buffers. The image holds the 4096 bytes of the window and 8 more, because the
    // conversion of a full memory text stores one byte past the window.
    static constexpr int kImageSize = 4104;
    std::array<quint8, kImageSize> MemImage{};
    QByteArray TxBlock;

    // Hour meter page.
    qint32 HourModel = 0;
};

extern TOperationState OpState;
