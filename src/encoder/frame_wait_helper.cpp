#include "encoder/frame_wait_helper.h"

#include <vqx/memory.h>

namespace vqx {

namespace {
constexpr uint64 kTicksPerSecond = 10000000;
}

FrameWaitHelper::FrameWaitHelper(uint32 numerator, uint32 denominator)
    : m_numerator(numerator), m_denominator(denominator) {}

void FrameWaitHelper::Restart(int64 now) {
    m_startTime = now;
    m_latencyOffset = 0;
    m_frameCount = 0;
}

uint64 FrameWaitHelper::IdealFrameTime() const {
    return m_frameCount * m_denominator * kTicksPerSecond / m_numerator;
}

int64 FrameWaitHelper::WaitForNextFrame() {
    if (m_numerator == 0) return 0;
    const int64 target = static_cast<int64>(IdealFrameTime()) + m_latencyOffset + m_startTime;
    const int64 now = vqx_high_precision_clock();
    if (now >= target) return 0;
    Wait(target - now);
    return target - now;
}

void FrameWaitHelper::OnOutputDelivered(uint64 pollCount, int64 pollTime) {
    ++m_frameCount;
    if (pollCount == 0) {
        m_latencyOffset = m_latencyOffset * 99 / 100;
        return;
    }
    if (m_numerator == 0) return;
    const int64 delta = pollTime - static_cast<int64>(IdealFrameTime()) - m_startTime;
    m_latencyOffset = (5 * delta + m_latencyOffset) / 6;
}

}  // namespace vqx
