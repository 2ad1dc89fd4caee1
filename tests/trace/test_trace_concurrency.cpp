// Several threads tracing at once: every record reaches the host output and the log file whole,
// never interleaved, none lost, and in the same order in both.
#include <vqx/trace.h>

#include "trace_recorder.h"
#include "scratch_folder.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace {

// A long body makes a torn record likely to show if writes were not serialized.
std::wstring Body(int thread, int index) {
    return L"t" + std::to_wstring(thread) + L" n" + std::to_wstring(index) + L" " + std::wstring(200, L'a' + thread);
}

void TraceFromThreads(int threads, int messages, const wchar_t* facility) {
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([=] {
            const std::wstring name = facility + std::to_wstring(t);
            for (int i = 0; i < messages; ++i)
                vqxTrace(0, name.c_str(), L"%s", Body(t, i).c_str());
        });
    }
    for (std::thread& worker : workers)
        worker.join();
}

// Splits the log into lines, each of which must match `record`; returns each line's two groups.
std::vector<std::pair<std::wstring, std::wstring>> ParseLog(const std::wstring& text, const std::wregex& record) {
    std::vector<std::pair<std::wstring, std::wstring>> records;
    for (size_t start = 0, end = 0; start < text.size(); start = end + 1) {
        end = text.find(L'\n', start);
        if (end == std::wstring::npos) {
            ADD_FAILURE() << "unterminated record";
            break;
        }
        const std::wstring line = text.substr(start, end + 1 - start);
        std::wsmatch match;
        if (!std::regex_match(line, match, record)) ADD_FAILURE() << "torn record at " << records.size();
        records.emplace_back(match.size() > 2 ? match[1].str() : L"", match.size() > 2 ? match[2].str() : L"");
    }
    return records;
}

}  // namespace

TEST(TraceConcurrency, RecordsFromManyThreadsStayWholeAndComplete) {
    constexpr int kThreads = 4, kMessages = 150;
    QuietConsole quiet;
    ScratchFolder scratch(L"trace_threads");
    const std::wstring path = scratch / L"threads.log";
    ASSERT_TRUE(vqxTraceSetFilePath(path.c_str()));
    TraceRecorder host;
    TraceFromThreads(kThreads, kMessages, L"Worker");
    vqxTraceCloseFile();

    // Host output: every message once, each thread's in its own order.
    const auto entries = host.Entries();
    ASSERT_EQ(entries.size(), static_cast<size_t>(kThreads * kMessages));
    std::map<std::wstring, int> nextIndex;
    for (const auto& entry : entries)
        EXPECT_EQ(entry.message, Body(entry.facility.back() - L'0', nextIndex[entry.facility]++));

    // Log file: the same records, line by line, in the host's order.
    const auto records = ParseLog(ReadLogText(path), std::wregex(LR"(\S+ \S+ : (Worker\d) : (.*)\r\n)"));
    ASSERT_EQ(records.size(), entries.size());
    for (size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records[i].first, entries[i].facility);
        EXPECT_EQ(records[i].second, entries[i].message);
    }
}

TEST(TraceConcurrency, ClosingAndReopeningWhileOthersTraceNeverTearsARecord) {
    QuietConsole quiet;
    ScratchFolder scratch(L"trace_close_race");
    const std::wstring path = scratch / L"race.log";
    ASSERT_TRUE(vqxTraceSetFilePath(path.c_str()));
    std::thread tracing([] { TraceFromThreads(2, 200, L"Race"); });
    for (int i = 0; i < 20; ++i) {
        vqxTraceCloseFile();
        vqxTraceSetFilePath(nullptr);
    }
    tracing.join();
    vqxTraceCloseFile();
    ParseLog(ReadLogText(path), std::wregex(LR"(\S+ \S+ : Race[01] : t[01] n\d+ [ab]{200}\r\n)"));
}
