// Picture types, refresh slots, rate-control loop and output framing of the stand-in.
#include "stream_encoder.h"

#include "codec/crc32.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace qzt {
namespace {

constexpr int64_t kTimestampUnitsPerSecond = 10000000;  // 100 ns
constexpr uint32_t kMaxRetries = 8;                     // a picture coded this often at rising QPs is sent as it is

// Mean absolute difference per luma sample between two pictures, over every second row.
double MeanDifference(const Picture& a, const Picture& b) {
    uint64_t sum = 0;
    uint64_t count = 0;
    for (int y = 0; y < a.height; y += 2) {
        const uint8_t* rowA = a.y.data() + static_cast<size_t>(y) * a.width;
        const uint8_t* rowB = b.y.data() + static_cast<size_t>(y) * b.width;
        for (int x = 0; x < a.width; ++x) {
            sum += static_cast<uint64_t>(std::abs(rowA[x] - rowB[x]));
        }
        count += static_cast<uint64_t>(a.width);
    }
    return count == 0 ? 0.0 : static_cast<double>(sum) / static_cast<double>(count);
}

// Mean absolute horizontal gradient per luma sample, over every second row: how much an intra
// picture has to code.
double MeanGradient(const Picture& picture) {
    uint64_t sum = 0;
    uint64_t count = 0;
    for (int y = 0; y < picture.height; y += 2) {
        const uint8_t* row = picture.y.data() + static_cast<size_t>(y) * picture.width;
        for (int x = 1; x < picture.width; ++x) {
            sum += static_cast<uint64_t>(std::abs(row[x] - row[x - 1]));
        }
        count += static_cast<uint64_t>(picture.width - 1);
    }
    return count == 0 ? 0.0 : static_cast<double>(sum) / static_cast<double>(count);
}

}  // namespace

int64_t FrameTime(uint64_t index, uint32_t numerator, uint32_t denominator, int64_t unitsPerSecond) {
    const uint64_t scaled = index * denominator;
    const uint64_t whole = scaled / numerator;
    const uint64_t rest = scaled % numerator;
    return static_cast<int64_t>(whole * static_cast<uint64_t>(unitsPerSecond) +
                                rest * static_cast<uint64_t>(unitsPerSecond) / numerator);
}

StreamEncoder::StreamEncoder(const h264::StreamSettings& stream, bool insertAud, PictureSource& source)
    : stream_(stream), insertAud_(insertAud), source_(source) {
    const int paddedWidth = (stream.width + 15) / 16 * 16;
    const int paddedHeight = (stream.height + 15) / 16 * 16;
    current_.Resize(paddedWidth, paddedHeight);
    previous_.Resize(paddedWidth, paddedHeight);
}

StreamEncoder::~StreamEncoder() = default;

void StreamEncoder::Restart(const StreamConfig& config) {
    config_ = config;
    config_.rate.fpsNumerator = stream_.fpsNumerator;
    config_.rate.fpsDenominator = stream_.fpsDenominator;
    stream_.timingInfo = config.timingInfo;
    h264::CoderSettings settings;
    settings.stream = stream_;
    settings.deblocking = config.deblocking;
    settings.mbsPerSlice = config.mbsPerSlice;
    settings.halfPel = config.halfPel;
    settings.quarterPel = config.quarterPel;
    coder_ = std::make_unique<h264::PictureCoder>(settings);
    tentative_ = false;
    rate_.Configure(config_.rate);
    rate_.Restart();
    refreshSlot_.assign(static_cast<size_t>(coder_->MbCount()), 0);
    nextPicture_ = 0;
    picturesSinceIdr_ = 0;
    skippedToGo_ = 0;
    refreshPosition_ = 0;
}

void StreamEncoder::Reconfigure(const StreamConfig& config) {
    config_.idrPeriod = config.idrPeriod;
    config_.skippedPicPeriod = config.skippedPicPeriod;
    config_.intraRefreshMbs = config.intraRefreshMbs;
    config_.rate = config.rate;
    config_.rate.fpsNumerator = stream_.fpsNumerator;
    config_.rate.fpsDenominator = stream_.fpsDenominator;
    rate_.Configure(config_.rate);
}

bool StreamEncoder::IsIdrDue() const {
    return nextPicture_ == 0 || (config_.idrPeriod != 0 && picturesSinceIdr_ >= config_.idrPeriod);
}

void StreamEncoder::FillRefreshSlot() {
    std::fill(refreshSlot_.begin(), refreshSlot_.end(), 0);
    const uint32_t mbCount = static_cast<uint32_t>(refreshSlot_.size());
    if (config_.intraRefreshMbs == 0) {
        return;
    }
    if (refreshPosition_ >= mbCount) {
        refreshPosition_ = 0;
    }
    const uint32_t end = std::min(mbCount, refreshPosition_ + config_.intraRefreshMbs);
    std::fill(refreshSlot_.begin() + refreshPosition_, refreshSlot_.begin() + end, 1);
    refreshPosition_ = end >= mbCount ? 0 : end;
}

double StreamEncoder::Complexity(bool idr) const {
    return idr ? MeanGradient(current_) : MeanDifference(current_, previous_);
}

StreamEncoder::Progress StreamEncoder::Save() const {
    return Progress{config_, rate_, nextPicture_, picturesSinceIdr_, skippedToGo_, refreshPosition_};
}

void StreamEncoder::Restore(const Progress& progress) {
    config_ = progress.config;
    rate_ = progress.rate;
    nextPicture_ = progress.nextPicture;
    picturesSinceIdr_ = progress.picturesSinceIdr;
    skippedToGo_ = progress.skippedToGo;
    refreshPosition_ = progress.refreshPosition;
}

