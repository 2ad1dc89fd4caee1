// Capture statistics and the one-line progress display, refreshed in place on a terminal.
// Thread rules: one thread.
#pragma once

#include <cstdint>
#include <string>

namespace vqxcap {

// The bitrate is the stream's own: bytes over the stream time the pictures cover (pictures × frame
// period, the period read from the outputs' timestamps), so a slow machine that delivers late
// does not make it look lower. Frames per second is the capture's speed on the wall clock.
struct CaptureStats {
    uint64_t pictures = 0;
    uint64_t outputs = 0;
    uint64_t bytes = 0;
    uint64_t timeouts = 0;  // queries answered "repeat" (nothing came in time)
    double elapsedSeconds = 0;
    double delayTotalMs = 0;  // delivery delays (see DeliveryClock), summed
    double delayWorstMs = 0;
    int64_t firstTimestamp = 0;          // of the first output, 100-nanosecond units
    int64_t latestPictureTimestamp = 0;  // of the latest output that began a picture

    void AddOutput(uint64_t size, uint64_t newPictures, int64_t timestamp, double delayMs);
    double FramesPerSecond() const;
    // Timestamp span over the pictures after the first; 0 until two pictures span some time.
    double FramePeriodSeconds() const;
    double KilobitsPerSecond() const;
    double AverageDelayMs() const;
};

// How late an output reaches the host compared with the stream's own clock (timestamps in
// 100-nanosecond units): its arrival time minus its timestamp, less the smallest such offset seen
// so far (the output that came most promptly). Never negative.
class DeliveryClock {
public:
    double DelayMs(double arrivalSeconds, int64_t timestamp);

private:
    bool m_started = false;
    double m_promptestOffsetMs = 0;
};

// "frames 120 | 59.9 fps | 8123 kbit/s | delay avg 0.8 ms, worst 3.0 ms"
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
