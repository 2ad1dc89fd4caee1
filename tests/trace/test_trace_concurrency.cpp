// Several threads tracing at once: every record reaches the host output and the log file whole,
// never interleaved, none lost, and in the same order in both.
#include <vqx/trace.h>

#include "recording_listener.h"
#include "scratch_folder.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kThreads = 4;
constexpr int kMessagesPerThread = 150;

std::wstring LogText(const std::wstring& path) {
    const std::string bytes = ReadAllBytes(path);
    if (bytes.size() < 2) return L"";
    std::wstring text((bytes.size() - 2) / 2, L'\0');
    memcpy(&text[0], bytes.data() + 2, text.size() * 2);
    return text;
}

// A long body makes a torn record likely to show if writes were not serialized.
std::wstring Body(int thread, int index) {
    return L"t" + std::to_wstring(thread) + L" n" + std::to_wstring(index) + L" " + std::wstring(200, L'a' + thread);
}

}  // namespace

TEST(TraceConcurrency, RecordsFromManyThreadsStayWholeAndComplete) {
    QuietConsole quiet;
    ScratchFolder scratch(L"trace_threads");
    const std::wstring path = scratch / L"threads.log";
    ASSERT_TRUE(vqxTraceSetFilePath(path.c_str()));
    RecordingListener host;

    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            const std::wstring facility = L"Worker" + std::to_wstring(t);
            for (int i = 0; i < kMessagesPerThread; ++i) vqxTrace(0, facility.c_str(), L"%s", Body(t, i).c_str());
        });
    }
    for (std::thread& thread : threads) thread.join();
    vqxTraceCloseFile();

    // Host output: every message once, each thread's in its own order.
    const auto entries = host.Entries();
    ASSERT_EQ(entries.size(), static_cast<size_t>(kThreads * kMessagesPerThread));
    std::map<std::wstring, int> nextIndex;
    for (const auto& entry : entries) {
        const int t = entry.facility.back() - L'0';
        const int expected = nextIndex[entry.facility]++;
        EXPECT_EQ(entry.message, Body(t, expected));
    }

    // Log file: the same records, line by line, in the host's order.
    const std::wstring text = LogText(path);
    const std::wregex line(LR"(\S+ \S+ : (Worker\d) : (.*)\r)");
    size_t start = 0;
    size_t count = 0;
    while (start < text.size()) {
        const size_t end = text.find(L'\n', start);
        ASSERT_NE(end, std::wstring::npos) << "unterminated record";
        const std::wstring record = text.substr(start, end - start);
        std::wsmatch match;
        ASSERT_TRUE(std::regex_match(record, match, line)) << "torn record at " << count;
        ASSERT_LT(count, entries.size());
        EXPECT_EQ(match[1].str(), entries[count].facility);
        EXPECT_EQ(match[2].str(), entries[count].message);
        ++count;
        start = end + 1;
    }
    EXPECT_EQ(count, entries.size());
}

TEST(TraceConcurrency, ClosingAndReopeningWhileOthersTraceNeverTearsARecord) {
    QuietConsole quiet;
    ScratchFolder scratch(L"trace_close_race");
    const std::wstring path = scratch / L"race.log";
    ASSERT_TRUE(vqxTraceSetFilePath(path.c_str()));

    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i) vqxTrace(0, L"Race", L"%s", Body(t, i).c_str());
        });
    }
    for (int i = 0; i < 20; ++i) {
        vqxTraceCloseFile();
        vqxTraceSetFilePath(nullptr);
    }
    for (std::thread& thread : threads) thread.join();
    vqxTraceCloseFile();

    const std::wstring text = LogText(path);
    const std::wregex line(LR"(\S+ \S+ : Race : t[01] n\d+ [ab]{200}\r)");
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find(L'\n', start);
        ASSERT_NE(end, std::wstring::npos);
        ASSERT_TRUE(std::regex_match(text.substr(start, end - start), line));
        start = end + 1;
    }
}
