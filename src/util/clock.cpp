// Millisecond, UTC and 100-nanosecond clocks.
#include "util/clock_arithmetic.h"

#include <vqx/memory.h>

#include <windows.h>

#include <atomic>
#include <sys/timeb.h>
#include <ctime>

namespace vqx::clock_arithmetic {

double TickCountToSeconds(uint32 tickCount) {
    return static_cast<double>(tickCount) / 1000.0;
}

uint64 PackSecondsAndMilliseconds(int64 seconds, uint32 milliseconds) {
    return (static_cast<uint64>(seconds) << 32) + milliseconds;
}

int64 CounterToHundredNanoseconds(int64 count, int64 frequency) {
    return static_cast<int64>(static_cast<double>(count) * 10000000.0 / static_cast<double>(frequency));
}

int64 TickCountToHundredNanoseconds(uint32 tickCount) {
    return static_cast<int64>(tickCount) * 10000;
}

}  // namespace vqx::clock_arithmetic

namespace {

using namespace vqx::clock_arithmetic;

// Process-wide probe of the performance counter. Several threads may probe at once on the very
// first calls; each stores the same frequency and mode, so the race is harmless.
enum ProbeMode : vqx::int32 { kNotProbed = 0, kCounterAvailable = 1, kCounterMissing = 2 };
std::atomic<vqx::int32> g_probeMode{kNotProbed};
std::atomic<vqx::int64> g_counterFrequency{0};

void ProbePerformanceCounter() {
    LARGE_INTEGER frequency;
    if (QueryPerformanceFrequency(&frequency)) {
        g_counterFrequency = frequency.QuadPart;
        g_probeMode = kCounterAvailable;
    } else {
        g_probeMode = kCounterMissing;
    }
}

vqx::int64 TickFallback() {
    return TickCountToHundredNanoseconds(GetTickCount());
}

}  // namespace

extern "C" {

vqx::int64 VQX_CALL vqx_get_current_utc_time() {
    return _time64(nullptr);
}

double VQX_CALL vqx_clock() {
    return TickCountToSeconds(GetTickCount());
}

vqx::uint64 VQX_CALL get_time_in_seconds_with_fraction() {
    __timeb64 now{};
    _ftime64(&now);
    return PackSecondsAndMilliseconds(now.time, now.millitm);
}

vqx::int64 VQX_CALL vqx_high_precision_clock() {
    if (g_probeMode == kNotProbed) ProbePerformanceCounter();
    if (g_probeMode == kCounterMissing) return TickFallback();
    LARGE_INTEGER count;
    if (!QueryPerformanceCounter(&count)) return TickFallback();
    return CounterToHundredNanoseconds(count.QuadPart, g_counterFrequency);
}

}  // extern "C"
