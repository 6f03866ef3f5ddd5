#include "operations/PendingMarks.h"

#include "app/Main.h"
#include "operations/OperationState.h"

void MarkPending(bool& mark) {
    mark = true;
    OpState.PendingMarkTicks = 0;
    // The write's request is the next one sent.
    OpState.PendingMarkSeq = OpState.Requests.NextSeq();
}

bool AnyWritePending() {
    return OpState.SuffixWritePending || OpState.BoardSuffixWritePending ||
           OpState.HourWritePending;
}

void TFMmain::ExpirePendingMarks() {
    if (!AnyWritePending()) {
        OpState.PendingMarkTicks = 0;
        return;
    }
    if (OpState.PendingMarkTicks < kPendingMarkLifeTicks)
        ++OpState.PendingMarkTicks;
    // Bytes that are being collected are the awaited reply, however late: it is handled first.
    if (OpState.PendingMarkTicks >= kPendingMarkLifeTicks && !OpState.RcvActive) {
        OpState.SuffixWritePending = false;
        OpState.BoardSuffixWritePending = false;
        OpState.HourWritePending = false;
        OpState.PendingMarkTicks = 0;
    }
}
