#pragma once

#include <QtGlobal>

// Misbehaviour on purpose. Each fault hits the replies whose number (counted from 1 over the
// requests addressed to this slave) is a multiple of its period; a period of 0 switches it off.
struct TFaultOptions {
    int DelayMs = 0;        // before every reply
    int DropEvery = 0;      // no reply at all
    int CorruptEvery = 0;   // the reply's last CRC byte inverted
    int ExceptionCode = 0;  // answered with this exception instead; the request is not carried out
    int ExceptionEvery = 0;
    int SplitMs = 0;  // the reply goes out in two halves this far apart
    int SplitEvery = 0;
    // The reply is held back and goes out in one piece with the next reply. A reply that carries
    // a held one out is never held itself, so period 1 pairs all replies.
    int MergeEvery = 0;
};

struct TFaults {
    bool Drop = false;
    bool Corrupt = false;
    bool Exception = false;
    bool Split = false;
    bool Hold = false;
};

TFaults FaultsFor(const TFaultOptions& options, quint64 replyNumber);
