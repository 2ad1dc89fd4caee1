// Messages per second through the trace core, on one thread and on two at once:
//   filtered  - dropped by the level filter (formatted, then dropped under the lock)
//   host      - dispatched to the built-in debugger output and one host output
//   log file  - dispatched to the built-in debugger output and the log file
// The console output is switched off so that the figures do not measure the terminal. Each case
// runs three times and the best rate is reported: the machine is shared, so slower runs mostly
// measure other processes.
#include <vqx/trace.h>

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr double kSecondsPerCase = 1.0;
constexpr int kBatch = 64;
constexpr int kRepeats = 3;

class CountingOutput : public vqx::VQXTraceListener {
public:
    void Write(const wchar_t*, const wchar_t* message) override {
        if (message != nullptr) ++m_count;
    }

private:
    std::atomic<long> m_count{0};
};

double Now() {
    LARGE_INTEGER frequency;
    LARGE_INTEGER counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Traces at the given level until the time is up; returns the number of messages.
long TraceFor(vqx::int32 level, double seconds) {
    long sent = 0;
    const double end = Now() + seconds;
    while (Now() < end) {
        for (int i = 0; i < kBatch; ++i)
            vqxTrace(level, L"Bench", L"message %d of the benchmark", i);
        sent += kBatch;
    }
    return sent;
}

double MessagesPerSecond(vqx::int32 level, int threads) {
    std::vector<long> counts(static_cast<size_t>(threads), 0);
    std::vector<std::thread> workers;
    const double start = Now();
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back(
            [&counts, t, level] { counts[static_cast<size_t>(t)] = TraceFor(level, kSecondsPerCase); });
    }
    for (std::thread& worker : workers)
        worker.join();
    const double elapsed = Now() - start;
    long total = 0;
    for (long count : counts)
        total += count;
    return static_cast<double>(total) / elapsed;
}

double BestOf(vqx::int32 level, int threads) {
    double best = 0;
    for (int run = 0; run < kRepeats; ++run) {
        const double rate = MessagesPerSecond(level, threads);
        if (rate > best) best = rate;
    }
    return best;
}

void Report(const char* name, int threads, double rate) {
    std::printf("%-10s %d thread%s %12.0f messages/s\n", name, threads, threads == 1 ? " " : "s", rate);
    std::fflush(stdout);
}

}  // namespace

int main() {
    vqxTraceDisableConsole();
    vqxTraceSetLevel(2);
    wchar_t folder[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, folder);
    const std::wstring logPath = std::wstring(folder) + L"\\trace_bench.log";

    std::printf("trace benchmark (best of %d runs of %.1f s per case)\n", kRepeats, kSecondsPerCase);
    for (int threads : {1, 2}) {
        Report("filtered", threads, BestOf(3, threads));

        CountingOutput host;
        vqx::VQXRegisterTraceListener(&host);
        Report("host", threads, BestOf(0, threads));
        vqx::VQXUnregisterTraceListener(&host);

        vqxTraceSetFilePath(logPath.c_str());
        Report("log file", threads, BestOf(0, threads));
        vqxTraceCloseFile();
    }
    DeleteFileW(logPath.c_str());
    vqxTraceEnableConsole();
    return 0;
}
