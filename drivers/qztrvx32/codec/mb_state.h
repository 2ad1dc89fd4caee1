// What the coding of one macroblock leaves behind for its neighbours and for the deblocking
// filter: its kind, QP, coefficient counts, intra modes and motion vector, and the rules of H.264
// for which neighbours a macroblock may use (inside the picture and in the same slice).
// Ownership: plain values. Thread rules: one picture's states belong to its coding thread.
#pragma once

#include "motion_search.h"

#include <cstdint>
#include <vector>

namespace qzt::h264 {

enum class MbKind : uint8_t { kSkip, kInter, kIntra16x16, kIntra4x4 };

struct MbState {
    MbKind kind = MbKind::kSkip;
    int slice = -1;                       // slice of this picture; -1 while not coded
    uint8_t qp = 0;                       // QPY (inherited for macroblocks without mb_qp_delta)
    uint8_t totalCoeffLuma[16] = {};      // TotalCoeff per 4x4 luma block, raster (y * 4 + x)
    uint8_t totalCoeffChroma[2][4] = {};  // per 4x4 chroma block of Cb and Cr, raster
    uint8_t intra4x4Modes[16] = {};       // raster; meaningful for kIntra4x4 only
    uint16_t nonZeroLuma = 0;             // bit (y * 4 + x): that block has coefficients
    MotionVector mv;                      // kSkip and kInter

    bool IsIntra() const { return kind == MbKind::kIntra16x16 || kind == MbKind::kIntra4x4; }
};

// The macroblocks of one picture and the neighbour rules over them.
class MbGrid {
public:
    void Reset(int mbWidth, int mbHeight);
    int MbWidth() const { return m_mbWidth; }
    int MbHeight() const { return m_mbHeight; }
    int Count() const { return m_mbWidth * m_mbHeight; }
    MbState& At(int mb) { return m_states[static_cast<size_t>(mb)]; }
    const MbState& At(int mb) const { return m_states[static_cast<size_t>(mb)]; }

    // The macroblock at (dx, dy) macroblocks from `mb` (dx, dy in -1..1), or null when it lies
    // outside the picture or is not (yet) coded in the slice of `mb`.
    const MbState* Neighbour(int mb, int dx, int dy, int slice) const;

    // nC of clause 9.2.1 for the 4x4 luma block at raster (bx, by) of `mb`, or for chroma
    // component `plane` (0, 1) block (bx, by) in 0..1. `current` holds the counts coded so far in
    // the macroblock itself.
    int LumaNc(int mb, int bx, int by, const MbState& current) const;
    int ChromaNc(int mb, int plane, int bx, int by, const MbState& current) const;

private:
    int m_mbWidth = 0;
    int m_mbHeight = 0;
    std::vector<MbState> m_states;
};

// The vector predicted for a 16x16 partition (clause 8.4.1.3) and the P_Skip vector (8.4.1.1).
MotionVector PredictedMv(const MbGrid& grid, int mb, int slice);
MotionVector SkipMv(const MbGrid& grid, int mb, int slice);

}  // namespace qzt::h264
