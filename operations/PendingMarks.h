#pragma once

#include <QtGlobal>

// A suffix, board suffix or hour write waits for the next reply. The controller answers within a
// few hundred milliseconds; a mark that has waited a full retry period (20 ticks of the 50 ms
// timer, about one second) without any reply is cleared, so that a later reply meant for another
// operation is not taken for this write's result.
inline constexpr qint32 kPendingMarkLifeTicks = 20;

// Sets one of the three marks of the operation state and starts its lifetime afresh.
void MarkPending(bool& mark);

// True while any of the three marks is set.
bool AnyWritePending();
