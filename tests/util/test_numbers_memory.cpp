// Floating-point classification, the continued-fraction approximation, the three allocators and
// the debugger text output.
#include <vqx/vqx.h>

#include "../trace/debug_capture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace {

double FromBits(uint64_t bits) {
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

constexpr double kPi = 3.14159265358979323846;
const double kInf = std::numeric_limits<double>::infinity();
const double kMax = std::numeric_limits<double>::max();

}  // namespace

TEST(Numbers, ClassifiesEveryNanPatternAndOnlyInfinitiesAsInfinite) {
    // quiet, signalling (smallest and largest payload), negative quiet, all ones
    for (uint64_t bits : {0x7FF8000000000000ull, 0x7FF0000000000001ull, 0x7FF7FFFFFFFFFFFFull, 0xFFF8000000000000ull,
                          0xFFFFFFFFFFFFFFFFull}) {
        EXPECT_EQ(1, vqx_isnan(FromBits(bits))) << std::hex << bits;
        EXPECT_EQ(0, vqx_isinf(FromBits(bits))) << std::hex << bits;
    }
    for (double value : {kInf, -kInf}) {
        EXPECT_EQ(0, vqx_isnan(value));
        EXPECT_EQ(1, vqx_isinf(value));
    }
    for (double value : {0.0, -0.0, 1.0, kMax, -kMax, std::numeric_limits<double>::denorm_min()}) {
        EXPECT_EQ(0, vqx_isnan(value)) << value;
        EXPECT_EQ(0, vqx_isinf(value)) << value;
    }
}

TEST(Numbers, DoubleToFraction) {
    const struct {
        double value;
        vqx::int32 max, numerator, denominator;
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
        vqx::int32 numerator = 77, denominator = 77;
        vqx_double2fraction(c.value, c.max, &numerator, &denominator);
        EXPECT_EQ(c.numerator, numerator) << c.value << " max " << c.max;
        EXPECT_EQ(c.denominator, denominator) << c.value << " max " << c.max;
    }
}

TEST(Numbers, DoubleToFractionStaysWithinTheLimit) {
    for (vqx::int32 max : {1, 7, 100, 1001, 65535, 0x7FFFFFFF}) {
        for (double value : {kPi, -kPi, std::sqrt(2.0), 1e-9, 123456.789, 2147483647.5, -0.999999}) {
            vqx::int32 numerator = 0, denominator = 0;
            vqx_double2fraction(value, max, &numerator, &denominator);
            SCOPED_TRACE(::testing::Message() << value << " max " << max);
            EXPECT_LE(std::llabs(numerator), static_cast<long long>(max));
            EXPECT_LE(denominator, max);
            EXPECT_GE(denominator, 0);
            EXPECT_TRUE(denominator == 0 || numerator == 0 || (value < 0) == (numerator < 0));
        }
    }
    vqx::int32 numerator = 0, denominator = 0;  // with a generous limit the fraction is close
    vqx_double2fraction(std::sqrt(2.0), 0x7FFFFFFF, &numerator, &denominator);
    EXPECT_NEAR(std::sqrt(2.0), static_cast<double>(numerator) / denominator, 1e-15);
}

TEST(Memory, HeapBlocksAndStringsCrossTheBoundary) {
    void* block = vqx_alloc(100);
    ASSERT_NE(nullptr, block);
    std::memset(block, 0xAB, 100);
    void* grown = realloc(block, 200);  // the runtime's heap, so either side may release
    ASSERT_NE(nullptr, grown);
    EXPECT_EQ(0xAB, static_cast<unsigned char*>(grown)[99]);
    vqx_free(grown);
    vqx_free(nullptr);
    vqx_free(malloc(16));
    vqx::vqx_string text = vqx::vqx_from_string_to_hex_string(vqx::vqx_string(64, 'x'));
    text.append(1000, 'y');  // made by the library, grown and released by the host
    EXPECT_EQ(1128u, text.size());
}

TEST(Memory, AlignedAndVirtualAllocators) {
    for (size_t alignment : {16u, 64u, 4096u}) {
        void* block = vqx_aligned_alloc(1000, alignment);
        ASSERT_NE(nullptr, block);
        EXPECT_EQ(0u, reinterpret_cast<std::uintptr_t>(block) % alignment);
        std::memset(block, 1, 1000);
        vqx_aligned_free(block);
    }
    vqx_aligned_free(nullptr);
    // Totals of count, alignment and the runtime's header beyond 32 bits must not wrap to a small block.
    const size_t kMax = SIZE_MAX;
    const std::pair<size_t, size_t> wrapping[] = {
        {0xFFFFFFF0u, 16}, {kMax, 1}, {kMax - 7, 4}, {kMax - 19, 16}, {0x7FFFFFFCu, 0x80000000u}, {kMax, kMax / 2 + 1},
    };
    for (const auto& [count, alignment] : wrapping) {
        EXPECT_EQ(nullptr, vqx_aligned_alloc(count, alignment)) << count << " aligned to " << alignment;
    }

    char* block = static_cast<char*>(vqx_virtual_alloc(10000));
    ASSERT_NE(nullptr, block);
    EXPECT_EQ(0, block[9999]);  // committed pages read as zero
    block[9999] = 2;
    MEMORY_BASIC_INFORMATION info{};
    ASSERT_NE(0u, VirtualQuery(block, &info, sizeof info));
    EXPECT_EQ(static_cast<DWORD>(MEM_COMMIT), info.State);
    EXPECT_EQ(static_cast<DWORD>(PAGE_READWRITE), info.Protect);
    vqx_virtual_free(block);
    ASSERT_NE(0u, VirtualQuery(block, &info, sizeof info));
    EXPECT_EQ(static_cast<DWORD>(MEM_FREE), info.State);
}

TEST(Memory, DebugTraceAddsNothing) {
    DebugOutputCapture debugger;
    vqx_debug_trace(L"vqx debug text");
    EXPECT_EQ(debugger.Texts(), std::vector<std::wstring>{L"vqx debug text"});
}
