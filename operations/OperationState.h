#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <array>

#include "operations/RequestLedger.h"

// The state the controller operations and the receive path share. One instance lives for the
// whole run; everything starts zeroed and only the user-interface thread touches it.
struct TOperationState {
    // Pending-reply marks: the next accepted reply is the result of this write.
    bool SuffixWritePending = false;
    bool BoardSuffixWritePending = false;
    bool HourWritePending = false;
    qint32 PendingMarkTicks = 0;  // Timer50 ticks since the pending write was requested

    // Reply collection.
    bool RcvActive = false;    // bytes arrived; waiting for the end of the reply
    qint32 RcvIdleTicks = 0;   // Timer10 ticks left before the reply is handled
    qint32 RcvQuietTicks = 0;  // serial: Timer10 ticks since the last chunk arrived
    qint32 RcvTicks = 0;       // serial: Timer10 ticks since the first chunk arrived
    QString RcvStr;            // serial: one character per byte; LAN: two hex digits per byte
    QByteArray RcvBuf;         // the reply being examined, as bytes

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

    // Every request sent that may still be answered, and the sweep's own: a reply is taken as
    // the answer to the current block only when it can answer no earlier request that is still
    // open. When the line may still bring the answer to another request, the sweep sends a
    // communication test, whose reply no block or write request brings, and goes on once every
    // such request has been answered or can no longer be.
    TRequestLedger Requests;
    QByteArray BlockRequest;          // the request for the current block
    bool Resyncing = false;           // waiting for the line to settle
    bool ResyncRepeatsBlock = false;  // then the current block is sent again, else the next one
    bool ResyncThenResend = false;    // the resend flag once it has settled
    qint64 PendingMarkSeq = -1;       // the ledger number of the pending write's request

    // Memory buffers. The image holds the 4096 bytes of the window and 8 more, because the
    // conversion of a full memory text stores one byte past the window.
    static constexpr int kImageSize = 4104;
    std::array<quint8, kImageSize> MemImage{};
    QByteArray TxBlock;

    // Hour meter page.
    qint32 HourModel = 0;
};

extern TOperationState OpState;
