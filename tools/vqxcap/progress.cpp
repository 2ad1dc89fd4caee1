#include "progress.h"

#include <vqx/memory.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>

namespace vqxcap {

void CaptureStats::AddOutput(uint64_t size, uint64_t newPictures, int64_t timestamp, double delayMs) {
    if (outputs == 0) firstTimestamp = timestamp;
    if (newPictures > 0) latestPictureTimestamp = timestamp;
    ++outputs;
    bytes += size;
    pictures += newPictures;
    delayTotalMs += delayMs;
    delayWorstMs = std::max(delayWorstMs, delayMs);
}

double CaptureStats::FramesPerSecond() const {
    return elapsedSeconds > 0 ? pictures / elapsedSeconds : 0;
}

double CaptureStats::FramePeriodSeconds() const {
    if (pictures < 2 || latestPictureTimestamp <= firstTimestamp) return 0;
    return static_cast<double>(latestPictureTimestamp - firstTimestamp) / 1e7 / static_cast<double>(pictures - 1);
}

double CaptureStats::KilobitsPerSecond() const {
    const double streamSeconds = static_cast<double>(pictures) * FramePeriodSeconds();
    return streamSeconds > 0 ? bytes * 8.0 / 1000.0 / streamSeconds : 0;
}

double CaptureStats::AverageDelayMs() const {
    return outputs > 0 ? delayTotalMs / outputs : 0;
}

double DeliveryClock::DelayMs(double arrivalSeconds, int64_t timestamp) {
    const double offsetMs = arrivalSeconds * 1000.0 - static_cast<double>(timestamp) / 10000.0;
    if (!m_started || offsetMs < m_promptestOffsetMs) {
        m_started = true;
        m_promptestOffsetMs = offsetMs;
    }
    return offsetMs - m_promptestOffsetMs;
}

std::wstring FormatProgress(const CaptureStats& stats) {
    wchar_t line[160];
    std::swprintf(line, 160, L"frames %llu | %.1f fps | %.0f kbit/s | delay avg %.1f ms, worst %.1f ms",
                  static_cast<unsigned long long>(stats.pictures), stats.FramesPerSecond(), stats.KilobitsPerSecond(),
                  stats.AverageDelayMs(), stats.delayWorstMs);
    return line;
}

ProgressLine::ProgressLine(bool enabled) : m_enabled(enabled) {}

void ProgressLine::Update(const CaptureStats& stats) {
    if (!m_enabled) return;
    const double now = NowSeconds();
    if (m_lastDraw >= 0 && now - m_lastDraw < 0.25) return;
    m_lastDraw = now;
    std::fwprintf(stderr, L"\r%ls\x1b[K", FormatProgress(stats).c_str());
    std::fflush(stderr);
    m_drawn = true;
}

void ProgressLine::Finish() {
    if (m_drawn) std::fputwc(L'\n', stderr);
    m_drawn = false;
}

double NowSeconds() {
    return static_cast<double>(vqx_high_precision_clock()) / 1e7;
}

}  // namespace vqxcap
