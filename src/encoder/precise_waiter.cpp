#include "encoder/precise_waiter.h"

#include <vqx/memory.h>

namespace vqx {

// Auto-reset, not signalled, unnamed.
VQXPreciseWaiter::VQXPreciseWaiter() : m_waitEvent(false, false, nullptr) {}

VQXPreciseWaiter::~VQXPreciseWaiter() = default;

int64 VQXPreciseWaiter::Wait(int64 duration) {
    const int64 start = vqx_high_precision_clock();
    int64 elapsed = 0;
    for (;;) {
        if (!m_waitEvent.LockTimeout(1)) break;
        elapsed = vqx_high_precision_clock() - start;
        if (elapsed >= duration) break;
    }
    return elapsed;
}

}  // namespace vqx
