// The trace core seen from a host: filters, facilities, registration, formatting and dumps.
#include <vqx/trace.h>

#include "debug_capture.h"
#include "trace_recorder.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <string>

namespace {

using Texts = std::vector<std::wstring>;

// Restores the default threshold whatever a test did.
class TraceCore : public ::testing::Test {
protected:
    void TearDown() override { vqxTraceSetLevel(2); }
    QuietConsole m_quiet;
    TraceRecorder m_output;
};

void TraceVa(vqx::int32 level, const wchar_t* facility, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    vqxTraceVaW(level, facility, format, args);
    va_end(args);
}

void TraceNarrow(vqx::int32 level, const char* facility, const char* format, ...) {
    va_list args;
    va_start(args, format);
    vqxTraceVa(level, facility, format, args);
    va_end(args);
}

}  // namespace

TEST(TraceAsserts, EnabledUntilSwitchedOff) {
    EXPECT_TRUE(vqx::vqx_asserts_enabled());
    vqx::vqx_asserts_enable(false);
    EXPECT_FALSE(vqx::vqx_asserts_enabled());
    vqx::vqx_asserts_enable(true);
}

TEST_F(TraceCore, LevelFilterUsesSignedThresholdStartingAtTwo) {
    for (int level = -1; level <= 3; ++level)
        vqxTrace(level, L"F", L"level %d", level);
    vqxTrace(0x7FFFFFFF, L"F", L"huge");
    EXPECT_EQ(vqxTraceSetLevel(-1), 2);
    vqxTrace(0, L"F", L"dropped");
    vqxTrace(-1, L"F", L"kept");
    vqxTrace(static_cast<vqx::int32>(0x80000000u), L"F", L"most important");
    const vqx::uint8 byte = 0x5A;
    vqxTraceBuffer(0, L"F", &byte, 1);  // dumps are filtered like any message
    EXPECT_EQ(m_output.Messages(),
              (Texts{L"level -1", L"level 0", L"level 1", L"level 2", L"kept", L"most important"}));
    EXPECT_EQ(vqxTraceSetLevel(2), -1);
}

TEST_F(TraceCore, FacilitySwitchesReturnThePreviousFlagAndCompareExactly) {
    EXPECT_FALSE(vqxTraceEnableFacility(L"A"));   // no entry yet
    EXPECT_TRUE(vqxTraceDisableFacility(L"A"));   // was enabled
    EXPECT_FALSE(vqxTraceDisableFacility(L"A"));  // was disabled
    vqxTrace(0, L"A", L"from A");
    vqxTrace(0, L"a", L"from a");
    vqxTrace(0, L"AB", L"from AB");
    TraceNarrow(0, "A", "narrow A");  // filtered after conversion to wide
    const vqx::uint8 byte = 0x5A;
    vqxTraceBuffer(0, L"A", &byte, 1);
    EXPECT_EQ(m_output.Messages(), (Texts{L"from a", L"from AB"}));
    EXPECT_FALSE(vqxTraceEnableFacility(L"A"));
    EXPECT_TRUE(vqxTraceEnableFacility(L"A"));
    vqxTrace(0, L"A", L"again");
    EXPECT_EQ(m_output.Messages().back(), L"again");
    EXPECT_FALSE(vqxTraceEnableFacility(nullptr));
    EXPECT_FALSE(vqxTraceDisableFacility(nullptr));
}

// Host outputs are called once each, in registration order, after the built-in debugger output.
TEST_F(TraceCore, RegistrationOrderWithoutDuplicates) {
    DebugOutputCapture debugger;
    std::wstring calls;
    struct Tagged : vqx::VQXTraceListener {
        Tagged(std::wstring& calls, wchar_t tag, DebugOutputCapture& debugger)
            : calls(calls), tag(tag), debugger(debugger) {}
        void Write(const wchar_t*, const wchar_t*) override { calls += debugger.Texts().empty() ? L'?' : tag; }
        std::wstring& calls;
        wchar_t tag;
        DebugOutputCapture& debugger;
    } first(calls, L'1', debugger), second(calls, L'2', debugger);
    EXPECT_FALSE(vqx::VQXUnregisterTraceListener(&first));
    EXPECT_TRUE(vqx::VQXRegisterTraceListener(&first));
    EXPECT_TRUE(vqx::VQXRegisterTraceListener(&second));
    EXPECT_FALSE(vqx::VQXRegisterTraceListener(&first));
    EXPECT_FALSE(vqx::VQXRegisterTraceListener(nullptr));
    vqxTrace(0, L"F", L"ordered");
    EXPECT_EQ(calls, L"12");
    EXPECT_EQ(m_output.Messages(), Texts{L"ordered"});  // registered before both
    EXPECT_TRUE(vqx::VQXUnregisterTraceListener(&first));
    EXPECT_FALSE(vqx::VQXUnregisterTraceListener(&first));
    vqxTrace(0, L"F", L"second only");
    EXPECT_TRUE(vqx::VQXUnregisterTraceListener(&second));
    EXPECT_EQ(calls, L"122");
}

