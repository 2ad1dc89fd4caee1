// Capture statistics and the one-line progress display, refreshed in place on a terminal.
// Thread rules: one thread.
#pragma once

#include <cstdint>
#include <string>

namespace vqxcap {

struct CaptureStats {
    uint64_t pictures = 0;
    uint64_t outputs = 0;
    uint64_t bytes = 0;
    uint64_t timeouts = 0;         // queries answered "repeat" (nothing came in time)
    double elapsedSeconds = 0;
    double waitTotalMs = 0;        // time spent inside successful queries
    double waitWorstMs = 0;

    void AddOutput(uint64_t size, uint64_t newPictures, double waitMs);
    double FramesPerSecond() const;
    double KilobitsPerSecond() const;
    double AverageWaitMs() const;
};

// "frames 120 | 59.9 fps | 8123 kbit/s | wait avg 4.1 ms, worst 17.0 ms"
std::wstring FormatProgress(const CaptureStats& stats);

class ProgressLine {
public:
    explicit ProgressLine(bool enabled);
    // Redraws at most every quarter second.
    void Update(const CaptureStats& stats);
    // Ends the in-place line.
    void Finish();

private:
    bool m_enabled;
    bool m_drawn = false;
    double m_lastDraw = -1;
};

// Seconds from a monotonic clock.
double NowSeconds();

}  // namespace vqxcap
