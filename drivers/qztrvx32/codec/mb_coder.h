// Codes one macroblock of a picture: chooses its type (P_Skip, P_L0_16x16, Intra 16x16, Intra
// 4x4) and modes by cost, writes its macroblock_layer syntax (CAVLC) and reconstructs it into the
// picture being built exactly as a decoder does (before deblocking).
// Ownership: borrows the pictures and the grid of its PictureCoder. Thread rules: the coding
// thread of one encoder.
#pragma once

#include "bit_writer.h"
#include "cavlc.h"
#include "inter_pred.h"
#include "intra_pred.h"
#include "mb_state.h"
#include "motion_search.h"
#include "picture.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace qzt::h264 {

struct MbCodingSettings {
    bool limitLevelPrefix = true;  // profiles 66 and 77: level_prefix at most 15
    SearchSettings search;
};

// The level clipping of profiles 66 and 77 (level_prefix at most 15), counting what it clips.
struct LevelLimit {
    bool on = false;
    uint32_t clipped = 0;
    int Apply(int level) {
        if (!on || (level <= kMaxLevelPrefix15Magnitude && level >= -kMaxLevelPrefix15Magnitude)) {
            return level;
        }
        ++clipped;
        return level > 0 ? kMaxLevelPrefix15Magnitude : -kMaxLevelPrefix15Magnitude;
    }
};

// What the caller demands of a macroblock.
enum class MbDemand { kAny, kIntra };

class MacroblockCoder {
public:
    struct Levels;  // the levels of one macroblock's residual

    MacroblockCoder(const Picture& source, Picture& recon, MbGrid& grid, const MbCodingSettings& settings);
    ~MacroblockCoder();
    MacroblockCoder(const MacroblockCoder&) = delete;
    MacroblockCoder& operator=(const MacroblockCoder&) = delete;

    // The reference for P macroblocks (null in I slices).
    void SetReference(const RefPicture* reference) { m_reference = reference; }
    // Levels clipped so far to keep level_prefix at most 15.
    uint32_t ClippedLevels() const { return m_limit.clipped; }

    // Codes macroblock `mb` of slice `slice` at `qp` into `writer` and records its state in the
    // grid. In P slices a skipped macroblock only increments `skipRun`; any other writes the
    // pending run first. `lastQp` is QP_Y,PRED (the previous macroblock's QP in the slice) and
    // receives this one's.
    void Code(int mb, int slice, bool pSlice, MbDemand demand, int qp, int& lastQp, uint32_t& skipRun,
              BitWriter& writer);

private:
    // Costs (SATD units) that steer the mode decision.
    static constexpr int kInterGoodEnough = 384;  // an inter cost below this is not challenged by intra
    static constexpr int kIntra4Worthwhile = 24;  // Intra 4x4 is analysed above this many lambdas
    static constexpr int kIntraBias = 2;          // lambdas added to intra costs in P slices
    // A skip is accepted when its mean squared error stays below these shares of the squared
    // quantiser step, per 4x4 block and per macroblock.
    static constexpr double kSkipBlockShare = 0.25;
    static constexpr double kSkipMbShare = 0.125;
    // Lambda of the squared-error decisions at QP 12 (it doubles every 3 QP).
    static constexpr double kSsdLambdaScale = 0.85;

    uint8_t* ReconLuma(int mb) const;
    const uint8_t* SourceLuma(int mb) const;
    size_t ChromaOrigin(int mb) const;
    Neighbours MbNeighbours(int mb) const;
    Neighbours BlockNeighbours(int mb, int blkIdx) const;
    int PredictedIntra4Mode(int mb, int bx, int by) const;

    void PredictInter(int mb, const MotionVector& mv);
    bool ResidualVanishes(int mb, int qp) const;
    bool SkipDistortionAcceptable(int mb, int qp) const;
    void CommitSkip(int mb, const MotionVector& mv, int lastQp, uint32_t& skipRun);
    int SearchInter(int mb, const MotionVector& skipMv, int lambda, MotionVector& mv);
    // The best Intra 16x16 mode's cost; `againstInter`: measured block by block, as an inter
    // candidate is, rather than with the DC levels' second transform.
    int Intra16Cost(int mb, int lambda, bool againstInter, int& bestMode) const;
    int AnalyseIntra4(int mb, int qp, int lambda);
    uint64_t LumaSquaredError(int mb, const uint8_t* recon, int stride) const;
    uint32_t LumaResidualBits(int mb, const Levels& levels, bool intra16);
    bool Intra4BeatsIntra16(int mb, int mode16, int qp);
    uint8_t ChooseChromaMode(int mb);

    void CodeLumaInter(int mb, int qp, Levels& levels);
    void CodeInter(int mb, const MotionVector& mv, const MotionVector& skipMv, int qp, int& lastQp, uint32_t& skipRun,
                   BitWriter& writer);
    // The luma of an Intra 16x16 macroblock: levels into `levels`, the reconstruction at `out`
    // (rows `outStride` apart). Returns whether any AC level is non-zero.
    bool CodeIntra16Luma(int mb, int mode, int qp, LevelLimit& limit, Levels& levels, uint8_t* out,
                         int outStride) const;
    void CodeIntra16(int mb, int mode, uint8_t chromaMode, int qp, bool pSlice, int& lastQp, uint32_t& skipRun,
                     BitWriter& writer);
    void WriteIntra4(int mb, uint8_t chromaMode, int qp, bool pSlice, int& lastQp, uint32_t& skipRun,
                     BitWriter& writer);
    void FinishMacroblock(int mb, bool intra16, const Levels& levels, MbKind kind);

    const Picture& m_source;
    Picture& m_recon;
    MbGrid& m_grid;
    const MbCodingSettings& m_settings;
    const RefPicture* m_reference = nullptr;
    LevelLimit m_limit;
    MbState m_current;
    uint8_t m_predLuma[256] = {};  // inter prediction of the macroblock
    uint8_t m_predU[64] = {};      // chroma prediction (inter, or the chosen intra mode)
    uint8_t m_predV[64] = {};
    std::unique_ptr<Levels> m_levels;
    std::unique_ptr<Levels> m_intra4Levels;  // kept from the Intra 4x4 analysis
    std::vector<uint8_t> m_scratchBits;      // residual syntax written only to be measured
};

}  // namespace qzt::h264