void StreamEncoder::Commit() {
    if (!tentative_) {
        return;
    }
    tentative_ = false;
    if (tentativeSkipped_) {
        coder_->CommitSkipped();
    } else {
        coder_->Commit();
        std::swap(previous_, current_);
    }
}

void StreamEncoder::Discard() {
    if (tentative_) {
        tentative_ = false;
        const StreamConfig latest = config_;
        Restore(beforeTentative_);
        config_ = latest;  // a configuration taken since stays
    }
}

void StreamEncoder::EncodeNext(EncodedPicture& out) {
    Commit();
    beforeTentative_ = Save();
    tentative_ = true;
    out.unit.Clear();
    out.info = QztPictureInfo{};
    const uint64_t index = nextPicture_;
    const bool idr = IsIdrDue();
    out.timestamp = FrameTime(index, stream_.fpsNumerator, stream_.fpsDenominator, kTimestampUnitsPerSecond);
    if (!idr && skippedToGo_ > 0) {
        --skippedToGo_;
        if (insertAud_) {
            h264::AppendAccessUnitDelimiter(false, out.unit);
        }
        tentativeSkipped_ = true;
        const h264::PictureStats stats = coder_->CodeSkipped(out.unit);
        const uint32_t fillerBytes = rate_.SkippedPicture(static_cast<uint32_t>(out.unit.bytes.size()) * 8);
        h264::AppendFiller(fillerBytes, out.unit);
        out.info.fillerBytes = fillerBytes >= h264::kMinFillerBytes ? fillerBytes : 0;
        out.typeCode = kTypeSkippedPicture;
        out.info.skippedMbs = stats.skippedMbs;
        out.info.minQp = out.info.maxQp = static_cast<uint32_t>(stats.minQp);
        out.info.meanQpX100 = static_cast<uint32_t>(stats.meanQp * 100);
    } else {
        int covered = 1 + static_cast<int>(config_.skippedPicPeriod);
        if (config_.idrPeriod != 0) {
            const uint32_t sinceIdr = idr ? 0 : picturesSinceIdr_;
            covered =
                static_cast<int>(std::min<uint32_t>(static_cast<uint32_t>(covered), config_.idrPeriod - sinceIdr));
        }
        tentativeSkipped_ = false;
        CodeCodedPicture(idr, std::max(1, covered), out);
        skippedToGo_ = config_.skippedPicPeriod;
        const bool allSkipped = out.info.skippedMbs == static_cast<uint32_t>(coder_->MbCount());
        out.typeCode = index == 0   ? kTypeFirstIdrPicture
                       : idr        ? kTypeIdrPicture
                       : allSkipped ? kTypeSkippedPicture
                                    : kTypePPicture;
    }
    picturesSinceIdr_ = idr ? 1 : picturesSinceIdr_ + 1;
    out.info.picture = static_cast<uint32_t>(index);
    out.info.typeCode = out.typeCode;
    out.info.bytes = static_cast<uint32_t>(out.unit.bytes.size());
    out.info.crc = VisibleCrc32(coder_->Reconstruction(), stream_.width, stream_.height);
    out.info.bufferBits = static_cast<int32_t>(rate_.BufferLevel());
    ++nextPicture_;
}

void StreamEncoder::CodeCodedPicture(bool idr, int picturesCovered, EncodedPicture& out) {
    source_.Render(nextPicture_, current_);
    if (idr) {
        refreshPosition_ = 0;
        std::fill(refreshSlot_.begin(), refreshSlot_.end(), 0);
    } else {
        FillRefreshSlot();
    }
    const PicturePlan plan = rate_.BeginPicture(idr, Complexity(idr), coder_->MbCount(), picturesCovered);
    h264::PictureStats stats;
    for (;;) {
        out.unit.Clear();
        if (insertAud_) {
            h264::AppendAccessUnitDelimiter(idr, out.unit);
        }
        if (nextPicture_ == 0) {
            h264::AppendParameterSets(stream_, out.unit);
        }
        stats = coder_->Code(
            current_, idr, refreshSlot_, [this](int mb, uint32_t bits) { return rate_.MacroblockQp(mb, bits); },
            out.unit);
        const uint32_t bits = static_cast<uint32_t>(out.unit.bytes.size()) * 8;
        if (bits <= plan.maxBits) {
            break;
        }
        const int retryQp = rate_.RetryQp(bits);
        if (retryQp < 0 || out.info.retries >= kMaxRetries) {
            break;
        }
        ++out.info.retries;
    }
    const uint32_t fillerBytes = rate_.EndPicture(static_cast<uint32_t>(out.unit.bytes.size()) * 8, stats.meanQp);
    h264::AppendFiller(fillerBytes, out.unit);
    out.info.fillerBytes = fillerBytes >= h264::kMinFillerBytes ? fillerBytes : 0;
    out.info.underflow = rate_.LastPictureUnderflowed() ? 1 : 0;
    out.info.sliceQp = static_cast<uint32_t>(stats.firstQp);
    out.info.minQp = static_cast<uint32_t>(stats.minQp);
    out.info.maxQp = static_cast<uint32_t>(stats.maxQp);
    out.info.meanQpX100 = static_cast<uint32_t>(std::lround(stats.meanQp * 100));
    out.info.intraMbs = stats.intraMbs;
    out.info.skippedMbs = stats.skippedMbs;
    out.info.halfPelVectors = stats.halfPelVectors;
    out.info.quarterPelVectors = stats.quarterPelVectors;
    out.info.clippedLevels = stats.clippedLevels;
}

}  // namespace qzt
