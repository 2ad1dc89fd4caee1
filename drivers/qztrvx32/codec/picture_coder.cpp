// Slices, slice headers, deblocking and reference handling of the stand-in's encoder.
#include "picture_coder.h"

#include "deblock.h"

#include <algorithm>
#include <limits>

namespace qzt::h264 {
namespace {

constexpr uint32_t kMaxFrameNum = 1u << kLog2MaxFrameNum;
constexpr uint32_t kSliceTypeP = 5;  // all slices of the picture are P
constexpr uint32_t kSliceTypeI = 7;  // all slices of the picture are I

bool LimitsLevelPrefix(uint32_t profileIdc) {
    return profileIdc == 66 || profileIdc == 77 || profileIdc == 88;
}

// The offsets tried, as FilterOffsetA = FilterOffsetB: the standard filter, and two that filter
// less. Screen content has sharp edges of small amplitude on the block grid, which the standard
// filter takes for blocking and smooths; natural pictures usually gain from it.
constexpr int kOffsetCandidates[] = {0, -6, -12};
// Trying them costs two more passes of the filter; an IDR picture and every eighth other picture
// try them, the pictures between keep the last choice (content changes its character slowly).
constexpr uint32_t kPicturesBetweenTrials = 8;

uint64_t SquaredError(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    uint64_t sum = 0;
    const size_t count = std::min(a.size(), b.size());
    for (size_t i = 0; i < count; ++i) {
        const int d = a[i] - b[i];
        sum += static_cast<uint64_t>(d * d);
    }
    return sum;
}

uint64_t SquaredError(const Picture& a, const Picture& b) {
    return SquaredError(a.y, b.y) + SquaredError(a.u, b.u) + SquaredError(a.v, b.v);
}

}  // namespace

PictureCoder::PictureCoder(const CoderSettings& settings) : m_settings(settings) {
    m_mbSettings.limitLevelPrefix = LimitsLevelPrefix(settings.stream.profileIdc);
    m_mbSettings.search.halfPel = settings.halfPel;
    m_mbSettings.search.quarterPel = settings.quarterPel && settings.halfPel;
    const int mbWidth = (settings.stream.width + 15) / 16;
    const int mbHeight = (settings.stream.height + 15) / 16;
    m_grid.Reset(mbWidth, mbHeight);
    m_recon.Resize(mbWidth * 16, mbHeight * 16);
}

void PictureCoder::Restart() {
    m_haveReference = false;
    m_frameNum = 0;
    m_offsets = FilterOffsets{};
    m_picturesSinceTrial = 0;
}

void PictureCoder::WriteSliceHeader(BitWriter& w, int firstMb, bool idr, int sliceQp, FilterOffsets offsets) const {
    w.Ue(static_cast<uint32_t>(firstMb));
    w.Ue(idr ? kSliceTypeI : kSliceTypeP);
    w.Ue(0);  // pic_parameter_set_id
    w.Bits(idr ? 0 : m_frameNum, kLog2MaxFrameNum);
    if (idr) {
        w.Ue(m_idrPicId);
        w.Flag(false);  // no_output_of_prior_pics_flag
        w.Flag(false);  // long_term_reference_flag
    } else {
        w.Flag(false);  // num_ref_idx_active_override_flag
        w.Flag(false);  // ref_pic_list_modification_flag_l0
        w.Flag(false);  // adaptive_ref_pic_marking_mode_flag: sliding window
    }
    w.Se(sliceQp - kPicInitQp);           // slice_qp_delta
    w.Ue(m_settings.deblocking ? 0 : 1);  // disable_deblocking_filter_idc
    if (m_settings.deblocking) {
        w.Se(offsets.alpha / 2);  // slice_alpha_c0_offset_div2
        w.Se(offsets.beta / 2);   // slice_beta_offset_div2
    }
}

uint32_t PictureCoder::SliceHeaderBits(int firstMb, bool idr, int sliceQp) {
    m_rbsp.clear();
    BitWriter w(m_rbsp);
    WriteSliceHeader(w, firstMb, idr, sliceQp, FilterOffsets{});
    return static_cast<uint32_t>(m_rbsp.size() * 8 + static_cast<size_t>(w.PendingCount()));
}

PictureStats PictureCoder::Code(const Picture& source, bool idr, const std::vector<uint8_t>& forcedIntra,
                                const MacroblockQpFn& qpOf, CodedUnit& out) {
    idr = idr || !m_haveReference;
    m_pendingIdr = idr;
    m_lastWasSkipped = false;
    m_grid.Reset(m_grid.MbWidth(), m_grid.MbHeight());
    MacroblockCoder coder(source, m_recon, m_grid, m_mbSettings);
    coder.SetReference(idr ? nullptr : &m_reference);
    const int mbCount = m_grid.Count();
    const int sliceSize = m_settings.mbsPerSlice == 0 || m_settings.mbsPerSlice >= static_cast<uint32_t>(mbCount)
                              ? mbCount
                              : static_cast<int>(m_settings.mbsPerSlice);
    const size_t startBytes = out.bytes.size();
    PictureStats stats;
    double qpSum = 0;
    int slice = 0;
    uint32_t bitsBefore = 0;  // the slices before this one, as NAL units (start code and header byte)
    m_slices.resize(static_cast<size_t>((mbCount + sliceSize - 1) / sliceSize));
    for (int first = 0; first < mbCount; first += sliceSize, ++slice) {
        const int end = std::min(mbCount, first + sliceSize);
        SliceData& data = m_slices[static_cast<size_t>(slice)];
        data.firstMb = first;
        data.sliceQp = std::clamp(qpOf(first, bitsBefore), 0, 51);
        if (first == 0) {
            stats.firstQp = data.sliceQp;
        }
        const uint32_t headerBits = SliceHeaderBits(first, idr, data.sliceQp);
        data.bytes.clear();
        BitWriter w(data.bytes);
        int lastQp = data.sliceQp;
        uint32_t skipRun = 0;
        for (int mb = first; mb < end; ++mb) {
            const uint32_t bits = bitsBefore + headerBits + static_cast<uint32_t>(data.bytes.size()) * 8;
            const int qp = mb == first ? data.sliceQp : std::clamp(qpOf(mb, bits), 0, 51);
            const bool intra = !forcedIntra.empty() && forcedIntra[static_cast<size_t>(mb)] != 0;
            coder.Code(mb, slice, !idr, intra ? MbDemand::kIntra : MbDemand::kAny, qp, lastQp, skipRun, w);
            const MbState& state = m_grid.At(mb);
            qpSum += state.qp;
            stats.minQp = std::min<int>(stats.minQp, state.qp);
            stats.maxQp = std::max<int>(stats.maxQp, state.qp);
            stats.intraMbs += state.IsIntra();
            stats.skippedMbs += state.kind == MbKind::kSkip;
            CountVector(state, stats);
        }
        if (skipRun != 0) {
            w.Ue(skipRun);
        }
        data.pendingBits = w.PendingBits();
        data.pendingCount = w.PendingCount();
        constexpr uint32_t kNalFramingBits = 5 * 8;
        bitsBefore += kNalFramingBits + (headerBits + static_cast<uint32_t>(data.bytes.size()) * 8 + 8) / 8 * 8;
    }
    m_pendingTrial = idr || m_picturesSinceTrial >= kPicturesBetweenTrials;
    const FilterOffsets offsets = m_pendingTrial ? DeblockTryingOffsets(source) : Deblock(m_offsets);
    m_pendingOffsets = offsets;
    for (const SliceData& data : m_slices) {
        m_rbsp.clear();
        BitWriter w(m_rbsp);
        WriteSliceHeader(w, data.firstMb, idr, data.sliceQp, offsets);
        w.Append(data.bytes, data.pendingBits, data.pendingCount);
        w.TrailingBits();
        out.AppendNal(idr ? 3 : 2, idr ? kNalIdrSlice : kNalSlice, m_rbsp);
    }
    stats.clippedLevels = coder.ClippedLevels();
    stats.bytes = static_cast<uint32_t>(out.bytes.size() - startBytes);
    stats.meanQp = qpSum / mbCount;
    return stats;
}

void PictureCoder::CountVector(const MbState& state, PictureStats& stats) const {
    if (state.IsIntra()) {
        return;
    }
    if ((state.mv.x & 1) != 0 || (state.mv.y & 1) != 0) {
        ++stats.quarterPelVectors;
    } else if ((state.mv.x & 3) != 0 || (state.mv.y & 3) != 0) {
        ++stats.halfPelVectors;
    }
}

std::vector<MbFilterInfo> PictureCoder::FilterInfo() const {
    std::vector<MbFilterInfo> info(static_cast<size_t>(m_grid.Count()));
    for (int mb = 0; mb < m_grid.Count(); ++mb) {
        const MbState& state = m_grid.At(mb);
        MbFilterInfo& filter = info[static_cast<size_t>(mb)];
        filter.intra = state.IsIntra();
        filter.qp = state.qp;
        filter.nonZero = state.nonZeroLuma;
        std::fill(filter.mvx, filter.mvx + 16, static_cast<int16_t>(state.mv.x));
        std::fill(filter.mvy, filter.mvy + 16, static_cast<int16_t>(state.mv.y));
    }
    return info;
}

FilterOffsets PictureCoder::Deblock(FilterOffsets offsets) {
    if (!m_settings.deblocking) {
        return FilterOffsets{};
    }
    DeblockPicture(m_recon, FilterInfo(), m_grid.MbWidth(), m_grid.MbHeight(), offsets);
    return offsets;
}

FilterOffsets PictureCoder::DeblockTryingOffsets(const Picture& source) {
    if (!m_settings.deblocking) {
        return FilterOffsets{};
    }
    const std::vector<MbFilterInfo> info = FilterInfo();
    m_unfiltered = m_recon;
    FilterOffsets best;
    uint64_t bestError = std::numeric_limits<uint64_t>::max();
    for (const int offset : kOffsetCandidates) {
        const FilterOffsets candidate{offset, offset};
        m_trial = m_unfiltered;
        DeblockPicture(m_trial, info, m_grid.MbWidth(), m_grid.MbHeight(), candidate);
        const uint64_t error = SquaredError(m_trial, source);
        if (error < bestError) {
            bestError = error;
            best = candidate;
            std::swap(m_recon, m_trial);
        }
    }
    return best;
}

void PictureCoder::Commit() {
    m_reference.Build(m_recon);
    m_haveReference = true;
    if (m_pendingIdr) {
        m_frameNum = 0;
        m_idrPicId = (m_idrPicId + 1) % 65536;
    }
    m_frameNum = (m_frameNum + 1) % kMaxFrameNum;
    m_offsets = m_pendingOffsets;
    m_picturesSinceTrial = m_pendingTrial ? 1 : m_picturesSinceTrial + 1;
}

void PictureCoder::CommitSkipped() {
    // Every macroblock copied the reference at vector 0 and no edge is filtered (no
    // coefficients, equal vectors, no intra): the reference stays as it is.
    m_frameNum = (m_frameNum + 1) % kMaxFrameNum;
}

PictureStats PictureCoder::CodeSkipped(CodedUnit& out) {
    m_lastWasSkipped = true;
    const size_t startBytes = out.bytes.size();
    const int mbCount = m_grid.Count();
    const int sliceSize = m_settings.mbsPerSlice == 0 || m_settings.mbsPerSlice >= static_cast<uint32_t>(mbCount)
                              ? mbCount
                              : static_cast<int>(m_settings.mbsPerSlice);
    for (int first = 0; first < mbCount; first += sliceSize) {
        const int end = std::min(mbCount, first + sliceSize);
        m_rbsp.clear();
        BitWriter w(m_rbsp);
        WriteSliceHeader(w, first, false, kPicInitQp, FilterOffsets{});
        w.Ue(static_cast<uint32_t>(end - first));
        w.TrailingBits();
        out.AppendNal(2, kNalSlice, m_rbsp);
    }
    PictureStats stats;
    stats.bytes = static_cast<uint32_t>(out.bytes.size() - startBytes);
    stats.meanQp = kPicInitQp;
    stats.minQp = stats.maxQp = kPicInitQp;
    stats.skippedMbs = static_cast<uint32_t>(mbCount);
    return stats;
}

}  // namespace qzt::h264
