// The trace core seen from a host: filters, facilities, registration, formatting and dumps.
#include <vqx/trace.h>

#include "debug_capture.h"
#include "recording_listener.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <string>

namespace {

// Restores the default threshold whatever a test did.
class TraceCore : public ::testing::Test {
protected:
    void TearDown() override { vqxTraceSetLevel(2); }
    QuietConsole m_quiet;
    RecordingListener m_output;
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
    EXPECT_TRUE(vqx::vqx_asserts_enabled());
}

TEST_F(TraceCore, LevelFilterUsesSignedThresholdStartingAtTwo) {
    for (int level = -1; level <= 3; ++level) vqxTrace(level, L"F", L"level %d", level);
    vqxTrace(0x7FFFFFFF, L"F", L"huge");
    EXPECT_EQ(m_output.Messages(), (std::vector<std::wstring>{L"level -1", L"level 0", L"level 1", L"level 2"}));

    m_output.Clear();
    EXPECT_EQ(vqxTraceSetLevel(-1), 2);
    vqxTrace(0, L"F", L"dropped");
    vqxTrace(-1, L"F", L"kept");
    vqxTrace(static_cast<vqx::int32>(0x80000000u), L"F", L"most important");
    EXPECT_EQ(m_output.Messages(), (std::vector<std::wstring>{L"kept", L"most important"}));
    EXPECT_EQ(vqxTraceSetLevel(5), -1);
    EXPECT_EQ(vqxTraceSetLevel(2), 5);
}

TEST_F(TraceCore, FacilitySwitchesReturnThePreviousFlagAndCompareExactly) {
    EXPECT_FALSE(vqxTraceEnableFacility(L"A"));   // no entry yet
    EXPECT_TRUE(vqxTraceDisableFacility(L"A"));   // was enabled
    EXPECT_FALSE(vqxTraceDisableFacility(L"A"));  // was disabled
    vqxTrace(0, L"A", L"from A");
    vqxTrace(0, L"a", L"from a");
    vqxTrace(0, L"AB", L"from AB");
    EXPECT_EQ(m_output.Messages(), (std::vector<std::wstring>{L"from a", L"from AB"}));

    EXPECT_FALSE(vqxTraceEnableFacility(L"A"));
    EXPECT_TRUE(vqxTraceEnableFacility(L"A"));
    vqxTrace(0, L"A", L"again");
    EXPECT_EQ(m_output.Messages().back(), L"again");

    EXPECT_FALSE(vqxTraceEnableFacility(nullptr));
    EXPECT_FALSE(vqxTraceDisableFacility(nullptr));
}

TEST_F(TraceCore, RegistrationRefusesDuplicatesAndUnknownOutputs) {
    struct Plain : vqx::VQXTraceListener {
        int calls = 0;
        void Write(const wchar_t*, const wchar_t*) override { ++calls; }
    } plain;
    EXPECT_FALSE(vqx::VQXUnregisterTraceListener(&plain));
    EXPECT_TRUE(vqx::VQXRegisterTraceListener(&plain));
    EXPECT_FALSE(vqx::VQXRegisterTraceListener(&plain));
    vqxTrace(0, L"F", L"once");
    EXPECT_EQ(plain.calls, 1);  // registered once, called once
    EXPECT_TRUE(vqx::VQXUnregisterTraceListener(&plain));
    EXPECT_FALSE(vqx::VQXUnregisterTraceListener(&plain));
    vqxTrace(0, L"F", L"not any more");
    EXPECT_EQ(plain.calls, 1);
    EXPECT_FALSE(vqx::VQXRegisterTraceListener(nullptr));
}

TEST_F(TraceCore, OutputsAreCalledInRegistrationOrderAfterTheDebugger) {
    DebugOutputCapture debugger;
    std::vector<int> order;
    struct Tagged : vqx::VQXTraceListener {
        Tagged(std::vector<int>& order, int tag, DebugOutputCapture& debugger)
            : order(order), tag(tag), debugger(debugger) {}
        void Write(const wchar_t*, const wchar_t*) override {
            order.push_back(tag);
            sawDebuggerFirst = !debugger.Texts().empty();
        }
        std::vector<int>& order;
        int tag;
        DebugOutputCapture& debugger;
        bool sawDebuggerFirst = false;
    } first(order, 1, debugger), second(order, 2, debugger);
    vqx::VQXRegisterTraceListener(&first);
    vqx::VQXRegisterTraceListener(&second);
    vqxTrace(0, L"F", L"ordered");
    vqx::VQXUnregisterTraceListener(&first);
    vqx::VQXUnregisterTraceListener(&second);
    // m_output was registered before both.
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    EXPECT_EQ(m_output.Messages(), (std::vector<std::wstring>{L"ordered"}));
    EXPECT_TRUE(first.sawDebuggerFirst);
}

TEST_F(TraceCore, WideFormattingTakesWideStringsForPercentS) {
    vqxTrace(0, L"F", L"%s=%d [%5.2f] %c %x %I64d %%", L"name", -42, 3.14159, L'Q', 255u, 1234567890123ll);
    TraceVa(0, L"F", L"va %s %u", L"wide", 7u);
    ASSERT_EQ(m_output.Messages().size(), 2u);
    EXPECT_EQ(m_output.Messages()[0], L"name=-42 [ 3.14] Q ff 1234567890123 %");
    EXPECT_EQ(m_output.Messages()[1], L"va wide 7");
    EXPECT_EQ(m_output.Entries()[0].facility, L"F");
}

TEST_F(TraceCore, NarrowFormattingIsConvertedToWide) {
    TraceNarrow(0, "Narrow", "%s:%d:%05.1f", "text", 12, 2.5);
    ASSERT_EQ(m_output.Entries().size(), 1u);
    EXPECT_EQ(m_output.Entries()[0].facility, L"Narrow");
    EXPECT_EQ(m_output.Entries()[0].message, L"text:12:002.5");
}

TEST_F(TraceCore, NarrowFacilityIsFilteredAfterConversion) {
    vqxTraceDisableFacility(L"NarrowOff");
    TraceNarrow(0, "NarrowOff", "hidden");
    EXPECT_TRUE(m_output.Messages().empty());
    vqxTraceEnableFacility(L"NarrowOff");
}

TEST_F(TraceCore, LongMessagesAreDeliveredWhole) {
    const std::wstring text(100000, L'x');
    vqxTrace(0, L"F", L"<%s>", text.c_str());
    ASSERT_EQ(m_output.Messages().size(), 1u);
    EXPECT_EQ(m_output.Messages()[0], L"<" + text + L">");

    const std::string narrow(70000, 'n');
    TraceNarrow(0, "F", "%s|", narrow.c_str());
    ASSERT_EQ(m_output.Messages().size(), 2u);
    EXPECT_EQ(m_output.Messages()[1], std::wstring(70000, L'n') + L"|");
}

TEST_F(TraceCore, NullFacilityIsTracedAsEmptyAndNullFormatIsDropped) {
    vqxTrace(0, nullptr, L"anonymous");
    vqxTrace(0, L"F", nullptr);
    TraceNarrow(0, nullptr, "narrow anonymous");
    TraceNarrow(0, "F", nullptr);
    vqxTraceBuffer(0, nullptr, nullptr, 5);
    const auto entries = m_output.Entries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].facility, L"");
    EXPECT_EQ(entries[0].message, L"anonymous");
    EXPECT_EQ(entries[1].facility, L"");
    EXPECT_EQ(entries[1].message, L"narrow anonymous");
    EXPECT_EQ(entries[2].message, L"\r\n");  // null data dumps no bytes
}