TEST_F(TraceCore, FormattingFollowsTheRuntimeAndHasNoLengthLimit) {
    vqxTrace(0, L"F", L"%s=%d [%5.2f] %c %x %I64d %%", L"name", -42, 3.14159, L'Q', 255u, 1234567890123ll);
    TraceVa(0, L"F", L"va %s %u", L"wide", 7u);
    TraceNarrow(0, "Narrow", "%s:%d:%05.1f", "text", 12, 2.5);
    const std::wstring longText(100000, L'x');
    vqxTrace(0, L"F", L"<%s>", longText.c_str());
    TraceNarrow(0, "F", "%s|", std::string(70000, 'n').c_str());
    // A null facility reads as empty; a null format or message is dropped; null data dumps no bytes.
    vqxTrace(0, nullptr, L"anonymous");
    vqxTrace(0, L"F", nullptr);
    TraceNarrow(0, nullptr, "narrow anonymous");
    TraceNarrow(0, "F", nullptr);
    vqxTraceBuffer(0, nullptr, nullptr, 5);
    const auto entries = m_output.Entries();
    const struct {
        const wchar_t* facility;
        std::wstring message;
    } expected[] = {
        {L"F", L"name=-42 [ 3.14] Q ff 1234567890123 %"},
        {L"F", L"va wide 7"},
        {L"Narrow", L"text:12:002.5"},
        {L"F", L"<" + longText + L">"},
        {L"F", std::wstring(70000, L'n') + L"|"},
        {L"", L"anonymous"},
        {L"", L"narrow anonymous"},
        {L"", L"\r\n"},
    };
    ASSERT_EQ(entries.size(), std::size(expected));
    for (size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].facility, expected[i].facility) << i;
        EXPECT_TRUE(entries[i].message == expected[i].message) << i;
    }
}

TEST_F(TraceCore, BufferDumpHasSixteenEntriesPerLine) {
    std::vector<vqx::uint8> bytes(4096);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<vqx::uint8>(i * 16 + i / 16);
    const vqx::uint8 three[] = {0x01, 0xAB, 0xFF};
    vqxTraceBuffer(0, L"Dump", three, 3);
    vqxTraceBuffer(0, L"Dump", three, 0);
    vqxTraceBuffer(0, L"Dump", bytes.data(), 16);
    vqxTraceBuffer(0, L"Dump", bytes.data(), 17);
    vqxTraceBuffer(0, L"Dump", bytes.data(), static_cast<vqx::uint32>(bytes.size()));
    const Texts messages = m_output.Messages();
    ASSERT_EQ(messages.size(), 5u);
    EXPECT_EQ(messages[0], L"\r\n0x01, 0xAB, 0xFF, \r\n");
    EXPECT_EQ(messages[1], L"\r\n");
    const std::wstring line16 =
        L"0x00, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x80, 0x90, 0xA0, 0xB0, 0xC0, 0xD0, 0xE0, 0xF0, ";
    EXPECT_EQ(messages[2], L"\r\n" + line16 + L"\r\n");
    EXPECT_EQ(messages[3], L"\r\n" + line16 + L"\r\n0x01, \r\n");
    std::wstring whole = L"\r\n";  // a large dump keeps every byte
    for (size_t i = 0; i < bytes.size(); ++i) {
        wchar_t entry[8];
        swprintf(entry, 8, L"0x%02X, ", static_cast<unsigned>(bytes[i]));
        whole += entry;
        if (i % 16 == 15) whole += L"\r\n";
    }
    EXPECT_TRUE(messages[4] == whole);
}
