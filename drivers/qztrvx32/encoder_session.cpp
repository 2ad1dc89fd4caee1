// Output pacing, coding and resource pool of one stand-in encoder.
#include "encoder_session.h"

#include "qzt_test_api.h"

#include <windows.h>

#include <algorithm>

namespace qzt {
namespace {

using vqx::zep::ZEPConfig;
using vqx::zep::ZEPCreateParams;
using vqx::zep::ZEPOutputEntry;

constexpr uint32_t kFeedbacksValid = 1u << 3;
constexpr uint32_t kAudFieldValid = 1u << 4;
constexpr uint32_t kMbsPerSliceBit = 1u << 8;
constexpr uint32_t kTimingInfoBit = 1u << 15;
constexpr uint32_t kOutputTypeSplit = 2;
constexpr uint32_t kDefaultPoolLimit = 16;
constexpr int64_t kTimestampUnitsPerSecond = 10000000;  // 100 ns

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

// index * denominator * unitsPerSecond / numerator without overflowing for any realistic index.
int64_t FrameTime(uint64_t index, uint32_t numerator, uint32_t denominator, int64_t unitsPerSecond) {
    const uint64_t scaled = index * denominator;
    const uint64_t whole = scaled / numerator;
    const uint64_t rest = scaled % numerator;
    return static_cast<int64_t>(whole * static_cast<uint64_t>(unitsPerSecond) +
                                rest * static_cast<uint64_t>(unitsPerSecond) / numerator);
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

}  // namespace

EncoderSession::EncoderSession(const ZEPCreateParams& params)
    : insertAud_((params.optionalFieldMask & kAudFieldValid) != 0 && params.insertAud != 0),
      splitOutputs_(params.outputType == kOutputTypeSplit),
      poolLimit_((params.optionalFieldMask & kFeedbacksValid) != 0 ? std::clamp<uint32_t>(params.feedbacks, 2, 32)
                                                                    : kDefaultPoolLimit),
      screen_(static_cast<int>(params.width), static_cast<int>(params.height)) {
    stream_.width = static_cast<int>(params.width);
    stream_.height = static_cast<int>(params.height);
    stream_.profileIdc = params.profile;
    stream_.levelIdc = params.level;
    stream_.fpsNumerator = params.fpsNumerator;
    stream_.fpsDenominator = params.fpsDenominator;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    ticksPerSecond_ = frequency.QuadPart;
}

void EncoderSession::SetConfig(const ZEPConfig& config) {
    idrPeriod_ = config.idrPeriod;
    if ((config.changeMask & kMbsPerSliceBit) != 0) {
        mbsPerSlice_ = config.mbsPerSlice;
    }
    if ((config.changeMask & kTimingInfoBit) != 0) {
        timingInfo_ = config.timingInfo != 0;
    }
}

int32_t EncoderSession::Start() {
    if (started_) {
        return kWrongState;
    }
    stream_.timingInfo = timingInfo_;
    coder_ = std::make_unique<H264Coder>(stream_);
    changedMbs_.assign(static_cast<size_t>(coder_->MbCount()), 0);
    shownLayout_ = screen_.LayoutAt(0);
    screen_.Compose(shownLayout_, picture_);
    nextPicture_ = 0;
    picturesSinceIdr_ = 0;
    started_ = true;
    startTicks_ = Now();
    return 0;
}

int32_t EncoderSession::Stop() {
    if (!started_) {
        return kWrongState;
    }
    started_ = false;
    while (!ready_.empty()) {
        free_.push_back(std::move(ready_.front()));
        ready_.pop_front();
    }
    return 0;
}

int32_t EncoderSession::Query(uint32_t requested, ZEPOutputEntry* entries, uint32_t& returned,
                              const QueryControls& controls, bool& partialUsed) {
    returned = 0;
    partialUsed = false;
    if (!started_) {
        return kWrongState;
    }
    if (controls.answerEmpty) {
        returned = requested;
        return 0;
    }
    if (controls.holdOutputs) {
        return 0;
    }
    const size_t needed = splitOutputs_ && requested == 2 ? 1 : requested;
    const int64_t now = Now();
    const int64_t delayTicks = static_cast<int64_t>(controls.outputDelayMs) * ticksPerSecond_ / 1000;
    while (ready_.size() < needed && PrepareNextOutput(now, delayTicks)) {
    }
    if (ready_.size() < needed) {
        return 0;  // not due yet, or every resource is out
    }
    if (controls.answerPartial) {
        partialUsed = true;
        returned = requested - 1;
        FillEntries(requested, returned, entries);
        return 0;
    }
    FillEntries(requested, requested, entries);
    for (size_t i = 0; i < needed; ++i) {
        outstanding_.push_back(std::move(ready_.front()));
        ready_.pop_front();
    }
    returned = requested;
    return 0;
}

int32_t EncoderSession::Reclaim(uint32_t resourceId) {
    const auto found = std::find_if(outstanding_.begin(), outstanding_.end(),
                                    [resourceId](const ResourcePtr& resource) { return resource->id == resourceId; });
    if (found == outstanding_.end()) {
        return kBadResource;
    }
    free_.push_back(std::move(*found));
    outstanding_.erase(found);
    return 0;
}

void EncoderSession::FillEntries(uint32_t requested, uint32_t count, ZEPOutputEntry* entries) const {
    if (splitOutputs_ && requested == 2) {
        const Resource& resource = *ready_.front();
        const uint8_t* const data = resource.unit.bytes.data();
        const size_t split = SplitPoint(resource.unit);
        if (count >= 1) {
            FillEntry(entries[0], resource.id, resource.typeCode, resource.timestamp, data, split);
        }
        if (count >= 2) {
            FillEntry(entries[1], resource.id, kTypeContinuation, resource.timestamp, data + split,
                      resource.unit.bytes.size() - split);
        }
        return;
    }
    for (uint32_t i = 0; i < count; ++i) {
        const Resource& resource = *ready_[i];
        FillEntry(entries[i], resource.id, resource.typeCode, resource.timestamp, resource.unit.bytes.data(),
                  resource.unit.bytes.size());
    }
}

int64_t EncoderSession::DueTicks(uint64_t pictureIndex) const {
    return FrameTime(pictureIndex, stream_.fpsNumerator, stream_.fpsDenominator, ticksPerSecond_);
}

EncoderSession::ResourcePtr EncoderSession::TakeFreeResource() {
    if (ready_.size() + outstanding_.size() >= poolLimit_) {
        return nullptr;
    }
    if (free_.empty()) {
        return std::make_unique<Resource>();
    }
    ResourcePtr resource = std::move(free_.back());
    free_.pop_back();
    return resource;
}

bool EncoderSession::PrepareNextOutput(int64_t now, int64_t delayTicks) {
    // One output per frame period: picture n is due at start + n frame periods.
    if (now - startTicks_ < DueTicks(nextPicture_) + delayTicks) {
        return false;
    }
    ResourcePtr resource = TakeFreeResource();
    if (!resource) {
        return false;
    }
    resource->unit.Clear();
    resource->id = NewResourceId();
    CodeNextPicture(*resource);
    ready_.push_back(std::move(resource));
    return true;
}

void EncoderSession::CodeNextPicture(Resource& resource) {
    const uint64_t index = nextPicture_++;
    const bool idr = index == 0 || (idrPeriod_ != 0 && picturesSinceIdr_ >= idrPeriod_);
    const SceneLayout layout = screen_.LayoutAt(index);
    std::fill(changedMbs_.begin(), changedMbs_.end(), 0);
    const std::vector<Rect> areas = screen_.ChangedAreas(shownLayout_, layout);
    const int mbWidth = coder_->MbWidth();
    for (const Rect& area : areas) {
        for (int mbY = area.y / 16; mbY <= (area.y + area.height - 1) / 16; ++mbY) {
            std::fill_n(changedMbs_.begin() + mbY * mbWidth + area.x / 16, (area.x + area.width - 1) / 16 - area.x / 16 + 1,
                        1);
        }
    }
    screen_.Update(shownLayout_, layout, picture_);
    shownLayout_ = layout;

    // The first picture after a start carries the parameter sets in front of it, in one access
    // unit: its delimiter (if any) comes before the SPS, and none follows them.
    const bool first = index == 0;
    if (first) {
        coder_->WriteParameterSets(insertAud_, resource.unit);
    }
    coder_->WritePicture(picture_, changedMbs_, idr, insertAud_ && !first, mbsPerSlice_, resource.unit);
    picturesSinceIdr_ = idr ? 1 : picturesSinceIdr_ + 1;
    resource.typeCode = first ? kTypeFirstIdrPicture
                        : idr ? kTypeIdrPicture
                        : areas.empty() ? kTypeSkippedPicture
                                        : kTypePPicture;
    resource.timestamp = FrameTime(index, stream_.fpsNumerator, stream_.fpsDenominator, kTimestampUnitsPerSecond);
}

}  // namespace qzt
