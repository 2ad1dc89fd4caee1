// Timestamps of encoder outputs in a container's time base, and what an output's type says.
// Thread rules: pure functions.
#pragma once

#include <cstdint>

namespace vqxcap {

// A positive fraction num / den.
struct Fraction {
    int64_t num = 0;
    int64_t den = 1;
};

// The fraction in lowest terms.
Fraction Reduced(Fraction value);

// value × multiplier / divisor, rounded to the nearest integer (halves away from zero), without
// overflowing for any timestamp an encoder hands out. multiplier ≥ 0, divisor > 0.
int64_t ScaleRounded(int64_t value, int64_t multiplier, int64_t divisor);

// An encoder timestamp (100-nanosecond units) in units of timeBase seconds, rounded to nearest.
int64_t TimestampInTimeBase(int64_t hundredNanoseconds, Fraction timeBase);

// One frame period of frameRate (frames per second) in units of timeBase, rounded to nearest.
int64_t FramePeriodInTimeBase(Fraction frameRate, Fraction timeBase);

// The host-facing output types of VQXZepBuffer::GetType.
constexpr int32_t kOutputTypeContinuation = -1;  // second part of a split output (or unknown)
constexpr int32_t kOutputTypeFirstIdr = 0;       // first picture after a start, parameter sets in front
constexpr int32_t kOutputTypeIdr = 2;

// Whether an output of that type starts a picture that decodes on its own.
bool IsKeyframeType(int32_t outputType);

}  // namespace vqxcap
