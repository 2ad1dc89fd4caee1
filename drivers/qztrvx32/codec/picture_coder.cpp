// Slices, slice headers, deblocking and reference handling of the stand-in's encoder.
#include "picture_coder.h"

#include "deblock.h"

#include <algorithm>

namespace qzt::h264 {
namespace {

constexpr uint32_t kMaxFrameNum = 1u << kLog2MaxFrameNum;
constexpr uint32_t kSliceTypeP = 5;  // all slices of the picture are P
constexpr uint32_t kSliceTypeI = 7;  // all slices of the picture are I

bool LimitsLevelPrefix(uint32_t profileIdc) {
    return profileIdc == 66 || profileIdc == 77 || profileIdc == 88;
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
}

void PictureCoder::WriteSliceHeader(BitWriter& w, int firstMb, bool idr, int sliceQp) const {
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
        w.Se(0);  // slice_alpha_c0_offset_div2
        w.Se(0);  // slice_beta_offset_div2
    }
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
    for (int first = 0; first < mbCount; first += sliceSize, ++slice) {
        const int end = std::min(mbCount, first + sliceSize);
        m_rbsp.clear();
        BitWriter w(m_rbsp);
        const uint32_t bitsBefore = static_cast<uint32_t>(out.bytes.size() - startBytes) * 8;
        const int sliceQp = std::clamp(qpOf(first, bitsBefore), 0, 51);
        if (first == 0) {
            stats.firstQp = sliceQp;
        }
        WriteSliceHeader(w, first, idr, sliceQp);
        int lastQp = sliceQp;
        uint32_t skipRun = 0;
        for (int mb = first; mb < end; ++mb) {
            const uint32_t bits = bitsBefore + static_cast<uint32_t>(m_rbsp.size()) * 8;
            const int qp = mb == first ? sliceQp : std::clamp(qpOf(mb, bits), 0, 51);
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
        w.TrailingBits();
        out.AppendNal(idr ? 3 : 2, idr ? kNalIdrSlice : kNalSlice, m_rbsp);
    }
    Deblock();
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

void PictureCoder::Deblock() {
    if (!m_settings.deblocking) {
        return;
    }
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
    DeblockPicture(m_recon, info, m_grid.MbWidth(), m_grid.MbHeight());
}

void PictureCoder::Commit() {
    m_reference.Build(m_recon);
    m_haveReference = true;
    if (m_pendingIdr) {
        m_frameNum = 0;
        m_idrPicId = (m_idrPicId + 1) % 65536;
    }
    m_frameNum = (m_frameNum + 1) % kMaxFrameNum;
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
        WriteSliceHeader(w, first, false, kPicInitQp);
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
