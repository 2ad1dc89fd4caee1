// Codes whole pictures: slices of macroblocks (each chosen by MacroblockCoder), the slice
// headers, the in-loop deblocking filter, and the reference picture the next P picture predicts
// from. A picture is coded into a scratch state first, so that rate control can have it coded
// again at another QP; Commit() makes it the reference.
// Ownership: owns its pictures and the macroblock states. Thread rules: one coding thread.
#pragma once

#include "coded_unit.h"
#include "deblock.h"
#include "inter_pred.h"
#include "mb_coder.h"
#include "mb_state.h"
#include "parameter_sets.h"
#include "picture.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace qzt::h264 {

struct CoderSettings {
    StreamSettings stream;
    bool deblocking = true;    // disable_deblocking_filter_idc 0, else 1
    uint32_t mbsPerSlice = 0;  // 0: one slice per picture
    bool halfPel = true;
    bool quarterPel = true;
};

// What one coded picture turned out as.
struct PictureStats {
    uint32_t bytes = 0;  // bytes appended to the unit
    double meanQp = 0;   // mean QPY over the macroblocks
    int firstQp = 0;     // QP of the first slice (its slice_qp_delta)
    int minQp = 51;
    int maxQp = 0;
    uint32_t intraMbs = 0;
    uint32_t skippedMbs = 0;
    uint32_t halfPelVectors = 0;     // vectors (inter and skipped) with a half-sample component and
    uint32_t quarterPelVectors = 0;  // none at a quarter; vectors with a quarter-sample component
    uint32_t clippedLevels = 0;      // levels clipped to keep level_prefix at most 15
};

// The QP of macroblock `mb` given the bits written for the picture so far.
using MacroblockQpFn = std::function<int(int mb, uint32_t bitsSoFar)>;

class PictureCoder {
public:
    explicit PictureCoder(const CoderSettings& settings);

    int MbWidth() const { return m_grid.MbWidth(); }
    int MbHeight() const { return m_grid.MbHeight(); }
    int MbCount() const { return m_grid.Count(); }

    // Forgets the reference: the next picture must be IDR.
    void Restart();

    // Codes `source` (padded to whole macroblocks) as an IDR or a P picture, appending its slices
    // to `out`. `forcedIntra` (one byte per macroblock, or empty) marks macroblocks that must be
    // intra. `qpOf` gives each macroblock's QP (the first one's is the slice QP). The result
    // waits in a scratch state until Commit().
    PictureStats Code(const Picture& source, bool idr, const std::vector<uint8_t>& forcedIntra,
                      const MacroblockQpFn& qpOf, CodedUnit& out);
    // Appends a P picture in which every macroblock is skipped (its reconstruction is the
    // reference itself); CommitSkipped() advances the frame number past it.
    PictureStats CodeSkipped(CodedUnit& out);
    // The last coded picture becomes the reference and the frame number advances.
    void Commit();
    void CommitSkipped();

    // What a decoder shows for the last picture coded (committed or not), deblocked, padded size.
    const Picture& Reconstruction() const { return m_lastWasSkipped ? m_reference.Full() : m_recon; }

private:
    // A slice's macroblock data, written before its header: the header carries the deblocking
    // offsets, which are chosen once the whole picture is coded.
    struct SliceData {
        int firstMb = 0;
        int sliceQp = 0;
        std::vector<uint8_t> bytes;
        uint32_t pendingBits = 0;
        int pendingCount = 0;
    };

    void WriteSliceHeader(BitWriter& writer, int firstMb, bool idr, int sliceQp, FilterOffsets offsets) const;
    uint32_t SliceHeaderBits(int firstMb, bool idr, int sliceQp);
    std::vector<MbFilterInfo> FilterInfo() const;
    // Filters the reconstruction with `offsets` (nothing when deblocking is off); returns what the
    // slice headers carry.
    FilterOffsets Deblock(FilterOffsets offsets);
    // Filters it with the offsets that bring it closest to `source` and returns them.
    FilterOffsets DeblockTryingOffsets(const Picture& source);
    void CountVector(const MbState& state, PictureStats& stats) const;

    CoderSettings m_settings;
    MbCodingSettings m_mbSettings;
    MbGrid m_grid;
    Picture m_recon;         // the picture being coded
    RefPicture m_reference;  // the last committed picture
    bool m_haveReference = false;
    bool m_pendingIdr = false;
    bool m_lastWasSkipped = false;
    uint32_t m_frameNum = 0;
    uint32_t m_idrPicId = 0;
    FilterOffsets m_offsets;         // the last committed picture's deblocking offsets
    FilterOffsets m_pendingOffsets;  // the ones of the picture coded last
    bool m_pendingTrial = false;     // whether that picture tried offsets
    uint32_t m_picturesSinceTrial = 0;
    std::vector<uint8_t> m_rbsp;
    std::vector<SliceData> m_slices;
    Picture m_unfiltered;  // the reconstruction before deblocking, while offsets are tried
    Picture m_trial;
};

}  // namespace qzt::h264
