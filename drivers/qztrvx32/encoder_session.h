// One encoder of the stand-in service: its configuration, a worker thread that codes the
// pictures in order (one ahead of the caller, up to a frame period before it is due; picture 0
// at the start), the pacing that makes output n due
// at start + n frame periods, and the small pool of resources that hold coded outputs until the
// caller reclaims them.
// Ownership: owns its worker, source and resources; the data address of a delivered output stays
// valid until that resource is reclaimed or the encoder is destroyed.
// Thread rules: the public members run under ServiceMutex(); the worker never takes that lock,
// and shares the queue with them under the session's own mutex.
#pragma once

#include "abi/zep_records.h"
#include "picture_source.h"
#include "stream_encoder.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace qzt {

// What the test controls ask of one query.
struct QueryControls {
    uint32_t outputDelayMs = 0;
    bool holdOutputs = false;
    bool answerEmpty = false;    // report the full count and leave the entries untouched
    bool answerPartial = false;  // report one entry fewer than requested, deliver nothing
};

// The stand-in's configuration before any ZEPSetConfig (see README.md).
StreamConfig DefaultStreamConfig();
// `config` taken into `into`: fields without a change-mask bit always, the others when their bit
// is set; each value vqx may send gets its documented clamp.
void ApplyConfigRecord(const vqx::zep::ZEPConfig& config, StreamConfig& into);
// Whether two configurations code the next pictures alike (a repeated push changes nothing, so
// the picture coded ahead is kept).
bool SameRunningSettings(const StreamConfig& a, const StreamConfig& b);

class EncoderSession {
public:
    // `params` has passed validation; `source` paints the screen.
    EncoderSession(const vqx::zep::ZEPCreateParams& params, std::unique_ptr<PictureSource> source);
    ~EncoderSession();
    EncoderSession(const EncoderSession&) = delete;
    EncoderSession& operator=(const EncoderSession&) = delete;

    // Rate control, intra refresh and the IDR and skipped-picture periods apply from the next
    // picture not yet handed out (a picture coded ahead is coded again); slices, deblocking,
    // sub-sample vectors and timing from the next start.
    void SetConfig(const vqx::zep::ZEPConfig& config);
    int32_t Start();
    int32_t Stop();

    // Fills up to `requested` (1 or 2) entries; `returned` is the count written. `partialUsed`
    // reports whether the partial-result control was consumed by this query.
    int32_t Query(uint32_t requested, vqx::zep::ZEPOutputEntry* entries, uint32_t& returned,
                  const QueryControls& controls, bool& partialUsed);
    int32_t Reclaim(uint32_t resourceId);

    uint32_t OutstandingCount() const { return static_cast<uint32_t>(m_outstanding.size()); }
    // What was recorded of picture `picture` of the current (or last) run; false if not coded.
    bool PictureInfo(uint32_t picture, QztPictureInfo& info);

private:
    struct Resource {
        uint32_t id = 0;
        EncodedPicture picture;
    };
    using ResourcePtr = std::unique_ptr<Resource>;

    void WorkerLoop();
    ResourcePtr TakeFreeResource();          // under m_mutex (or before the worker runs)
    void RecordCoded(ResourcePtr resource);  // under m_mutex
    void DiscardTentative();                 // under m_mutex, worker idle
    void StopWorker();
    bool TakeDueOutput(int64_t now, int64_t delayTicks);
    int64_t DueTicks(uint64_t pictureIndex) const;
    void FillEntries(uint32_t requested, uint32_t count, vqx::zep::ZEPOutputEntry* entries) const;

    vqx::zep::ZEPCreateParams m_params;
    bool m_splitOutputs;  // output type code 2: a query for two entries gets one output in two parts
    uint32_t m_poolLimit;
    int64_t m_ticksPerSecond = 1;
    std::unique_ptr<PictureSource> m_source;
    StreamEncoder m_encoder;
    StreamConfig m_config;  // as configured; taken by the next start
    bool m_started = false;
    int64_t m_startTicks = 0;

    // Shared with the worker under m_mutex.
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::thread m_worker;
    bool m_stopWorker = false;
    bool m_configPending = false;
    StreamConfig m_pendingConfig;
    uint64_t m_picturesCoded = 0;
    std::deque<ResourcePtr> m_coded;     // coded, in order, not due or not delivered yet
    std::vector<ResourcePtr> m_free;     // reclaimed, reused last in first out
    uint32_t m_resourcesInUse = 0;       // m_coded + m_ready + m_outstanding + the worker's one
    std::deque<QztPictureInfo> m_infos;  // of the latest pictures of this run

    // Used under ServiceMutex() only.
    std::deque<ResourcePtr> m_ready;         // due, not handed out yet
    std::vector<ResourcePtr> m_outstanding;  // handed out, awaiting reclaim
};

// The screen an encoder captures: the file named by QZTRVX32_SOURCE, else the synthetic screen.
// Null with `error` set when the file cannot be used.
std::unique_ptr<PictureSource> MakePictureSource(int width, int height, std::string& error);

}  // namespace qzt
