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
    faults.Split = options.SplitMs > 0 && Due(options.SplitEvery, replyNumber);
    faults.Hold = Due(options.MergeEvery, replyNumber);
    return faults;
}
