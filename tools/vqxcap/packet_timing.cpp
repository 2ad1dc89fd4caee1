#include "packet_timing.h"

#include <numeric>

namespace vqxcap {
namespace {

constexpr int64_t kTicksPerSecond = 10000000;  // encoder timestamps count 100 ns

}  // namespace

Fraction Reduced(Fraction value) {
    const int64_t divisor = std::gcd(value.num, value.den);
    if (divisor <= 1) return value;
    return Fraction{value.num / divisor, value.den / divisor};
}

int64_t ScaleRounded(int64_t value, int64_t multiplier, int64_t divisor) {
    if (value < 0) return -ScaleRounded(-value, multiplier, divisor);
    // value = whole × divisor + rest, so only rest × multiplier (< divisor × multiplier) is formed.
    const int64_t whole = value / divisor;
    const int64_t rest = value % divisor;
    return whole * multiplier + (rest * multiplier + divisor / 2) / divisor;
}

int64_t TimestampInTimeBase(int64_t hundredNanoseconds, Fraction timeBase) {
    const Fraction base = Reduced(timeBase);
    return ScaleRounded(hundredNanoseconds, base.den, base.num * kTicksPerSecond);
}

int64_t FramePeriodInTimeBase(Fraction frameRate, Fraction timeBase) {
    // (rate.den / rate.num) / (base.num / base.den) = rate.den × base.den / (rate.num × base.num)
    const Fraction rate = Reduced(frameRate);
    const Fraction base = Reduced(timeBase);
    return ScaleRounded(rate.den, base.den, rate.num * base.num);
}

bool IsKeyframeType(int32_t outputType) {
    return outputType == kOutputTypeFirstIdr || outputType == kOutputTypeIdr;
}

}  // namespace vqxcap
