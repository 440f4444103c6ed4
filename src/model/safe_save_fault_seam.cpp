#include "model/safe_save.h"
#include "model/safe_save_internal.h"

// Where a test makes a save fail, slows it or watches it (SetPairWriteFault):
// every piece of the save machinery asks here before each step it takes.

namespace {

PairWriteFault& InstalledFault()
{
    static PairWriteFault fault;
    return fault;
}

}  // namespace

namespace safe_save_internal {

int InjectedFault(PairWriteStep step, const QString& target)
{
    return InstalledFault() ? InstalledFault()(step, target) : 0;
}

void Pace(const QString& target) { InjectedFault(PairWriteStep::kCall, target); }

}  // namespace safe_save_internal

using namespace safe_save_internal;

PairWriteFault SetPairWriteFault(PairWriteFault fault)
{
    std::swap(InstalledFault(), fault);
    return fault;
}

void PaceRead(const QString& path) { InjectedFault(PairWriteStep::kRead, path); }