TEST_F(TraceCore, BufferDumpHasSixteenEntriesPerLine) {
    const vqx::uint8 three[] = {0x01, 0xAB, 0xFF};
    vqxTraceBuffer(0, L"Dump", three, 3);
    vqxTraceBuffer(0, L"Dump", three, 0);

    vqx::uint8 seventeen[17];
    for (int i = 0; i < 17; ++i) seventeen[i] = static_cast<vqx::uint8>(i * 16);
    vqxTraceBuffer(0, L"Dump", seventeen, 16);
    vqxTraceBuffer(0, L"Dump", seventeen, 17);

    const auto messages = m_output.Messages();
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_EQ(messages[0], L"\r\n0x01, 0xAB, 0xFF, \r\n");
    EXPECT_EQ(messages[1], L"\r\n");
    const std::wstring line16 =
        L"0x00, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x80, 0x90, 0xA0, 0xB0, 0xC0, 0xD0, 0xE0, 0xF0, ";
    EXPECT_EQ(messages[2], L"\r\n" + line16 + L"\r\n");
    EXPECT_EQ(messages[3], L"\r\n" + line16 + L"\r\n0x00, \r\n");
}

TEST_F(TraceCore, BufferDumpIsFilteredLikeAnyMessage) {
    const vqx::uint8 byte = 0x5A;
    vqxTraceBuffer(3, L"Dump", &byte, 1);
    vqxTraceDisableFacility(L"DumpOff");
    vqxTraceBuffer(0, L"DumpOff", &byte, 1);
    vqxTraceEnableFacility(L"DumpOff");
    EXPECT_TRUE(m_output.Messages().empty());
}

TEST_F(TraceCore, LargeDumpKeepsEveryByte) {
    std::vector<vqx::uint8> bytes(4096);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<vqx::uint8>(i * 7);
    vqxTraceBuffer(0, L"Dump", bytes.data(), static_cast<vqx::uint32>(bytes.size()));
    ASSERT_EQ(m_output.Messages().size(), 1u);
    const std::wstring message = m_output.Messages()[0];
    EXPECT_EQ(message.size(), 2u + (bytes.size() / 16) * (16 * 6 + 2));
    wchar_t expected[16];
    swprintf(expected, 16, L"0x%02X, ", static_cast<unsigned>(bytes[4095]));
    EXPECT_EQ(message.substr(message.size() - 8, 6), std::wstring(expected));
}
