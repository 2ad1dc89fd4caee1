// The pure arithmetic behind the clocks, apart from the system calls that feed it.
// Thread rules: pure functions, callable from any thread.
#pragma once

#include <vqx/platform.h>

namespace vqx::clock_arithmetic {

// Millisecond tick count (taken as unsigned) to seconds.
double TickCountToSeconds(uint32 tickCount);

// (seconds << 32) + milliseconds in 64-bit arithmetic; the upper 32 bits of seconds are lost.
uint64 PackSecondsAndMilliseconds(int64 seconds, uint32 milliseconds);

// Performance-counter reading to 100-nanosecond units, computed in double (no 64-bit integer
// product, so no overflow) and truncated toward zero.
int64 CounterToHundredNanoseconds(int64 count, int64 frequency);

// Millisecond tick count to 100-nanosecond units.
int64 TickCountToHundredNanoseconds(uint32 tickCount);

}  // namespace vqx::clock_arithmetic
