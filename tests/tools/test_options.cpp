#include "options.h"

#include <gtest/gtest.h>

using vqxcap::Mode;
using vqxcap::ParseArguments;

TEST(VqxcapOptions, CaptureNeedsAnOutputAndALength) {
    EXPECT_FALSE(ParseArguments({}).options);
    EXPECT_FALSE(ParseArguments({L"-o", L"x.h264"}).options);
    EXPECT_FALSE(ParseArguments({L"--frames", L"3"}).options);
    const auto parsed = ParseArguments({L"-o", L"x.h264", L"--frames", L"3"});
    ASSERT_TRUE(parsed.options);
    EXPECT_EQ(L"x.h264", parsed.options->outputPath);
    EXPECT_EQ(3u, *parsed.options->frames);
    EXPECT_EQ(Mode::Capture, parsed.options->mode);
}

TEST(VqxcapOptions, RejectsBadNumbersAndUnknownOptions) {
    for (const auto& bad : std::vector<std::vector<std::wstring>>{
             {L"-o", L"x", L"--frames", L"0"},
             {L"-o", L"x", L"--frames", L"-4"},
             {L"-o", L"x", L"--frames", L"12abc"},
             {L"-o", L"x", L"--seconds", L"0"},
             {L"-o", L"x", L"--seconds"},
             {L"--set", L"Bitrate"},
             {L"--set", L"=5"},
             {L"--usage", L"fast"},
             {L"--trace-level", L"x"},
         }) {
        const auto parsed = ParseArguments(bad);
        EXPECT_FALSE(parsed.options) << bad.back();
        EXPECT_FALSE(parsed.error.empty());
    }
}

TEST(VqxcapOptions, ShortcutsBecomePropertyAssignmentsInOrder) {
    const auto parsed = ParseArguments({L"--list-properties", L"--usage", L"generic", L"--bitrate=8000000", L"--set",
                                        L"Min QP=10", L"--profile", L"100", L"--fps-wait", L"0"});
    ASSERT_TRUE(parsed.options) << parsed.error;
    const auto& s = parsed.options->settings;
    ASSERT_EQ(5u, s.size());
    EXPECT_EQ(L"Usage", s[0].name);
    EXPECT_EQ(L"1", s[0].value);
    EXPECT_EQ(L"Bitrate", s[1].name);
    EXPECT_EQ(L"8000000", s[1].value);
    EXPECT_EQ(L"Min QP", s[2].name) << "names may contain blanks";
    EXPECT_EQ(L"10", s[2].value);
    EXPECT_EQ(L"Profile", s[3].name);
    EXPECT_EQ(L"Wait Frame Max", s[4].name);
    EXPECT_EQ(Mode::ListProperties, parsed.options->mode);
}

TEST(VqxcapOptions, SetKeepsEverythingAfterTheFirstEqualsSign) {
    const auto parsed = ParseArguments({L"--caps", L"--set=Name=a=b"});
    ASSERT_TRUE(parsed.options);
    EXPECT_EQ(L"Name", parsed.options->settings.at(0).name);
    EXPECT_EQ(L"a=b", parsed.options->settings.at(0).value);
}

TEST(VqxcapOptions, TraceAndLogOptions) {
    const auto parsed = ParseArguments({L"--caps", L"--trace-level", L"-1", L"--log", L"C:\\t.log"});
    ASSERT_TRUE(parsed.options);
    EXPECT_EQ(-1, *parsed.options->traceLevel);
    EXPECT_EQ(L"C:\\t.log", parsed.options->logPath);
}
