#include "encoder/video_encoder.h"

#include "bindings/zep_service.h"
#include "encoder/zep_buffer.h"

#include <vqx/memory.h>
#include <vqx/trace.h>

#include <array>

namespace vqx {

namespace {

constexpr wchar_t kFacility[] = L"VQXEncoderKLTZEPImpl";
constexpr int64 kTicksPerMillisecond = 10000;

zep::ZEPControlParams ControlParams() {
    return zep::ZEPControlParams{sizeof(zep::ZEPControlParams), 0, 0};
}
zep::ZEPStatus FreshStatus() {
    return zep::ZEPStatus{sizeof(zep::ZEPStatus), 0};
}
zep::ZEPHandleParams HandleParams(uint32 value) {
    return zep::ZEPHandleParams{sizeof(zep::ZEPHandleParams), 0, value, 0};
}

// A service call as the video encoder reports its failure: the trace message (showing the
// service's status; null for a call that is not traced) and the VQX_ERROR it answers upward.
struct ServiceCall {
    const wchar_t* traceFormat;
    VQX_ERROR failure;
};

constexpr ServiceCall kCreateCall{L"ZEPCreate() - ZEP encoder create failed, err %d", VQX_ENCODER_CREATE_FAILED};
constexpr ServiceCall kDestroyCall{L"ZEPDestroy()- ZEP encoder destroying failed, err %d", VQX_ENCODER_DESTROY_FAILED};
constexpr ServiceCall kSetConfigCall{L"ZEPSetConfig()- ZEP encoder set config failed, err %d",
                                     VQX_DECODER_CREATE_FAILED};
constexpr ServiceCall kStartCall{L"ZEPStartEncode()- ZEP encoder start failed, err %d", VQX_ZEP_START_FAILED};
constexpr ServiceCall kStopCall{L"ZEPStopEncode()- ZEP encoder stop failed, err %d", VQX_FAIL};
constexpr ServiceCall kQueryCall{L"ZEPQueryOutputs()- ZEP encoder query output failed, err %d", VQX_ZEP_QUERY_FAILED};
constexpr ServiceCall kReclaimCall{L"ZEPReclaimOutputResource()- ZEP encoder reclaim output failed, err %d",
                                   VQX_RVX_RECLAIM_FAILED};
constexpr ServiceCall kGetCapsCall{nullptr, VQX_FAIL};  // a property read: answered, not traced

// The one check of a service call's status: 0 is VQX_OK, anything else is traced and answered
// with the call's failure code.
VQX_ERROR Checked(const ServiceCall& call, int32 status) {
    if (status == 0) return VQX_OK;
    if (call.traceFormat != nullptr) vqxTrace(0, kFacility, call.traceFormat, status);
    return call.failure;
}

}  // namespace

VQX_ERROR ReadServiceCaps(uint32 handle, zep::ZEPCaps& caps) {
    const zep::ZEPHandleParams request = HandleParams(0);
    return Checked(kGetCapsCall, zep::ZEPGetCaps(handle, &request, &caps));
}

VQX_ERROR VideoEncoder::Create(const zep::ZEPCreateParams& params, std::shared_ptr<VideoEncoder>& encoder,
                               EncodeService& service) {
    zep::ZEPCreateParams request = params;
    zep::ZEPCreateResult result{};
    result.size = sizeof(result);
    if (Checked(kCreateCall, service.Create(&request, &result)) == VQX_OK) {
        const bool twoOutputs = request.outputType == zep::kOutputTypeTwoParts;
        encoder = std::make_shared<VideoEncoder>(service, result.handle, request.fpsNumerator, request.fpsDenominator,
                                                 twoOutputs);
    }
    return encoder ? VQX_OK : VQX_ENCODER_CREATE_FAILED;
}

VideoEncoder::VideoEncoder(EncodeService& service, uint32 handle, uint32 fpsNumerator, uint32 fpsDenominator,
                           bool twoOutputs)
    : m_service(service),
      m_handle(handle),
      m_twoOutputs(twoOutputs),
      m_frameWaiter(std::make_shared<FrameWaitHelper>(fpsNumerator, fpsDenominator)) {}

VideoEncoder::~VideoEncoder() {
    Stop();
    const zep::ZEPHandleParams params = HandleParams(m_handle);
    zep::ZEPStatus status = FreshStatus();
    Checked(kDestroyCall, m_service.Destroy(&params, &status));  // traced only: nothing to report to
    // Only reachable when outputs were queried without a start: keep the host's bytes readable.
    if (m_currentBuffer != nullptr) m_currentBuffer->Detach(true);
    m_pending.clear();
    m_frameWaiter.reset();
    m_customParams.reset();
}

VQX_ERROR VideoEncoder::SetConfig(const zep::ZEPConfigHeader& header, std::shared_ptr<CustomParams> customParams) {
    m_customParams = std::move(customParams);
    zep::ZEPStatus status = FreshStatus();
    return Checked(kSetConfigCall, m_service.SetConfig(m_handle, &header, &status));
}

VQX_ERROR VideoEncoder::Start() {
    const zep::ZEPControlParams params = ControlParams();
    zep::ZEPStatus status = FreshStatus();
    const VQX_ERROR started = Checked(kStartCall, m_service.StartEncode(m_handle, &params, &status));
    if (started != VQX_OK) return started;
    m_frameWaiter->Restart(vqx_high_precision_clock());
    m_started = true;
    return VQX_OK;
}

void VideoEncoder::Stop() {
    if (!m_started) return;
    while (VQXZepBufferImpl* buffer = NextBuffer())
        buffer->Release();
    const zep::ZEPControlParams params = ControlParams();
    zep::ZEPStatus status = FreshStatus();
    Checked(kStopCall, m_service.StopEncode(m_handle, &params, &status));  // traced only: stopped either way
    m_started = false;
}

VideoEncoder::VQXZepBufferImpl* VideoEncoder::NextBuffer() {
    if (m_currentBuffer != nullptr) m_currentBuffer->Detach(true);
    if (m_pending.empty()) return nullptr;
    const zep::ZEPOutputEntry entry = m_pending.front();
    m_pending.pop_front();
    const bool lastOfResource = m_pending.empty() || m_pending.front().resourceId != entry.resourceId;
    m_currentBuffer = CreateInstance<VQXZepBufferImpl>(this, entry, lastOfResource);
    return m_currentBuffer;
}

void VideoEncoder::ReclaimResource(uint32 resourceId) {
    const zep::ZEPHandleParams params = HandleParams(resourceId);
    zep::ZEPStatus status = FreshStatus();
    Checked(kReclaimCall, m_service.ReclaimOutputResource(m_handle, &params, &status));  // traced only
}

void VideoEncoder::ForgetBuffer(const VQXZepBufferImpl* buffer) {
    if (m_currentBuffer == buffer) m_currentBuffer = nullptr;
}

VQX_ERROR VideoEncoder::QueryOutputs(std::atomic<bool>& cancel, VQXZepBuffer** ppBuffer) {
    VQXZepBufferImpl* buffer = NextBuffer();
    *ppBuffer = buffer;
    if (buffer != nullptr) return VQX_OK;

    uint64 pollCount = 0;
    cancel = false;
    const uint64 waitLimit = m_customParams ? m_customParams->waitFrameMax.load() : 0;
    if (waitLimit != 0) m_frameWaiter->WaitForNextFrame();
    const int64 queryStart = vqx_high_precision_clock();
    const int64 deadline = queryStart + static_cast<int64>(waitLimit * kTicksPerMillisecond);
    const uint32 requested = m_twoOutputs ? 2 : 1;
    if (cancel) return VQX_REPEAT;

    for (;;) {
        std::array<zep::ZEPOutputEntry, 2> entries{};
        for (zep::ZEPOutputEntry& entry : entries)
            entry.size = sizeof(zep::ZEPOutputEntry);
        const zep::ZEPQueryParams params{sizeof(zep::ZEPQueryParams), 0, requested, 0};
        zep::ZEPQueryResult result{sizeof(zep::ZEPQueryResult), 0, 0, entries.data()};
        const int64 pollTime = pollCount == 0 ? queryStart : vqx_high_precision_clock();

        const VQX_ERROR queried = Checked(kQueryCall, m_service.QueryOutputs(m_handle, &params, &result));
        if (queried != VQX_OK) return queried;
        if (result.returnedCount == requested) {
            for (uint32 i = 0; i < requested; ++i) {
                if (zep::IsOutput(entries[i])) m_pending.push_back(entries[i]);
            }
            buffer = NextBuffer();
            *ppBuffer = buffer;
            if (buffer != nullptr) {
                m_frameWaiter->OnOutputDelivered(pollCount, pollTime);
                return VQX_OK;
            }
        } else if (cancel || pollTime >= deadline) {
            return VQX_REPEAT;
        }
        ++pollCount;
        m_frameWaiter->Wait(kTicksPerMillisecond);
        if (cancel) return VQX_REPEAT;
    }
}

}  // namespace vqx
