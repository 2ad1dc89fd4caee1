// Configuration, worker thread, output pacing and resource pool of one stand-in encoder.
#include "encoder_session.h"

#include "qzt_test_api.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace qzt {
namespace {

using vqx::zep::ZEPConfig;
using vqx::zep::ZEPCreateParams;
using vqx::zep::ZEPOutputEntry;

constexpr uint32_t kDefaultPoolLimit = 16;
constexpr size_t kKeptPictureInfos = 4096;
constexpr uint32_t kMaxSkippedPicPeriod = 7;

uint32_t g_nextResourceId = 1;  // process-wide, never 0; guarded by the service lock

uint32_t NewResourceId() {
    const uint32_t id = g_nextResourceId++;
    if (g_nextResourceId == 0) {
        g_nextResourceId = 1;
    }
    return id;
}

int64_t Now() {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart;
}

// Where the second part of a split output begins: at its second NAL unit, or halfway when it
// holds only one.
size_t SplitPoint(const CodedUnit& unit) {
    return unit.nalStarts.size() >= 2 ? unit.nalStarts[1] : unit.bytes.size() / 2;
}

void FillEntry(ZEPOutputEntry& entry, uint32_t id, uint32_t typeCode, int64_t timestamp, const uint8_t* data,
               size_t size) {
    entry.resourceId = id;
    entry.typeCode = typeCode;
    entry.data = const_cast<uint8_t*>(data);
    entry.dataSize = static_cast<uint32_t>(size);
    entry.timestamp = timestamp;
}

// Says something on the debugger output and on standard error.
void Say(const std::string& text) {
    const std::string line = "qztrvx32: " + text + "\n";
    OutputDebugStringA(line.c_str());
    std::fputs(line.c_str(), stderr);
}

}  // namespace

StreamConfig DefaultStreamConfig() {
    StreamConfig config;  // every member's initialiser is the documented default
    return config;
}

void ApplyConfigRecord(const ZEPConfig& config, StreamConfig& into) {
    using namespace vqx::zep;
    const auto has = [&config](uint32_t bit) { return (config.changeMask & bit) != 0; };
    into.idrPeriod = config.idrPeriod;
    into.skippedPicPeriod = std::min(config.skippedPicPeriod, kMaxSkippedPicPeriod);
    into.rate.mode = config.rateControlMethod;
    into.rate.bitrate = config.bitrate;
    into.rate.peakBitrate = config.peakBitrate;
    if (has(kChangeIntraRefreshMbs)) into.intraRefreshMbs = config.intraRefreshMbs;
    if (has(kChangeVbvBufferSize)) into.rate.vbvSize = config.vbvBufferSize;
    if (has(kChangeInitialVbvFullness)) into.rate.initialFullness = config.initialVbvFullness;
    if (has(kChangeMinQp)) into.rate.minQp = config.minQp;
    if (has(kChangeMaxQp)) into.rate.maxQp = config.maxQp;
    if (has(kChangeDeblockingDisabled)) into.deblocking = config.deblockingDisabled == 0;
    if (has(kChangeMbsPerSlice)) into.mbsPerSlice = config.mbsPerSlice;
    if (has(kChangeFillerData)) into.rate.filler = config.fillerData != 0;
    if (has(kChangeQpI)) into.rate.qpI = config.qpI;
    if (has(kChangeQpP)) into.rate.qpP = config.qpP;
    if (has(kChangeHalfPixel)) into.halfPel = config.halfPixel != 0;
    if (has(kChangeQuarterPixel)) into.quarterPel = config.quarterPixel != 0;
    if (has(kChangeTimingInfo)) into.timingInfo = config.timingInfo != 0;
}

bool SameRunningSettings(const StreamConfig& a, const StreamConfig& b) {
    const RateSettings& x = a.rate;
    const RateSettings& y = b.rate;
    return a.idrPeriod == b.idrPeriod && a.skippedPicPeriod == b.skippedPicPeriod &&
           a.intraRefreshMbs == b.intraRefreshMbs && x.mode == y.mode && x.bitrate == y.bitrate &&
           x.peakBitrate == y.peakBitrate && x.vbvSize == y.vbvSize && x.initialFullness == y.initialFullness &&
           x.minQp == y.minQp && x.maxQp == y.maxQp && x.qpI == y.qpI && x.qpP == y.qpP && x.filler == y.filler;
}

