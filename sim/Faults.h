#pragma once

#include <QRandomGenerator>
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
    int GarbageEvery = 0;        // a few random bytes just before and just after the reply
    int TruncateEvery = 0;       // the reply loses its last bytes
    int WrongSlaveEvery = 0;     // a valid reply, but from the next slave ID
    int WrongFunctionEvery = 0;  // a valid reply with another function code
    int LateMs = 0;              // this much later than usual; the replies after it wait too
    int LateEvery = 0;
    // Random faults: each reply has RandomPercent chances in a hundred of one fault, chosen
    // among RandomKinds (a set of TFaultKind bits) by a generator seeded with RandomSeed.
    int RandomPercent = 0;
    quint32 RandomSeed = 0;
    quint32 RandomKinds = 0;
    int StopAfter = 0;  // on this request the controller goes away: no reply, every link closed
};

enum TFaultKind : quint32 {
    kDrop = 1u << 0,
    kCorrupt = 1u << 1,
    kException = 1u << 2,
    kSplit = 1u << 3,
    kMerge = 1u << 4,
    kGarbage = 1u << 5,
    kTruncate = 1u << 6,
    kWrongSlave = 1u << 7,
    kWrongFunction = 1u << 8,
    kLate = 1u << 9,
    kAllFaultKinds = (1u << 10) - 1,
};

// The name of each kind on the command line and in the log, in bit order.
inline constexpr const char* kFaultKindNames[] = {
    "drop",    "corrupt",  "exception",   "split",          "merge",
    "garbage", "truncate", "wrong-slave", "wrong-function", "late",
};

struct TFaults {
    bool Drop = false;
    bool Corrupt = false;
    bool Exception = false;
    int SplitMs = 0;  // 0: not split
    bool Hold = false;
    bool Garbage = false;
    bool Truncate = false;
    bool WrongSlave = false;
    bool WrongFunction = false;
    int LateMs = 0;
};

// The periodic faults of a reply.
TFaults FaultsFor(const TFaultOptions& options, quint64 replyNumber);
// Adds the random fault of a reply, if it draws one.
void AddRandomFault(const TFaultOptions& options, QRandomGenerator& random, TFaults& faults);
