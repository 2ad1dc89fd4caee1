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
    : m_stream(stream), m_insertAud(insertAud), m_source(source) {
    const int paddedWidth = (stream.width + 15) / 16 * 16;
    const int paddedHeight = (stream.height + 15) / 16 * 16;
    m_current.Resize(paddedWidth, paddedHeight);
    m_previous.Resize(paddedWidth, paddedHeight);
}

StreamEncoder::~StreamEncoder() = default;

void StreamEncoder::Restart(const StreamConfig& config) {
    m_config = config;
    m_config.rate.fpsNumerator = m_stream.fpsNumerator;
    m_config.rate.fpsDenominator = m_stream.fpsDenominator;
    m_stream.timingInfo = config.timingInfo;
    h264::CoderSettings settings;
    settings.stream = m_stream;
    settings.deblocking = config.deblocking;
    settings.mbsPerSlice = config.mbsPerSlice;
    settings.halfPel = config.halfPel;
    settings.quarterPel = config.quarterPel;
    m_coder = std::make_unique<h264::PictureCoder>(settings);
    m_tentative = false;
    m_rate.Configure(m_config.rate);
    m_rate.Restart();
    m_refreshSlot.assign(static_cast<size_t>(m_coder->MbCount()), 0);
    m_nextPicture = 0;
    m_picturesSinceIdr = 0;
    m_skippedToGo = 0;
    m_refreshPosition = 0;
}

void StreamEncoder::Reconfigure(const StreamConfig& config) {
    m_config.idrPeriod = config.idrPeriod;
    m_config.skippedPicPeriod = config.skippedPicPeriod;
    m_config.intraRefreshMbs = config.intraRefreshMbs;
    m_config.rate = config.rate;
    m_config.rate.fpsNumerator = m_stream.fpsNumerator;
    m_config.rate.fpsDenominator = m_stream.fpsDenominator;
    m_rate.Configure(m_config.rate);
}

bool StreamEncoder::IsIdrDue() const {
    return m_nextPicture == 0 || (m_config.idrPeriod != 0 && m_picturesSinceIdr >= m_config.idrPeriod);
}

void StreamEncoder::FillRefreshSlot() {
    std::fill(m_refreshSlot.begin(), m_refreshSlot.end(), 0);
    const uint32_t mbCount = static_cast<uint32_t>(m_refreshSlot.size());
    if (m_config.intraRefreshMbs == 0) {
        return;
    }
    if (m_refreshPosition >= mbCount) {
        m_refreshPosition = 0;
    }
    const uint32_t end = std::min(mbCount, m_refreshPosition + m_config.intraRefreshMbs);
    std::fill(m_refreshSlot.begin() + m_refreshPosition, m_refreshSlot.begin() + end, 1);
    m_refreshPosition = end >= mbCount ? 0 : end;
}

double StreamEncoder::Complexity(bool idr) const {
    return idr ? MeanGradient(m_current) : MeanDifference(m_current, m_previous);
}

StreamEncoder::Progress StreamEncoder::Save() const {
    return Progress{m_config, m_rate, m_nextPicture, m_picturesSinceIdr, m_skippedToGo, m_refreshPosition};
}

void StreamEncoder::Restore(const Progress& progress) {
    m_config = progress.config;
    m_rate = progress.rate;
    m_nextPicture = progress.nextPicture;
    m_picturesSinceIdr = progress.picturesSinceIdr;
    m_skippedToGo = progress.skippedToGo;
    m_refreshPosition = progress.refreshPosition;
}

void StreamEncoder::Commit() {
    if (!m_tentative) {
        return;
    }
    m_tentative = false;
    if (m_tentativeSkipped) {
        m_coder->CommitSkipped();
    } else {
        m_coder->Commit();
        std::swap(m_previous, m_current);
    }
}

void StreamEncoder::Discard() {
    if (m_tentative) {
        m_tentative = false;
        const StreamConfig latest = m_config;
        Restore(m_beforeTentative);
        m_config = latest;  // a configuration taken since stays
    }
}

