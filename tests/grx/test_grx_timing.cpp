// The target timing: arithmetic from the record's 16-bit fields, usability, and the retry
// schedule of 100, 200, ... 2000 ms.
#include "grx_fixture.h"

#include <chrono>
#include <vector>

using namespace grxtest;

namespace {

std::vector<std::uint32_t> g_sleeps;

void RecordSleep(std::uint32_t milliseconds) { g_sleeps.push_back(milliseconds); }

// Records the sleeps between timing attempts instead of sleeping.
class SleepRecorder {
public:
    SleepRecorder() : m_previous(grx::detail::SetTimingSleep(&RecordSleep)) { g_sleeps.clear(); }
    ~SleepRecorder() { grx::detail::SetTimingSleep(m_previous); }
    SleepRecorder(const SleepRecorder&) = delete;
    SleepRecorder& operator=(const SleepRecorder&) = delete;
    const std::vector<std::uint32_t>& Sleeps() const { return g_sleeps; }

private:
    grx::detail::SleepFunction m_previous;
};

std::int32_t TimingFailureCode(const grx::RemoteDisplay& display) {
    try {
        display.GetTargetTiming();
    } catch (const grx::grx_runtime_error& error) {
        return error.code;
    }
    return 0;
}

std::int32_t SignExtended(long value) { return static_cast<std::int16_t>(value); }

}  // namespace

TEST_F(GrxTest, BuiltInEdidGives1080p60WithoutSleeping) {
    SleepRecorder sleeps;
    auto display = grx::AcquireRemoteDisplay();
    const grx::DisplayTiming timing = display->GetTargetTiming();
    EXPECT_EQ(1920, timing.width);
    EXPECT_EQ(1080, timing.height);
    EXPECT_EQ(148500000, timing.numerator);
    EXPECT_EQ(2475000, timing.denominator);
    EXPECT_EQ(1, Record().timing_calls);
    EXPECT_TRUE(sleeps.Sleeps().empty());
}

TEST_F(GrxTest, ChosenModesGiveTheirExactRates) {
    struct Case {
        const wchar_t* mode;
        std::int32_t width, height, numerator, denominator;
        long long rate_numerator, rate_denominator;
    };
    const Case cases[] = {
        {L"1280x720@29.97", 1280, 720, 36720000, 1638 * 748, 30000, 1001},
        {L"720x480@59.94", 720, 480, 27000000, 858 * 525, 60000, 1001},
        {L"640x480@60", 640, 480, 25200000, 800 * 525, 60, 1},
        {L"1280x720@60", 1280, 720, 74250000, 1650 * 750, 60, 1},
        {L"1920x1080@30", 1920, 1080, 74250000, 2200 * 1125, 30, 1},
    };
    auto display = grx::AcquireRemoteDisplay();
    for (const Case& c : cases) {
        ScopedEnv mode(L"GRXAPIXX_MODE", c.mode);
        const grx::DisplayTiming timing = display->GetTargetTiming();
        EXPECT_EQ(c.width, timing.width) << c.mode;
        EXPECT_EQ(c.height, timing.height) << c.mode;
        EXPECT_EQ(c.numerator, timing.numerator) << c.mode;
        EXPECT_EQ(c.denominator, timing.denominator) << c.mode;
        EXPECT_EQ(c.rate_numerator * timing.denominator, c.rate_denominator * timing.numerator) << c.mode;
    }
}

TEST_F(GrxTest, SixteenBitFieldsAreSignExtendedAndMultipliedIn32Bits) {
    ScopedEnv mode(L"GRXAPIXX_MODE", L"40000,-2,65535,32767,33000");
    auto display = grx::AcquireRemoteDisplay();
    const grx::DisplayTiming timing = display->GetTargetTiming();
    EXPECT_EQ(SignExtended(40000), timing.width);
    EXPECT_EQ(-2, timing.height);
    EXPECT_EQ(SignExtended(33000) * 10000, timing.numerator);
    EXPECT_EQ(-1 * 32767, timing.denominator);
    EXPECT_LT(timing.numerator, 0);
}

TEST_F(GrxTest, TwoUnusableAnswersSleep100Then200) {
    ScopedEnv unusable(L"GRXAPIXX_UNUSABLE_TIMING", L"2");
    SleepRecorder sleeps;
    auto display = grx::AcquireRemoteDisplay();
    const grx::DisplayTiming timing = display->GetTargetTiming();
    EXPECT_EQ(1920, timing.width);
    EXPECT_EQ(3, Record().timing_calls);
    EXPECT_EQ((std::vector<std::uint32_t>{100, 200}), sleeps.Sleeps());
}

TEST_F(GrxTest, TwoUnusableAnswersReallySleep) {
    ScopedEnv unusable(L"GRXAPIXX_UNUSABLE_TIMING", L"2");
    auto display = grx::AcquireRemoteDisplay();
    const auto start = std::chrono::steady_clock::now();
    const grx::DisplayTiming timing = display->GetTargetTiming();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(1080, timing.height);
    EXPECT_EQ(3, Record().timing_calls);
    EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(), 290);
}

TEST_F(GrxTest, EachUsabilityFieldMustBeNonZero) {
    for (const wchar_t* field : {L"8", L"12", L"16"}) {
        TheStandIn().Reset();
        ScopedEnv unusable(L"GRXAPIXX_UNUSABLE_TIMING", L"1");
        ScopedEnv which(L"GRXAPIXX_UNUSABLE_FIELD", field);
        SleepRecorder sleeps;
        auto display = grx::AcquireRemoteDisplay();
        EXPECT_EQ(148500000, display->GetTargetTiming().numerator) << "field " << field;
        EXPECT_EQ(2, Record().timing_calls) << "field " << field;
        EXPECT_EQ(std::vector<std::uint32_t>{100}, sleeps.Sleeps()) << "field " << field;
    }
}

TEST_F(GrxTest, NeverUsableGivesUpAfterTwentyAttemptsWithMinusOne) {
    ScopedEnv unusable(L"GRXAPIXX_UNUSABLE_TIMING", L"all");
    SleepRecorder sleeps;
    auto display = grx::AcquireRemoteDisplay();
    EXPECT_EQ(-1, TimingFailureCode(*display));
    EXPECT_EQ(20, Record().timing_calls);
    std::vector<std::uint32_t> expected;
    for (std::uint32_t delay = 100; delay <= 2000; delay += 100) expected.push_back(delay);
    EXPECT_EQ(expected, sleeps.Sleeps());
    EXPECT_EQ(1, Record().acquired_now) << "a timing failure leaves the display to its holder";
}

TEST_F(GrxTest, NeverUsableWithAFailingCallThrowsThatResult) {
    ScopedEnv unusable(L"GRXAPIXX_UNUSABLE_TIMING", L"all");
    ScopedEnv result(L"GRXAPIXX_UNUSABLE_RESULT", L"0x5150");
    SleepRecorder sleeps;
    auto display = grx::AcquireRemoteDisplay();
    EXPECT_EQ(0x5150, TimingFailureCode(*display));
    EXPECT_EQ(20u, sleeps.Sleeps().size());
}

TEST_F(GrxTest, TimingOfAReleasedDisplayFailsWithTheLibrarysResult) {
    SleepRecorder sleeps;
    auto display = grx::AcquireRemoteDisplay();
    TheStandIn().Reset();  // the stand-in forgets the acquisition
    EXPECT_EQ(GRXAPIXX_E_NOT_ACQUIRED, TimingFailureCode(*display));
    EXPECT_EQ(20, Record().timing_calls);
}