std::unique_ptr<PictureSource> MakePictureSource(int width, int height, std::string& error) {
    wchar_t path[MAX_PATH + 1];
    const DWORD length = GetEnvironmentVariableW(L"QZTRVX32_SOURCE", path, MAX_PATH + 1);
    if (length == 0) {
        return std::make_unique<SyntheticSource>(width, height);
    }
    if (length > MAX_PATH) {
        error = "QZTRVX32_SOURCE: the path is too long";
        Say(error);
        return nullptr;
    }
    std::unique_ptr<Y4mSource> source = Y4mSource::Open(path, width, height, error);
    if (!source) {
        char narrow[MAX_PATH * 3 + 1] = {};
        WideCharToMultiByte(CP_UTF8, 0, path, -1, narrow, sizeof narrow - 1, nullptr, nullptr);
        error = std::string("QZTRVX32_SOURCE ") + narrow + ": " + error;
        Say(error);
    }
    return source;
}

EncoderSession::EncoderSession(const ZEPCreateParams& params, std::unique_ptr<PictureSource> source)
    : m_params(params),
      m_splitOutputs(params.outputType == vqx::zep::kOutputTypeTwoParts),
      m_poolLimit((params.optionalFieldMask & vqx::zep::kCreateFeedbacksValid) != 0
                      ? std::clamp<uint32_t>(params.feedbacks, 2, 32)
                      : kDefaultPoolLimit),
      m_source(std::move(source)),
      m_encoder(
          [&params] {
              h264::StreamSettings stream;
              stream.width = static_cast<int>(params.width);
              stream.height = static_cast<int>(params.height);
              stream.profileIdc = params.profile;
              stream.levelIdc = params.level;
              stream.fpsNumerator = params.fpsNumerator;
              stream.fpsDenominator = params.fpsDenominator;
              return stream;
          }(),
          (params.optionalFieldMask & vqx::zep::kCreateAudValid) != 0 && params.insertAud != 0, *m_source),
      m_config(DefaultStreamConfig()) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    m_ticksPerSecond = frequency.QuadPart;
}

EncoderSession::~EncoderSession() {
    StopWorker();
}

void EncoderSession::SetConfig(const ZEPConfig& config) {
    const StreamConfig before = m_config;
    ApplyConfigRecord(config, m_config);
    if (m_started && !SameRunningSettings(before, m_config)) {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_pendingConfig = m_config;
            m_configPending = true;
        }
        m_wake.notify_all();
    }
}

int32_t EncoderSession::Start() {
    if (m_started) {
        return kWrongState;
    }
    m_encoder.Restart(m_config);
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stopWorker = false;
        m_configPending = false;
        m_infos.clear();
    }
    // Picture 0 is due at the start: it is coded here, the worker codes the ones after it.
    ResourcePtr first = TakeFreeResource();
    m_encoder.EncodeNext(first->picture);
    RecordCoded(std::move(first));
    m_started = true;
    m_startTicks = Now();
    m_worker = std::thread([this] { WorkerLoop(); });
    return 0;
}

EncoderSession::ResourcePtr EncoderSession::TakeFreeResource() {
    ResourcePtr resource;
    if (m_free.empty()) {
        resource = std::make_unique<Resource>();
    } else {
        resource = std::move(m_free.back());
        m_free.pop_back();
    }
    ++m_resourcesInUse;
    return resource;
}

void EncoderSession::RecordCoded(ResourcePtr resource) {
    m_infos.push_back(resource->picture.info);
    if (m_infos.size() > kKeptPictureInfos) {
        m_infos.pop_front();
    }
    if (resource->picture.info.underflow != 0) {
        Say("picture " + std::to_string(resource->picture.info.picture) +
            " overflows the VBV buffer even at the maximum QP; sent as it is");
    }
    m_coded.push_back(std::move(resource));
}

void EncoderSession::DiscardTentative() {
    // A picture coded ahead and not handed out is coded again with the new configuration; one
    // that went out stays as it is (the next picture commits it).
    if (m_coded.empty()) {
        return;
    }
    m_free.push_back(std::move(m_coded.back()));
    m_coded.pop_back();
    --m_resourcesInUse;
    m_infos.pop_back();
    m_encoder.Discard();
}

void EncoderSession::StopWorker() {
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stopWorker = true;
    }
    m_wake.notify_all();
    if (m_worker.joinable()) {
        m_worker.join();
    }
}

int32_t EncoderSession::Stop() {
    if (!m_started) {
        return kWrongState;
    }
    StopWorker();
    m_started = false;
    const std::lock_guard<std::mutex> lock(m_mutex);
    for (std::deque<ResourcePtr>* queue : {&m_coded, &m_ready}) {
        while (!queue->empty()) {
            m_free.push_back(std::move(queue->front()));
            queue->pop_front();
            --m_resourcesInUse;
        }
    }
    return 0;
}