void StreamEncoder::EncodeNext(EncodedPicture& out) {
    Commit();
    m_beforeTentative = Save();
    m_tentative = true;
    out.unit.Clear();
    out.info = QztPictureInfo{};
    const uint64_t index = m_nextPicture;
    const bool idr = IsIdrDue();
    out.timestamp = FrameTime(index, m_stream.fpsNumerator, m_stream.fpsDenominator, kTimestampUnitsPerSecond);
    if (!idr && m_skippedToGo > 0) {
        --m_skippedToGo;
        if (m_insertAud) {
            h264::AppendAccessUnitDelimiter(false, out.unit);
        }
        m_tentativeSkipped = true;
        const h264::PictureStats stats = m_coder->CodeSkipped(out.unit);
        const uint32_t fillerBytes = m_rate.SkippedPicture(static_cast<uint32_t>(out.unit.bytes.size()) * 8);
        h264::AppendFiller(fillerBytes, out.unit);
        out.info.fillerBytes = fillerBytes >= h264::kMinFillerBytes ? fillerBytes : 0;
        out.typeCode = kTypeSkippedPicture;
        out.info.skippedMbs = stats.skippedMbs;
        out.info.minQp = out.info.maxQp = static_cast<uint32_t>(stats.minQp);
        out.info.meanQpX100 = static_cast<uint32_t>(stats.meanQp * 100);
    } else {
        int covered = 1 + static_cast<int>(m_config.skippedPicPeriod);
        if (m_config.idrPeriod != 0) {
            const uint32_t sinceIdr = idr ? 0 : m_picturesSinceIdr;
            covered =
                static_cast<int>(std::min<uint32_t>(static_cast<uint32_t>(covered), m_config.idrPeriod - sinceIdr));
        }
        m_tentativeSkipped = false;
        CodeCodedPicture(idr, std::max(1, covered), out);
        m_skippedToGo = m_config.skippedPicPeriod;
        const bool allSkipped = out.info.skippedMbs == static_cast<uint32_t>(m_coder->MbCount());
        out.typeCode = index == 0   ? kTypeFirstIdrPicture
                       : idr        ? kTypeIdrPicture
                       : allSkipped ? kTypeSkippedPicture
                                    : kTypePPicture;
    }
    m_picturesSinceIdr = idr ? 1 : m_picturesSinceIdr + 1;
    out.info.picture = static_cast<uint32_t>(index);
    out.info.typeCode = out.typeCode;
    out.info.bytes = static_cast<uint32_t>(out.unit.bytes.size());
    out.info.crc = VisibleCrc32(m_coder->Reconstruction(), m_stream.width, m_stream.height);
    out.info.bufferBits = static_cast<int32_t>(m_rate.BufferLevel());
    ++m_nextPicture;
}

void StreamEncoder::CodeCodedPicture(bool idr, int picturesCovered, EncodedPicture& out) {
    m_source.Render(m_nextPicture, m_current);
    if (idr) {
        m_refreshPosition = 0;
        std::fill(m_refreshSlot.begin(), m_refreshSlot.end(), 0);
    } else {
        FillRefreshSlot();
    }
    const PicturePlan plan = m_rate.BeginPicture(idr, Complexity(idr), m_coder->MbCount(), picturesCovered);
    h264::PictureStats stats;
    for (;;) {
        out.unit.Clear();
        if (m_insertAud) {
            h264::AppendAccessUnitDelimiter(idr, out.unit);
        }
        if (m_nextPicture == 0) {
            h264::AppendParameterSets(m_stream, out.unit);
        }
        stats = m_coder->Code(
            m_current, idr, m_refreshSlot, [this](int mb, uint32_t bits) { return m_rate.MacroblockQp(mb, bits); },
            out.unit);
        const uint32_t bits = static_cast<uint32_t>(out.unit.bytes.size()) * 8;
        if (bits <= plan.maxBits) {
            break;
        }
        const int retryQp = m_rate.RetryQp(bits);
        if (retryQp < 0 || out.info.retries >= kMaxRetries) {
            break;
        }
        ++out.info.retries;
    }
    const uint32_t fillerBytes = m_rate.EndPicture(static_cast<uint32_t>(out.unit.bytes.size()) * 8, stats.meanQp);
    h264::AppendFiller(fillerBytes, out.unit);
    out.info.fillerBytes = fillerBytes >= h264::kMinFillerBytes ? fillerBytes : 0;
    out.info.underflow = m_rate.LastPictureUnderflowed() ? 1 : 0;
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
