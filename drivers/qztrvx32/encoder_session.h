// One encoder of the stand-in service: its creation parameters and configuration, the start
// time that paces its outputs, the synthetic screen it codes, and the small pool of resources
// that hold coded outputs until the caller reclaims them.
// Ownership: owns its resources; the data address of a delivered output stays valid until that
// resource is reclaimed or the encoder is destroyed. Thread rules: used under ServiceMutex().
#pragma once

#include "bindings/zep_records.h"
#include "h264_coder.h"
#include "synthetic_screen.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

namespace qzt {

// What the test controls ask of one query.
struct QueryControls {
    uint32_t outputDelayMs = 0;
    bool holdOutputs = false;
    bool answerEmpty = false;    // report the full count and leave the entries untouched
    bool answerPartial = false;  // report one entry fewer than requested, deliver nothing
};

class EncoderSession {
public:
    // `params` has passed validation (size, frame rate, usage, output type).
    explicit EncoderSession(const vqx::zep::ZEPCreateParams& params);

    // Takes the IDR period always and the optional fields whose change-mask bit is set (macroblocks
    // per slice, timing information). The period applies from the next picture, the other two
    // from the next start.
    void SetConfig(const vqx::zep::ZEPConfig& config);
    int32_t Start();
    int32_t Stop();

    // Fills up to `requested` (1 or 2) entries; `returned` is the count written. `partialUsed`
    // reports whether the partial-result control was consumed by this query.
    int32_t Query(uint32_t requested, vqx::zep::ZEPOutputEntry* entries, uint32_t& returned,
                  const QueryControls& controls, bool& partialUsed);
    int32_t Reclaim(uint32_t resourceId);

    uint32_t OutstandingCount() const { return static_cast<uint32_t>(outstanding_.size()); }

private:
    struct Resource {
        uint32_t id = 0;
        uint32_t typeCode = 0;
        int64_t timestamp = 0;
        CodedUnit unit;
    };
    using ResourcePtr = std::unique_ptr<Resource>;

    bool PrepareNextOutput(int64_t now, int64_t delayTicks);
    void CodeNextPicture(Resource& resource);
    int64_t DueTicks(uint64_t pictureIndex) const;
    void FillEntries(uint32_t requested, uint32_t count, vqx::zep::ZEPOutputEntry* entries) const;
    ResourcePtr TakeFreeResource();

    StreamSettings stream_;
    bool insertAud_;
    bool splitOutputs_;  // output type code 2: a query for two entries gets one output in two parts
    uint32_t poolLimit_;
    uint32_t idrPeriod_ = 0;     // 0: only the first picture after a start is IDR
    uint32_t mbsPerSlice_ = 0;   // 0: one slice per picture
    bool timingInfo_ = true;

    SyntheticScreen screen_;
    std::unique_ptr<H264Coder> coder_;
    Picture picture_;            // what the decoder shows after the last coded picture
    SceneLayout shownLayout_;
    std::vector<uint8_t> changedMbs_;

    bool started_ = false;
    int64_t startTicks_ = 0;
    int64_t ticksPerSecond_ = 1;
    uint64_t nextPicture_ = 0;
    uint32_t picturesSinceIdr_ = 0;

    std::deque<ResourcePtr> ready_;          // coded, in delivery order, not handed out yet
    std::vector<ResourcePtr> outstanding_;   // handed out, awaiting reclaim
    std::vector<ResourcePtr> free_;          // reclaimed, reused last in first out
};

}  // namespace qzt
