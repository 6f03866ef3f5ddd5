#include "sim/Faults.h"

namespace {

bool Due(int every, quint64 n) {
    return every > 0 && n % quint64(every) == 0;
}

}  // namespace

TFaults FaultsFor(const TFaultOptions& options, quint64 replyNumber) {
    TFaults faults;
    faults.Drop = Due(options.DropEvery, replyNumber);
    faults.Corrupt = Due(options.CorruptEvery, replyNumber);
    faults.Exception = options.ExceptionCode != 0 && Due(options.ExceptionEvery, replyNumber);
    if (options.SplitMs > 0 && Due(options.SplitEvery, replyNumber))
        faults.SplitMs = options.SplitMs;
    faults.Hold = Due(options.MergeEvery, replyNumber);
    faults.Garbage = Due(options.GarbageEvery, replyNumber);
    faults.Truncate = Due(options.TruncateEvery, replyNumber);
    faults.WrongSlave = Due(options.WrongSlaveEvery, replyNumber);
    faults.WrongFunction = Due(options.WrongFunctionEvery, replyNumber);
    if (options.LateMs > 0 && Due(options.LateEvery, replyNumber))
        faults.LateMs = options.LateMs;
    return faults;
}

void AddRandomFault(const TFaultOptions& options, QRandomGenerator& random, TFaults& faults) {
    const quint32 kinds = options.RandomKinds & kAllFaultKinds;
    if (options.RandomPercent <= 0 || kinds == 0 ||
        int(random.bounded(100)) >= options.RandomPercent)
        return;
    int chosen = int(random.bounded(qPopulationCount(kinds)));
    quint32 kind = 0;
    for (quint32 bit = 1; bit <= kinds; bit <<= 1) {
        if ((kinds & bit) != 0 && chosen-- == 0) {
            kind = bit;
            break;
        }
    }
    switch (kind) {
        case kDrop:
            faults.Drop = true;
            break;
        case kCorrupt:
            faults.Corrupt = true;
            break;
        case kException:
            faults.Exception = true;
            break;
        case kSplit:
            // Within the master's receive window as often as beyond it.
            faults.SplitMs = 20 + int(random.bounded(300));
            break;
        case kMerge:
            faults.Hold = true;
            break;
        case kGarbage:
            faults.Garbage = true;
            break;
        case kTruncate:
            faults.Truncate = true;
            break;
        case kWrongSlave:
            faults.WrongSlave = true;
            break;
        case kWrongFunction:
            faults.WrongFunction = true;
            break;
        case kLate:
            // Later than the master's retry period of about a second.
            faults.LateMs = 1100 + int(random.bounded(1400));
            break;
        default:
            break;
    }
}
