// A timer made of 1 ms timed waits on an event that nothing ever signals: finer than one long sleep
// and it costs no CPU between steps.
// Ownership: owns its event. Thread rules: one thread at a time.
#pragma once

#include <vqx/sync.h>

namespace vqx {

class VQXPreciseWaiter {
public:
    VQXPreciseWaiter();
    VQXPreciseWaiter(const VQXPreciseWaiter&) = delete;
    VQXPreciseWaiter& operator=(const VQXPreciseWaiter&) = delete;
    virtual ~VQXPreciseWaiter();

    // Waits in 1 ms steps until `duration` ticks (100 ns) have passed; returns the ticks that
    // elapsed, or 0 when the first event wait failed.
    int64 Wait(int64 duration);

private:
    VQXEvent m_waitEvent;
};

}  // namespace vqx
