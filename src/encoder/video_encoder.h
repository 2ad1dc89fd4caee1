// The encoder's hold on one encoder of the encode service: creation and destruction, the
// configuration push, start and stop, and output queries that hand out VQXZepBuffer objects.
// Ownership: the component owns it by shared pointer while the encoder exists; it owns its
// pending outputs and frame waiter and keeps a plain pointer to the one buffer still attached.
// Thread rules: one driving thread; only the cancel flag may be set from another thread.
// Every service call goes through one check: a non-zero status is traced at level 0 under
// "VQXEncoderKLTZEPImpl" with the call's message and answered with the call's VQX_ERROR.
// Choices: QueryOutputs before any configuration push uses a wait limit of 0; the destructor
// detaches (with copying) a buffer still attached even when the encoder was never started.
#pragma once

#include "abi/zep_records.h"
#include "encoder/custom_params.h"
#include "encoder/encode_service.h"
#include "encoder/frame_wait_helper.h"

#include <vqx/encoder.h>

#include <atomic>
#include <deque>
#include <memory>

namespace vqx {

class VideoEncoder {
public:
    class VQXZepBufferImpl;

    // Creates the service encoder from a copy of `params`; on success `encoder` holds the new
    // video encoder. VQX_OK when `encoder` holds one afterwards, else VQX_ENCODER_CREATE_FAILED.
    static VQX_ERROR Create(const zep::ZEPCreateParams& params, std::shared_ptr<VideoEncoder>& encoder,
                            EncodeService& service = DriverEncodeService());

    // Sends nothing to the service; `handle` is the one ZEPCreate returned.
    VideoEncoder(EncodeService& service, uint32 handle, uint32 fpsNumerator, uint32 fpsDenominator, bool twoOutputs);
    VideoEncoder(const VideoEncoder&) = delete;
    VideoEncoder& operator=(const VideoEncoder&) = delete;
    // Stops, destroys the service encoder and drops the pending outputs.
    ~VideoEncoder();

    // Takes `customParams` as the new wait settings and pushes `header`; VQX_OK, or
    // VQX_DECODER_CREATE_FAILED when the service refuses (the code the component answers for it).
    VQX_ERROR SetConfig(const zep::ZEPConfigHeader& header, std::shared_ptr<CustomParams> customParams);
    // Starts encoding and restarts the frame pacing; VQX_OK, or VQX_ZEP_START_FAILED when the
    // service refuses.
    VQX_ERROR Start();
    // When started: reclaims every pending output (detaching the host's buffer with a copy), then
    // stops the service encoder. Failures are traced only.
    void Stop();
    // VQX_OK with a new buffer (one reference for the caller), VQX_REPEAT with null when nothing
    // came in time or `cancel` was set, VQX_ZEP_QUERY_FAILED when the service call failed.
    VQX_ERROR QueryOutputs(std::atomic<bool>& cancel, VQXZepBuffer** ppBuffer);

    uint32 Handle() const { return m_handle; }
    bool IsStarted() const { return m_started; }
    bool HasTwoOutputs() const { return m_twoOutputs; }
    std::size_t PendingCount() const { return m_pending.size(); }
    const FrameWaitHelper& FrameWaiter() const { return *m_frameWaiter; }

private:
    // Detaches the current buffer (copying its bytes) and hands out the oldest pending output,
    // or returns null when none is pending.
    VQXZepBufferImpl* NextBuffer();
    void ReclaimResource(uint32 resourceId);
    void ForgetBuffer(const VQXZepBufferImpl* buffer);

    EncodeService& m_service;
    uint32 m_handle;
    bool m_twoOutputs;
    bool m_started = false;
    std::shared_ptr<CustomParams> m_customParams;
    std::shared_ptr<FrameWaitHelper> m_frameWaiter;
    VQXZepBufferImpl* m_currentBuffer = nullptr;
    std::deque<zep::ZEPOutputEntry> m_pending;
};

// The service's capability list into `caps` (a zero-filled record of its size); `handle` is the
// encoder's or 0 without one. VQX_OK, or VQX_FAIL (not traced) when the call fails.
VQX_ERROR ReadServiceCaps(uint32 handle, zep::ZEPCaps& caps);

}  // namespace vqx
