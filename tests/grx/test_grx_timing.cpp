// The target timing: arithmetic from the record's 16-bit fields, usability, and the retry
// schedule of 100, 200, ... 2000 ms.
#include "grx_fixture.h"

#include <chrono>
#include <vector>

using namespace vqx::test;

namespace {

std::vector<uint32_t> g_sleeps;

// Records the sleeps between timing attempts instead of sleeping.
class SleepRecorder {
public:
    SleepRecorder() : m_previous(grx::detail::SetTimingSleep([](uint32_t ms) { g_sleeps.push_back(ms); })) {
        g_sleeps.clear();
    }
    ~SleepRecorder() { grx::detail::SetTimingSleep(m_previous); }
    SleepRecorder(const SleepRecorder&) = delete;
    SleepRecorder& operator=(const SleepRecorder&) = delete;

private:
    grx::detail::SleepFunction m_previous;
};

}  // namespace

TEST_F(GrxTest, ModesGiveTheirExactRatesWithoutSleeping) {
    struct Case {
        const wchar_t* mode;
        int32_t width, height, numerator, denominator;
        long long rate_numerator, rate_denominator;
    };
    const Case cases[] = {
        {nullptr, 1920, 1080, 148500000, 2475000, 60, 1},  // the built-in EDID's preferred timing
        {L"1280x720@29.97", 1280, 720, 36720000, 1638 * 748, 30000, 1001},
        {L"720x480@59.94", 720, 480, 27000000, 858 * 525, 60000, 1001},
        {L"640x480@60", 640, 480, 25200000, 800 * 525, 60, 1},
        {L"1920x1080@30", 1920, 1080, 74250000, 2200 * 1125, 30, 1},
        // Each 16-bit field sign-extended, the products taken in 32 bits.
        {L"40000,-2,65535,32767,33000", 40000 - 65536, -2, (33000 - 65536) * 10000, -32767, -1, 1},
    };
    SleepRecorder sleeps;
    auto display = grx::AcquireRemoteDisplay();
    for (const Case& c : cases) {
        ScopedEnv mode(L"GRXAPIXX_MODE", c.mode);
        const grx::DisplayTiming timing = display->GetTargetTiming();
        EXPECT_EQ(c.width, timing.width) << c.mode;
        EXPECT_EQ(c.height, timing.height) << c.mode;
        EXPECT_EQ(c.numerator, timing.numerator) << c.mode;
        EXPECT_EQ(c.denominator, timing.denominator) << c.mode;
        if (c.rate_numerator > 0) {
            EXPECT_EQ(c.rate_numerator * timing.denominator, c.rate_denominator * timing.numerator) << c.mode;
        }
    }
    EXPECT_EQ(6, Record().timing_calls);
    EXPECT_TRUE(g_sleeps.empty());
}

// Two unusable answers (all three usability fields zero, or any one of them) cost sleeps of 100
// and 200 ms; without the recorder the binding really sleeps.
TEST_F(GrxTest, TwoUnusableAnswersSleep100Then200) {
    ScopedEnv unusable(L"GRXAPIXX_UNUSABLE_TIMING", L"2");
    for (const wchar_t* field : {static_cast<const wchar_t*>(nullptr), L"8", L"12", L"16"}) {
        TheStandIn().Reset();
        ScopedEnv which(L"GRXAPIXX_UNUSABLE_FIELD", field);
        SleepRecorder sleeps;
        auto display = grx::AcquireRemoteDisplay();
        EXPECT_EQ(148500000, display->GetTargetTiming().numerator) << field;
        EXPECT_EQ(3, Record().timing_calls) << field;
        EXPECT_EQ((std::vector<uint32_t>{100, 200}), g_sleeps) << field;
    }
    auto display = grx::AcquireRemoteDisplay();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(1080, display->GetTargetTiming().height);
    EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count(),
              290);
}

TEST_F(GrxTest, NeverUsableGivesUpAfterTwentyAttemptsWithTheLastResult) {
    std::vector<uint32_t> schedule;
    for (uint32_t delay = 100; delay <= 2000; delay += 100)
        schedule.push_back(delay);
    struct Case {
        const wchar_t* unusable_result;
        bool forget_acquisition;
        int32_t code;
    };
    const Case cases[] = {
        {nullptr, false, -1},  // a zero usability field
        {L"0x5150", false, 0x5150},
        {nullptr, true, GRXAPIXX_E_NOT_ACQUIRED},  // the stand-in no longer knows the display
    };
    for (const Case& c : cases) {
        ScopedEnv unusable(L"GRXAPIXX_UNUSABLE_TIMING", c.forget_acquisition ? nullptr : L"all");
        ScopedEnv result(L"GRXAPIXX_UNUSABLE_RESULT", c.unusable_result);
        SleepRecorder sleeps;
        TheStandIn().Reset();
        auto display = grx::AcquireRemoteDisplay();
        if (c.forget_acquisition) TheStandIn().Reset();
        EXPECT_EQ(c.code, GrxErrorCode([&] { display->GetTargetTiming(); })) << c.code;
        EXPECT_EQ(20, Record().timing_calls) << c.code;
        EXPECT_EQ(schedule, g_sleeps) << c.code;
        EXPECT_EQ(c.forget_acquisition ? 0 : 1, Record().acquired_now) << "a timing failure leaves the display held";
    }
}
