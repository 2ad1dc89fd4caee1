// Floating-point classification and the continued-fraction approximation.
#include <vqx/vqx.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace {

double FromBits(std::uint64_t bits) {
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

constexpr double kPi = 3.14159265358979323846;
const double kInf = std::numeric_limits<double>::infinity();

}  // namespace

TEST(Numbers, IsNanForEveryNanPattern) {
    const std::uint64_t nanBits[] = {
        0x7FF8000000000000ull,  // quiet
        0x7FF0000000000001ull,  // signalling, smallest payload
        0x7FF7FFFFFFFFFFFFull,  // signalling, largest payload
        0xFFF8000000000000ull,  // negative quiet
        0xFFFFFFFFFFFFFFFFull,
    };
    for (std::uint64_t bits : nanBits) {
        EXPECT_EQ(1, vqx_isnan(FromBits(bits))) << std::hex << bits;
        EXPECT_EQ(0, vqx_isinf(FromBits(bits))) << std::hex << bits;
    }
    for (double value : {kInf, -kInf, 0.0, -0.0, std::numeric_limits<double>::max(),
                         std::numeric_limits<double>::denorm_min()}) {
        EXPECT_EQ(0, vqx_isnan(value)) << value;
    }
}

TEST(Numbers, IsInfOnlyForInfinities) {
    EXPECT_EQ(1, vqx_isinf(kInf));
    EXPECT_EQ(1, vqx_isinf(-kInf));
    for (double value : {0.0, -0.0, 1.0, std::numeric_limits<double>::max(),
                         -std::numeric_limits<double>::max(), std::numeric_limits<double>::min()}) {
        EXPECT_EQ(0, vqx_isinf(value)) << value;
    }
}

TEST(Numbers, DoubleToFraction) {
    const struct {
        double value;
        vqx::int32 max;
        vqx::int32 numerator;
        vqx::int32 denominator;
    } cases[] = {
        {0.5, 100, 1, 2},
        {-0.5, 100, -1, 2},
        {0.0, 100, 0, 1},
        {-0.0, 100, 0, 1},
        {1.0 / 3.0, 10, 1, 3},
        {kPi, 100, 22, 7},
        {kPi, 1000, 355, 113},
        {29.97, 30000, 2997, 100},
        {29.97, 1001, 989, 33},
        {30000.0 / 1001.0, 65535, 30000, 1001},
        {24000.0 / 1001.0, 65535, 24000, 1001},
        {59.94, 1000, 959, 16},
        {-2.6, 10, -8, 3},
        {1.5, 1, 1, 1},
        {2.0, 1, 1, 1},
        {0.1, 0, 0, 1},
        {25.0, 1000, 25, 1},
        {1e19, 100, 0, 0},
        {-1e19, 100, 0, 0},
        {kInf, 100, 1, 0},
        {-kInf, 100, -1, 0},
        {std::numeric_limits<double>::quiet_NaN(), 100, 0, 0},
        {FromBits(0xFFF0000000000001ull), 100, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.value << " max " << c.max);
        vqx::int32 numerator = 77;
        vqx::int32 denominator = 77;
        vqx_double2fraction(c.value, c.max, &numerator, &denominator);
        EXPECT_EQ(c.numerator, numerator);
        EXPECT_EQ(c.denominator, denominator);
    }
}

TEST(Numbers, DoubleToFractionStaysWithinTheLimit) {
    const vqx::int32 limits[] = {1, 7, 100, 1001, 65535, 0x7FFFFFFF};
    const double values[] = {kPi, -kPi, std::sqrt(2.0), 1e-9, 123456.789, 2147483647.5, -0.999999};
    for (vqx::int32 max : limits) {
        for (double value : values) {
            vqx::int32 numerator = 0;
            vqx::int32 denominator = 0;
            vqx_double2fraction(value, max, &numerator, &denominator);
            SCOPED_TRACE(::testing::Message() << value << " max " << max);
            EXPECT_LE(std::llabs(numerator), static_cast<long long>(max));
            EXPECT_LE(denominator, max);
            EXPECT_GE(denominator, 0);
            if (denominator != 0 && numerator != 0) {
                EXPECT_EQ(value < 0, numerator < 0);
            }
        }
    }
    // With a generous limit the fraction is close.
    vqx::int32 numerator = 0;
    vqx::int32 denominator = 0;
    vqx_double2fraction(std::sqrt(2.0), 0x7FFFFFFF, &numerator, &denominator);
    EXPECT_NEAR(std::sqrt(2.0), static_cast<double>(numerator) / denominator, 1e-15);
}