void EncoderSession::WorkerLoop() {
    const int64_t lookahead = DueTicks(1);  // code a picture up to one frame period before it is due
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stopWorker) {
        if (m_configPending) {
            DiscardTentative();
            m_encoder.Reconfigure(m_pendingConfig);
            m_configPending = false;
            continue;
        }
        // One picture ahead at most, so that a new configuration reaches the next picture.
        if (!m_coded.empty() || m_resourcesInUse >= m_poolLimit) {
            m_wake.wait(lock);
            continue;
        }
        const int64_t wakeAt = DueTicks(m_encoder.NextPicture()) - lookahead;
        const int64_t now = Now() - m_startTicks;
        if (now < wakeAt) {
            m_wake.wait_for(lock, std::chrono::microseconds((wakeAt - now) * 1000000 / m_ticksPerSecond + 1));
            continue;
        }
        ResourcePtr resource = TakeFreeResource();
        lock.unlock();
        try {
            m_encoder.EncodeNext(resource->picture);
        } catch (const std::exception& error) {
            Say(std::string("coding stopped: ") + error.what());
            lock.lock();
            --m_resourcesInUse;
            return;
        }
        lock.lock();
        RecordCoded(std::move(resource));
    }
}

int32_t EncoderSession::Query(uint32_t requested, ZEPOutputEntry* entries, uint32_t& returned,
                              const QueryControls& controls, bool& partialUsed) {
    returned = 0;
    partialUsed = false;
    if (!m_started) {
        return kWrongState;
    }
    if (controls.answerEmpty) {
        returned = requested;
        return 0;
    }
    if (controls.holdOutputs) {
        return 0;
    }
    const size_t needed = m_splitOutputs && requested == 2 ? 1 : requested;
    const int64_t now = Now();
    const int64_t delayTicks = static_cast<int64_t>(controls.outputDelayMs) * m_ticksPerSecond / 1000;
    while (m_ready.size() < needed && TakeDueOutput(now, delayTicks)) {
    }
    if (m_ready.size() < needed) {
        return 0;  // not due yet, not coded yet, or every resource is out
    }
    if (controls.answerPartial) {
        partialUsed = true;
        returned = requested - 1;
        FillEntries(requested, returned, entries);
        return 0;
    }
    FillEntries(requested, requested, entries);
    for (size_t i = 0; i < needed; ++i) {
        m_outstanding.push_back(std::move(m_ready.front()));
        m_ready.pop_front();
    }
    returned = requested;
    return 0;
}

bool EncoderSession::TakeDueOutput(int64_t now, int64_t delayTicks) {
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_coded.empty() || m_configPending) {
        return false;  // nothing coded yet, or it is being coded again with a new configuration
    }
    const uint64_t index = m_coded.front()->picture.info.picture;
    if (now - m_startTicks < DueTicks(index) + delayTicks) {
        return false;
    }
    m_coded.front()->id = NewResourceId();
    m_ready.push_back(std::move(m_coded.front()));
    m_coded.pop_front();
    m_wake.notify_all();  // the worker may code the next picture
    return true;
}

int32_t EncoderSession::Reclaim(uint32_t resourceId) {
    const auto found = std::find_if(m_outstanding.begin(), m_outstanding.end(),
                                    [resourceId](const ResourcePtr& resource) { return resource->id == resourceId; });
    if (found == m_outstanding.end()) {
        return kBadResource;
    }
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_free.push_back(std::move(*found));
        --m_resourcesInUse;
    }
    m_outstanding.erase(found);
    m_wake.notify_all();
    return 0;
}

bool EncoderSession::PictureInfo(uint32_t picture, QztPictureInfo& info) {
    const std::lock_guard<std::mutex> lock(m_mutex);
    for (const QztPictureInfo& kept : m_infos) {
        if (kept.picture == picture) {
            info = kept;
            return true;
        }
    }
    return false;
}

void EncoderSession::FillEntries(uint32_t requested, uint32_t count, ZEPOutputEntry* entries) const {
    if (m_splitOutputs && requested == 2) {
        const EncodedPicture& picture = m_ready.front()->picture;
        const uint32_t id = m_ready.front()->id;
        const uint8_t* const data = picture.unit.bytes.data();
        const size_t split = SplitPoint(picture.unit);
        if (count >= 1) {
            FillEntry(entries[0], id, picture.typeCode, picture.timestamp, data, split);
        }
        if (count >= 2) {
            FillEntry(entries[1], id, kTypeContinuation, picture.timestamp, data + split,
                      picture.unit.bytes.size() - split);
        }
        return;
    }
    for (uint32_t i = 0; i < count; ++i) {
        const Resource& resource = *m_ready[i];
        FillEntry(entries[i], resource.id, resource.picture.typeCode, resource.picture.timestamp,
                  resource.picture.unit.bytes.data(), resource.picture.unit.bytes.size());
    }
}

int64_t EncoderSession::DueTicks(uint64_t pictureIndex) const {
    return FrameTime(pictureIndex, m_params.fpsNumerator, m_params.fpsDenominator, m_ticksPerSecond);
}

}  // namespace qzt
