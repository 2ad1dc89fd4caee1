// Frame-time pacing of output queries: predicts when the next frame is due from the frame rate,
// the start time and a learned latency offset, and sleeps until then in 1 ms steps.
// Ownership: owned by the video encoder. Thread rules: used by the querying thread only.
// A frame-rate numerator of 0 (no frame rate known) disables the prediction: no frame wait, and
// a late delivery does not change the offset. Nothing ever divides by it.
#pragma once

#include "encoder/precise_waiter.h"

namespace vqx {

class FrameWaitHelper : public VQXPreciseWaiter {
public:
    FrameWaitHelper(uint32 numerator, uint32 denominator);

    // Starts a new stream at `now`: offset and frame count back to 0.
    void Restart(int64 now);

    // Sleeps until the predicted time of the next frame; returns the ticks it meant to wait
    // (0 when the frame is already due).
    int64 WaitForNextFrame();

    // Learns from a delivered output. `pollCount` 0 means it was ready at the first poll (the
    // offset decays by 1 %); otherwise the lateness of `pollTime` weighs 5/6 in the new offset.
    void OnOutputDelivered(uint64 pollCount, int64 pollTime);

    int64 StartTime() const { return m_startTime; }
    int64 LatencyOffset() const { return m_latencyOffset; }
    uint64 FrameCount() const { return m_frameCount; }

private:
    // Ticks from the start to the frame `m_frameCount` at the nominal rate (numerator non-zero).
    uint64 IdealFrameTime() const;

    uint32 m_numerator;
    uint32 m_denominator;
    int64 m_startTime = 0;
    int64 m_latencyOffset = 0;
    uint64 m_frameCount = 0;
};

}  // namespace vqx
