// Floating-point classification and the continued-fraction approximation of a double.
#include <vqx/memory.h>

#include <cmath>
#include <cstdint>

namespace {

using vqx::int32;
using vqx::int64;

// A convergent of the continued fraction: numerator and denominator.
struct Convergent {
    int32 num;
    int32 den;
};

int64 GreatestCommonDivisor(int64 a, int64 b) {
    while (b != 0) {
        const int64 remainder = a % b;
        a = b;
        b = remainder;
    }
    return a;
}

// |value|; the lowest value, which has no positive counterpart, reads as the highest.
int64 Magnitude(int64 value) {
    if (value == INT64_MIN) return INT64_MAX;
    return value < 0 ? -value : value;
}

// Double to int64 truncating toward zero; values the type cannot hold give the lowest value
// (what the processor's conversion yields), never undefined behaviour.
int64 TruncateToInt64(double value) {
    if (!(value >= -9223372036854775808.0 && value < 9223372036854775808.0)) return INT64_MIN;
    return static_cast<int64>(value);
}

// Reduces num/den to the best fraction whose terms do not exceed `max`. The terms stay within
// 64 bits: x * a1.num never exceeds the reduced numerator, x * a1.den the reduced denominator.
Convergent ReduceFraction(int64 num, int64 den, int64 max, bool& negative) {
    negative = (num < 0) != (den < 0);
    const int64 divisor = GreatestCommonDivisor(Magnitude(num), Magnitude(den));
    if (divisor != 0) {
        num = Magnitude(num) / divisor;
        den = Magnitude(den) / divisor;
    }
    Convergent a0{0, 1};
    Convergent a1{1, 0};
    if (num <= max && den <= max) {
        a1 = Convergent{static_cast<int32>(num), static_cast<int32>(den)};
        den = 0;
    }
    while (den != 0) {
        int64 x = num / den;
        const int64 next = num - den * x;
        const int64 candidateNum = x * a1.num + a0.num;
        const int64 candidateDen = x * a1.den + a0.den;
        if (candidateNum > max || candidateDen > max) {
            // The last term does not fit: take the largest partial term that does, and keep
            // it only if it lands closer than the previous convergent.
            if (a1.num != 0) x = (max - a0.num) / a1.num;
            if (a1.den != 0) {
                const int64 byDen = (max - a0.den) / a1.den;
                if (byDen < x) x = byDen;
            }
            if (den * (2 * x * a1.den + a0.den) > num * a1.den) {
                a1 = Convergent{static_cast<int32>(x * a1.num + a0.num), static_cast<int32>(x * a1.den + a0.den)};
            }
            break;
        }
        a0 = a1;
        a1 = Convergent{static_cast<int32>(candidateNum), static_cast<int32>(candidateDen)};
        num = den;
        den = next;
    }
    return a1;
}

}  // namespace

extern "C" {

vqx::int32 VQX_CALL vqx_isnan(double value) {
    return value != value ? 1 : 0;
}

vqx::int32 VQX_CALL vqx_isinf(double value) {
    if (vqx_isnan(value)) return 0;
    return vqx_isnan(value - value);
}

void VQX_CALL vqx_double2fraction(double value, vqx::int32 max, vqx::int32* numerator, vqx::int32* denominator) {
    if (numerator == nullptr || denominator == nullptr) return;
    *numerator = 0;
    *denominator = 0;
    if (vqx_isnan(value)) return;
    if (vqx_isinf(value)) {
        *numerator = value > 0 ? 1 : -1;
        return;
    }
    // Scale the value to about 61 significant bits of a binary fraction n / 2^shift.
    int64 exponent = static_cast<int64>(std::log(std::fabs(value) + 1e-20) / 0.6931471805599453);
    if (exponent < 0) exponent = 0;
    const int64 shift = 61 - exponent;
    const int64 scale = (shift < 0 || shift >= 64) ? 0 : static_cast<int64>(UINT64_C(1) << shift);
    const int64 n = TruncateToInt64(value * static_cast<double>(scale) + 0.5);

    bool negative = false;
    const Convergent result = ReduceFraction(n, scale, max, negative);
    *numerator = negative ? -result.num : result.num;
    *denominator = result.den;
}

}  // extern "C"
