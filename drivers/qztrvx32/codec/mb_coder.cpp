// Macroblock decisions, syntax and reconstruction (clauses 7.3.5, 8.3 to 8.5 of H.264).
#include "mb_coder.h"

#include "cavlc.h"
#include "h264_tables.h"
#include "intra_pred.h"
#include "transform.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace qzt::h264 {
namespace {

// Position of the 4x4 luma block luma4x4BlkIdx (coding order) in block units.
constexpr int kBlockX[16] = {0, 1, 0, 1, 2, 3, 2, 3, 0, 1, 0, 1, 2, 3, 2, 3};
constexpr int kBlockY[16] = {0, 0, 1, 1, 0, 0, 1, 1, 2, 2, 3, 3, 2, 2, 3, 3};
// luma4x4BlkIdx of the block at raster index y * 4 + x.
constexpr int kBlkIdxOfRaster[16] = {0, 1, 4, 5, 2, 3, 6, 7, 8, 9, 12, 13, 10, 11, 14, 15};

// coded_block_pattern as me(v) for 4:2:0 (Table 9-4): the code number of each pattern value,
// for Intra 4x4 and for inter macroblocks, derived from the table's codeNum -> value columns.
constexpr uint8_t kCbpIntraByCode[48] = {47, 31, 15, 0,  23, 27, 29, 30, 7,  11, 13, 14, 39, 43, 45, 46,
                                         16, 3,  5,  10, 12, 19, 21, 26, 28, 35, 37, 42, 44, 1,  2,  4,
                                         8,  17, 18, 20, 24, 6,  9,  22, 25, 32, 33, 34, 36, 40, 38, 41};
constexpr uint8_t kCbpInterByCode[48] = {0,  16, 1,  2,  4,  8,  32, 3,  5,  10, 12, 15, 47, 7,  11, 13,
                                         14, 6,  9,  31, 35, 37, 42, 44, 33, 34, 36, 40, 39, 43, 45, 46,
                                         17, 18, 20, 24, 19, 21, 26, 28, 23, 27, 29, 30, 22, 25, 38, 41};

uint32_t CbpCode(int cbp, bool intra) {
    const uint8_t* const table = intra ? kCbpIntraByCode : kCbpInterByCode;
    for (uint32_t code = 0; code < 48; ++code) {
        if (table[code] == cbp) {
            return code;
        }
    }
    return 0;
}

// Length of the unsigned Exp-Golomb code of `value`.
uint32_t UeBits(uint32_t value) {
    uint32_t bits = 1;
    for (uint64_t code = static_cast<uint64_t>(value) + 1; code > 1; code >>= 1) {
        bits += 2;
    }
    return bits;
}

constexpr uint32_t kPIntraMbTypeOffset = 5;  // intra mb_type values follow the five P types
constexpr uint32_t kMbTypeI4x4 = 0;
constexpr uint32_t kMbTypePL016x16 = 0;

// Cost of one bit in SATD units at `qp` (about 0.85 * 2^((qp - 12) / 6)).
int Lambda(int qp) {
    const double value = 0.85 * std::pow(2.0, (qp - 12) / 6.0);
    return std::max(1, static_cast<int>(value + 0.5));
}

// The 4x4 Hadamard transform without normalisation (out[0] is the sum of the 16 inputs).
void Hadamard4x4(const int in[16], int out[16]) {
    int t[16];
    for (int i = 0; i < 4; ++i) {
        const int* row = in + i * 4;
        const int s01 = row[0] + row[1], d01 = row[0] - row[1], s23 = row[2] + row[3], d23 = row[2] - row[3];
        t[i * 4 + 0] = s01 + s23;
        t[i * 4 + 1] = s01 - s23;
        t[i * 4 + 2] = d01 - d23;
        t[i * 4 + 3] = d01 + d23;
    }
    for (int j = 0; j < 4; ++j) {
        const int s01 = t[j] + t[4 + j], d01 = t[j] - t[4 + j], s23 = t[8 + j] + t[12 + j], d23 = t[8 + j] - t[12 + j];
        out[j] = s01 + s23;
        out[4 + j] = s01 - s23;
        out[8 + j] = d01 - d23;
        out[12 + j] = d01 + d23;
    }
}

int SumOfMagnitudes(const int values[16], int from) {
    int sum = 0;
    for (int i = from; i < 16; ++i) {
        sum += std::abs(values[i]);
    }
    return sum;
}

int Satd4x4(const int diff[16]) {
    int h[16];
    Hadamard4x4(diff, h);
    return SumOfMagnitudes(h, 0) / 2;
}

// Differences of a 4x4 block: source at `src` (stride) minus prediction at `pred` (stride).
void Difference(const uint8_t* src, int srcStride, const uint8_t* pred, int predStride, int diff[16]) {
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            diff[y * 4 + x] = src[y * srcStride + x] - pred[y * predStride + x];
        }
    }
}

// Transform coefficients of 4x4 block `b` (raster) of a macroblock's luma: source rows of
// `srcStride` against a 16x16 prediction.
void LumaBlockCoefficients(const uint8_t* src, int srcStride, const uint8_t* pred16, int b, int coeff[16]) {
    const int bx = b % 4 * 4;
    const int by = b / 4 * 4;
    int diff[16];
    Difference(src + by * srcStride + bx, srcStride, pred16 + by * 16 + bx, 16, diff);
    ForwardTransform4x4(diff, coeff);
}

// SATD of a 16x16 block as Intra 16x16 codes it: the blocks' DC terms go through a second 4x4
// Hadamard, as the DC levels do, so that a residual made of a few flat areas costs what its few DC
// levels cost rather than sixteen separate DC terms. Same scale as Satd4x4 (twice the L1 norm of
// the orthonormal coefficients).
int Intra16Satd(const uint8_t* src, int srcStride, const uint8_t* pred16) {
    int dc[16];
    int ac = 0;
    for (int b = 0; b < 16; ++b) {
        int diff[16];
        int h[16];
        Difference(src + b / 4 * 4 * srcStride + b % 4 * 4, srcStride, pred16 + b / 4 * 4 * 16 + b % 4 * 4, 16, diff);
        Hadamard4x4(diff, h);
        ac += SumOfMagnitudes(h, 1);
        dc[b] = h[0];
    }
    int dcTransformed[16];
    Hadamard4x4(dc, dcTransformed);
    return ac / 2 + SumOfMagnitudes(dcTransformed, 0) / 8;
}

int SatdBlocks(const uint8_t* src, int srcStride, const uint8_t* pred, int predStride, int width, int height) {
    int sum = 0;
    int diff[16];
    for (int y = 0; y < height; y += 4) {
        for (int x = 0; x < width; x += 4) {
            Difference(src + y * srcStride + x, srcStride, pred + y * predStride + x, predStride, diff);
            sum += Satd4x4(diff);
        }
    }
    return sum;
}

uint8_t Clip255(int value) {
    return static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
}

// Writes prediction + residual into the picture block at `out`.
void AddResidual(const uint8_t* pred, int predStride, const int residual[16], uint8_t* out, int outStride) {
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            out[y * outStride + x] = Clip255(pred[y * predStride + x] + residual[y * 4 + x]);
        }
    }
}

// Quantises transform coefficients `coeff` (raster) into levels in scan order from scan
// position `first`; returns the count of non-zero levels. Levels beyond what level_prefix 15
// can carry are clipped when asked.
int QuantizeToScan(const int coeff[16], int qp, bool intra, int first, LevelLimit& limit, int levels[16]) {
    int nonZero = 0;
    for (int k = 0; k < 16; ++k) {
        levels[k] = 0;
    }
    for (int k = first; k < 16; ++k) {
        const int raster = kZigzag4x4[k];
        int level = QuantizeCoefficient(coeff[raster], qp, ScaleClass(raster), intra);
        level = limit.Apply(level);
        levels[k] = level;
        nonZero += level != 0;
    }
    return nonZero;
}

// Turns scan-order levels back into the decoder's residual (dc: the block's DC value from a DC
// transform, used when `first` is 1).
void ReconstructResidual(const int levels[16], int qp, int first, int dc, int residual[16]) {
    int raster[16] = {};
    for (int k = first; k < 16; ++k) {
        raster[kZigzag4x4[k]] = levels[k];
    }
    int d[16];
    DequantizeBlock(raster, qp, first == 0, d);
    if (first == 1) {
        d[0] = dc;
    }
    InverseTransform4x4(d, residual);
}

}  // namespace

// Levels of everything a macroblock codes besides its header.
struct MacroblockCoder::Levels {
    int luma[16][16] = {};  // per raster block, scan order (AC from position 1 for I16x16)
    int lumaDc[16] = {};    // I16x16 DC levels, scan order
    int chromaDc[2][4] = {};
    int chromaAc[2][4][16] = {};  // scan order, from position 1
    int cbpLuma = 0;              // bit per 8x8 block
    int cbpChroma = 0;            // 0, 1 (DC) or 2 (DC and AC)
};

namespace {

// Codes both chroma planes of a macroblock against `predU` / `predV` (8x8, stride 8): levels into
// `c`, reconstruction into the picture. Returns cbpChroma.
int CodeChroma(const Picture& source, Picture& recon, int mb, int mbWidth, const uint8_t* predU, const uint8_t* predV,
               int qpY, bool intra, LevelLimit& limit, int chromaDc[2][4], int chromaAc[2][4][16]) {
    const int qpC = kChromaQp[std::clamp(qpY, 0, 51)];
    const int cw = source.ChromaWidth();
    const size_t origin = static_cast<size_t>(mb / mbWidth * 8) * cw + mb % mbWidth * 8;
    const uint8_t* const preds[2] = {predU, predV};
    const std::vector<uint8_t>* const sources[2] = {&source.u, &source.v};
    std::vector<uint8_t>* const outs[2] = {&recon.u, &recon.v};
    bool anyDc = false;
    bool anyAc = false;
    int coeffs[2][4][16];
    for (int plane = 0; plane < 2; ++plane) {
        const uint8_t* src = sources[plane]->data() + origin;
        int dcIn[4];
        for (int blk = 0; blk < 4; ++blk) {
            const int bx = blk % 2 * 4;
            const int by = blk / 2 * 4;
            int diff[16];
            Difference(src + by * cw + bx, cw, preds[plane] + by * 8 + bx, 8, diff);
            ForwardTransform4x4(diff, coeffs[plane][blk]);
            dcIn[blk] = coeffs[plane][blk][0];
            anyAc |= QuantizeToScan(coeffs[plane][blk], qpC, intra, 1, limit, chromaAc[plane][blk]) != 0;
        }
        int dcOut[4];
        ForwardHadamard2x2(dcIn, dcOut);
        for (int i = 0; i < 4; ++i) {
            chromaDc[plane][i] = limit.Apply(QuantizeChromaDc(dcOut[i], qpC, intra));
            anyDc |= chromaDc[plane][i] != 0;
        }
    }
    const int cbp = anyAc ? 2 : anyDc ? 1 : 0;
    for (int plane = 0; plane < 2; ++plane) {
        int dc[4];
        InverseChromaDc(chromaDc[plane], qpC, dc);
        uint8_t* out = outs[plane]->data() + origin;
        for (int blk = 0; blk < 4; ++blk) {
            const int bx = blk % 2 * 4;
            const int by = blk / 2 * 4;
            if (cbp != 2) {
                std::fill(chromaAc[plane][blk], chromaAc[plane][blk] + 16, 0);
            }
            int residual[16];
            ReconstructResidual(chromaAc[plane][blk], qpC, 1, dc[blk], residual);
            AddResidual(preds[plane] + by * 8 + bx, 8, residual, out + by * cw + bx, cw);
        }
    }
    return cbp;
}

}  // namespace

namespace {

int EightByEight(int rasterBlock) {
    return (rasterBlock / 4 / 2) * 2 + (rasterBlock % 4) / 2;
}

// Records the counts a macroblock signals, for its neighbours' nC and for the deblocking filter.
void RecordCounts(const MacroblockCoder::Levels& c, bool intra16, MbState& state) {
    const int first = intra16 ? 1 : 0;
    state.nonZeroLuma = 0;
    for (int b = 0; b < 16; ++b) {
        const bool coded = (c.cbpLuma >> EightByEight(b) & 1) != 0;
        const int total = coded ? TotalCoeff(c.luma[b] + first, 16 - first) : 0;
        state.totalCoeffLuma[b] = static_cast<uint8_t>(total);
        if (total != 0) {
            state.nonZeroLuma = static_cast<uint16_t>(state.nonZeroLuma | (1u << b));
        }
    }
    for (int plane = 0; plane < 2; ++plane) {
        for (int b = 0; b < 4; ++b) {
            state.totalCoeffChroma[plane][b] =
                static_cast<uint8_t>(c.cbpChroma == 2 ? TotalCoeff(c.chromaAc[plane][b] + 1, 15) : 0);
        }
    }
}

// residual( ) of clause 7.3.5.3 for 4:2:0 with CAVLC.
void WriteResidual(BitWriter& writer, const MacroblockCoder::Levels& c, bool intra16, const MbGrid& grid, int mb,
                   const MbState& state, bool limit) {
    if (intra16) {
        WriteResidualBlock(writer, c.lumaDc, 16, grid.LumaNc(mb, 0, 0, state), limit);
    }
    for (int blkIdx = 0; blkIdx < 16; ++blkIdx) {
        if ((c.cbpLuma >> (blkIdx / 4) & 1) == 0) {
            continue;
        }
        const int bx = kBlockX[blkIdx];
        const int by = kBlockY[blkIdx];
        const int nC = grid.LumaNc(mb, bx, by, state);
        const int* levels = c.luma[by * 4 + bx];
        if (intra16) {
            WriteResidualBlock(writer, levels + 1, 15, nC, limit);
        } else {
            WriteResidualBlock(writer, levels, 16, nC, limit);
        }
    }
    if (c.cbpChroma != 0) {
        for (int plane = 0; plane < 2; ++plane) {
            WriteResidualBlock(writer, c.chromaDc[plane], 4, -1, limit);
        }
    }
    if (c.cbpChroma == 2) {
        for (int plane = 0; plane < 2; ++plane) {
            for (int b = 0; b < 4; ++b) {
                WriteResidualBlock(writer, c.chromaAc[plane][b] + 1, 15, grid.ChromaNc(mb, plane, b % 2, b / 2, state),
                                   limit);
            }
        }
    }
}

void WriteQpDelta(BitWriter& writer, int qp, int& lastQp) {
    int delta = qp - lastQp;
    if (delta > 25) {
        delta -= 52;
    } else if (delta < -26) {
        delta += 52;
    }
    writer.Se(delta);
    lastQp = qp;
}

void WriteSkipRun(BitWriter& writer, bool pSlice, uint32_t& skipRun) {
    if (pSlice) {
        writer.Ue(skipRun);
        skipRun = 0;
    }
}

}  // namespace

MacroblockCoder::MacroblockCoder(const Picture& source, Picture& recon, MbGrid& grid, const MbCodingSettings& settings)
    : m_source(source),
      m_recon(recon),
      m_grid(grid),
      m_settings(settings),
      m_limit{settings.limitLevelPrefix, 0},
      m_levels(std::make_unique<Levels>()),
      m_intra4Levels(std::make_unique<Levels>()) {}

MacroblockCoder::~MacroblockCoder() = default;

uint8_t* MacroblockCoder::ReconLuma(int mb) const {
    return m_recon.y.data() + static_cast<size_t>(mb / m_grid.MbWidth() * 16) * m_recon.width +
           mb % m_grid.MbWidth() * 16;
}

const uint8_t* MacroblockCoder::SourceLuma(int mb) const {
    return m_source.y.data() + static_cast<size_t>(mb / m_grid.MbWidth() * 16) * m_source.width +
           mb % m_grid.MbWidth() * 16;
}

size_t MacroblockCoder::ChromaOrigin(int mb) const {
    return static_cast<size_t>(mb / m_grid.MbWidth() * 8) * m_source.ChromaWidth() + mb % m_grid.MbWidth() * 8;
}

Neighbours MacroblockCoder::MbNeighbours(int mb) const {
    Neighbours n;
    n.left = m_grid.Neighbour(mb, -1, 0, m_current.slice) != nullptr;
    n.top = m_grid.Neighbour(mb, 0, -1, m_current.slice) != nullptr;
    n.topLeft = m_grid.Neighbour(mb, -1, -1, m_current.slice) != nullptr;
    n.topRight = m_grid.Neighbour(mb, 1, -1, m_current.slice) != nullptr;
    return n;
}

void MacroblockCoder::Code(int mb, int slice, bool pSlice, MbDemand demand, int qp, int& lastQp, uint32_t& skipRun,
                           BitWriter& writer) {
    m_current = MbState{};
    m_current.slice = slice;
    const int lambda = Lambda(qp);
    enum class Choice { kInter, kIntra16, kIntra4 } choice = Choice::kIntra16;
    int bestCost = INT_MAX;
    MotionVector skipMv;
    MotionVector interMv;
    if (pSlice && demand == MbDemand::kAny) {
        skipMv = SkipMv(m_grid, mb, slice);
        PredictInter(mb, skipMv);
        if (ResidualVanishes(mb, qp)) {
            CommitSkip(mb, skipMv, lastQp, skipRun);
            return;
        }
        bestCost = SearchInter(mb, skipMv, lambda, interMv);
        choice = Choice::kInter;
    }
    int intra16Mode = kI16Dc;
    if (bestCost > kInterGoodEnough) {
        const int intra16Cost = Intra16Cost(mb, lambda, pSlice, intra16Mode) + lambda * kIntraBias;
        if (intra16Cost < bestCost) {
            bestCost = intra16Cost;
            choice = Choice::kIntra16;
        }
        if (bestCost > kIntra4Worthwhile * lambda) {
            const int intra4Cost = AnalyseIntra4(mb, qp, lambda) + lambda * kIntraBias;
            const bool intra4Wins =
                choice == Choice::kIntra16 && !pSlice ? Intra4BeatsIntra16(mb, intra16Mode, qp) : intra4Cost < bestCost;
            if (intra4Wins) {
                choice = Choice::kIntra4;
            }
        }
    }
    const uint8_t chromaMode = choice == Choice::kInter ? 0 : ChooseChromaMode(mb);
    switch (choice) {
        case Choice::kInter:
            PredictInter(mb, interMv);
            CodeInter(mb, interMv, skipMv, qp, lastQp, skipRun, writer);
            break;
        case Choice::kIntra16:
            CodeIntra16(mb, intra16Mode, chromaMode, qp, pSlice, lastQp, skipRun, writer);
            break;
        case Choice::kIntra4:
            WriteIntra4(mb, chromaMode, qp, pSlice, lastQp, skipRun, writer);
            break;
    }
}

void MacroblockCoder::PredictInter(int mb, const MotionVector& mv) {
    const int x = mb % m_grid.MbWidth() * 16;
    const int y = mb / m_grid.MbWidth() * 16;
    m_reference->PredictLuma(x, y, mv.x, mv.y, 16, 16, m_predLuma, 16);
    m_reference->PredictChroma(x / 2, y / 2, mv.x, mv.y, 8, 8, m_predU, m_predV, 8);
}

bool MacroblockCoder::ResidualVanishes(int mb, int qp) const {
    LevelLimit noLimit;  // only whether levels vanish matters here
    const uint8_t* src = SourceLuma(mb);
    int diff[16];
    int coeff[16];
    int levels[16];
    bool identical = true;
    for (int b = 0; b < 16 && identical; ++b) {
        const int bx = b % 4 * 4;
        const int by = b / 4 * 4;
        Difference(src + by * m_source.width + bx, m_source.width, m_predLuma + by * 16 + bx, 16, diff);
        identical = std::all_of(diff, diff + 16, [](int d) { return d == 0; });
    }
    const size_t origin = ChromaOrigin(mb);
    const int cw = m_source.ChromaWidth();
    for (int row = 0; row < 8 && identical; ++row) {
        identical = std::memcmp(m_source.u.data() + origin + row * cw, m_predU + row * 8, 8) == 0 &&
                    std::memcmp(m_source.v.data() + origin + row * cw, m_predV + row * 8, 8) == 0;
    }
    if (identical || SkipDistortionAcceptable(mb, qp)) {
        return true;
    }
    for (int b = 0; b < 16; ++b) {
        LumaBlockCoefficients(src, m_source.width, m_predLuma, b, coeff);
        if (QuantizeToScan(coeff, qp, false, 0, noLimit, levels) != 0) {
            return false;
        }
    }
    const int qpC = kChromaQp[std::clamp(qp, 0, 51)];
    const uint8_t* const preds[2] = {m_predU, m_predV};
    const uint8_t* const planes[2] = {m_source.u.data() + origin, m_source.v.data() + origin};
    for (int plane = 0; plane < 2; ++plane) {
        int dcIn[4];
        for (int b = 0; b < 4; ++b) {
            Difference(planes[plane] + b / 2 * 4 * cw + b % 2 * 4, cw, preds[plane] + b / 2 * 32 + b % 2 * 4, 8, diff);
            ForwardTransform4x4(diff, coeff);
            dcIn[b] = coeff[0];
            if (QuantizeToScan(coeff, qpC, false, 1, noLimit, levels) != 0) {
                return false;
            }
        }
        int dcOut[4];
        ForwardHadamard2x2(dcIn, dcOut);
        for (const int dc : dcOut) {
            if (QuantizeChromaDc(dc, qpC, false) != 0) {
                return false;
            }
        }
    }
    return true;
}

// Whether the skip prediction is about as close to the source as coding the macroblock would
// get: its mean squared error below a share of the quantiser step's square, in the macroblock and
// in every 4x4 block (so that a small detail such as a cursor is not skipped away). Coding such a
// macroblock again would mostly re-code the previous picture's quantisation noise.
bool MacroblockCoder::SkipDistortionAcceptable(int mb, int qp) const {
    const auto step = [](int q) { return 0.625 * std::pow(2.0, q / 6.0); };
    const double lumaStep = step(qp);
    const double chromaStep = step(kChromaQp[std::clamp(qp, 0, 51)]);
    const uint8_t* src = SourceLuma(mb);
    int total = 0;
    for (int b = 0; b < 16; ++b) {
        int block = 0;
        for (int y = b / 4 * 4; y < b / 4 * 4 + 4; ++y) {
            for (int x = b % 4 * 4; x < b % 4 * 4 + 4; ++x) {
                const int d = src[y * m_source.width + x] - m_predLuma[y * 16 + x];
                block += d * d;
            }
        }
        if (block > 16 * kSkipBlockShare * lumaStep * lumaStep) {
            return false;
        }
        total += block;
    }
    if (total > 256 * kSkipMbShare * lumaStep * lumaStep) {
        return false;
    }
    const size_t origin = ChromaOrigin(mb);
    const int cw = m_source.ChromaWidth();
    int chroma = 0;
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            const int du = m_source.u[origin + y * cw + x] - m_predU[y * 8 + x];
            const int dv = m_source.v[origin + y * cw + x] - m_predV[y * 8 + x];
            chroma += du * du + dv * dv;
        }
    }
    return chroma <= 128 * kSkipMbShare * chromaStep * chromaStep;
}

void MacroblockCoder::CommitSkip(int mb, const MotionVector& mv, int lastQp, uint32_t& skipRun) {
    uint8_t* out = ReconLuma(mb);
    for (int row = 0; row < 16; ++row) {
        std::memcpy(out + row * m_recon.width, m_predLuma + row * 16, 16);
    }
    const size_t origin = ChromaOrigin(mb);
    const int cw = m_recon.ChromaWidth();
    for (int row = 0; row < 8; ++row) {
        std::memcpy(m_recon.u.data() + origin + row * cw, m_predU + row * 8, 8);
        std::memcpy(m_recon.v.data() + origin + row * cw, m_predV + row * 8, 8);
    }
    m_current.kind = MbKind::kSkip;
    m_current.mv = mv;
    m_current.qp = static_cast<uint8_t>(lastQp);
    m_grid.At(mb) = m_current;
    ++skipRun;
}

int MacroblockCoder::SearchInter(int mb, const MotionVector& skipMv, int lambda, MotionVector& mv) {
    const int slice = m_current.slice;
    const MotionVector predicted = PredictedMv(m_grid, mb, slice);
    MotionVector candidates[5] = {skipMv, MotionVector{}};
    int count = 2;
    for (const auto& [dx, dy] : {std::pair<int, int>{-1, 0}, {0, -1}, {1, -1}}) {
        if (const MbState* n = m_grid.Neighbour(mb, dx, dy, slice); n != nullptr && !n->IsIntra()) {
            candidates[count++] = n->mv;
        }
    }
    SearchSettings search = m_settings.search;
    search.lambda = lambda;
    const SearchResult result = SearchMacroblock(m_source, *m_reference, mb % m_grid.MbWidth(), mb / m_grid.MbWidth(),
                                                 predicted, candidates, count, search);
    mv = result.mv;
    PredictInter(mb, mv);
    return SatdBlocks(SourceLuma(mb), m_source.width, m_predLuma, 16, 16, 16) + lambda * (MvdBits(mv, predicted) + 1);
}

int MacroblockCoder::Intra16Cost(int mb, int lambda, bool againstInter, int& bestMode) const {
    const Neighbours n = MbNeighbours(mb);
    uint8_t pred[256];
    int best = INT_MAX;
    for (int mode = 0; mode < 4; ++mode) {
        if (!Intra16x16ModeUsable(mode, n)) {
            continue;
        }
        PredictIntra16x16(mode, ReconLuma(mb), m_recon.width, n, pred);
        const int satd = againstInter ? SatdBlocks(SourceLuma(mb), m_source.width, pred, 16, 16, 16)
                                      : Intra16Satd(SourceLuma(mb), m_source.width, pred);
        const int cost = satd + lambda * 4;
        if (cost < best) {
            best = cost;
            bestMode = mode;
        }
    }
    return best;
}

uint8_t MacroblockCoder::ChooseChromaMode(int mb) {
    const Neighbours n = MbNeighbours(mb);
    const size_t origin = ChromaOrigin(mb);
    const int cw = m_recon.ChromaWidth();
    int best = INT_MAX;
    uint8_t bestMode = kChromaDc;
    uint8_t predU[64];
    uint8_t predV[64];
    for (int mode = 0; mode < 4; ++mode) {
        if (!IntraChromaModeUsable(mode, n)) {
            continue;
        }
        PredictIntraChroma(mode, m_recon.u.data() + origin, cw, n, predU);
        PredictIntraChroma(mode, m_recon.v.data() + origin, cw, n, predV);
        const int cost = SatdBlocks(m_source.u.data() + origin, cw, predU, 8, 8, 8) +
                         SatdBlocks(m_source.v.data() + origin, cw, predV, 8, 8, 8);
        if (cost < best) {
            best = cost;
            bestMode = static_cast<uint8_t>(mode);
            std::memcpy(m_predU, predU, 64);
            std::memcpy(m_predV, predV, 64);
        }
    }
    return bestMode;
}

void MacroblockCoder::FinishMacroblock(int mb, bool intra16, const Levels& levels, MbKind kind) {
    m_current.kind = kind;
    RecordCounts(levels, intra16, m_current);
    m_grid.At(mb) = m_current;
}

void MacroblockCoder::CodeLumaInter(int mb, int qp, Levels& levels) {
    const uint8_t* src = SourceLuma(mb);
    uint8_t* out = ReconLuma(mb);
    LevelLimit& limit = m_limit;
    levels.cbpLuma = 0;
    for (int b = 0; b < 16; ++b) {
        int coeff[16];
        LumaBlockCoefficients(src, m_source.width, m_predLuma, b, coeff);
        if (QuantizeToScan(coeff, qp, false, 0, limit, levels.luma[b]) != 0) {
            levels.cbpLuma |= 1 << EightByEight(b);
        }
    }
    for (int b = 0; b < 16; ++b) {
        const int bx = b % 4 * 4;
        const int by = b / 4 * 4;
        int residual[16] = {};
        if ((levels.cbpLuma >> EightByEight(b) & 1) != 0) {
            ReconstructResidual(levels.luma[b], qp, 0, 0, residual);
        }
        AddResidual(m_predLuma + by * 16 + bx, 16, residual, out + by * m_recon.width + bx, m_recon.width);
    }
}

void MacroblockCoder::CodeInter(int mb, const MotionVector& mv, const MotionVector& skipMv, int qp, int& lastQp,
                                uint32_t& skipRun, BitWriter& writer) {
    Levels& levels = *m_levels;
    CodeLumaInter(mb, qp, levels);
    levels.cbpChroma = CodeChroma(m_source, m_recon, mb, m_grid.MbWidth(), m_predU, m_predV, qp, false, m_limit,
                                  levels.chromaDc, levels.chromaAc);
    const int cbp = levels.cbpLuma | levels.cbpChroma << 4;
    if (cbp == 0 && mv == skipMv) {
        CommitSkip(mb, mv, lastQp, skipRun);  // the reconstruction equals the skip's
        return;
    }
    WriteSkipRun(writer, true, skipRun);
    writer.Ue(kMbTypePL016x16);
    const MotionVector predicted = PredictedMv(m_grid, mb, m_current.slice);
    writer.Se(mv.x - predicted.x);
    writer.Se(mv.y - predicted.y);
    writer.Ue(CbpCode(cbp, false));
    m_current.qp = static_cast<uint8_t>(lastQp);
    if (cbp != 0) {
        WriteQpDelta(writer, qp, lastQp);
        m_current.qp = static_cast<uint8_t>(qp);
    }
    m_current.mv = mv;
    RecordCounts(levels, false, m_current);
    WriteResidual(writer, levels, false, m_grid, mb, m_current, m_limit.on);
    FinishMacroblock(mb, false, levels, MbKind::kInter);
}

bool MacroblockCoder::CodeIntra16Luma(int mb, int mode, int qp, LevelLimit& limit, Levels& levels, uint8_t* out,
                                      int outStride) const {
    const Neighbours n = MbNeighbours(mb);
    uint8_t pred[256];
    PredictIntra16x16(mode, ReconLuma(mb), m_recon.width, n, pred);
    const uint8_t* src = SourceLuma(mb);
    int dcIn[16];
    bool anyAc = false;
    for (int b = 0; b < 16; ++b) {
        int coeff[16];
        LumaBlockCoefficients(src, m_source.width, pred, b, coeff);
        dcIn[b] = coeff[0];
        anyAc |= QuantizeToScan(coeff, qp, true, 1, limit, levels.luma[b]) != 0;
    }
    int dcOut[16];
    ForwardHadamard4x4(dcIn, dcOut);
    int dcLevelsRaster[16];
    for (int i = 0; i < 16; ++i) {
        dcLevelsRaster[i] = limit.Apply(QuantizeLumaDc(dcOut[i], qp, true));
    }
    for (int k = 0; k < 16; ++k) {
        levels.lumaDc[k] = dcLevelsRaster[kZigzag4x4[k]];
    }
    levels.cbpLuma = anyAc ? 15 : 0;
    int dc[16];
    InverseLumaDc(dcLevelsRaster, qp, dc);
    for (int b = 0; b < 16; ++b) {
        const int bx = b % 4 * 4;
        const int by = b / 4 * 4;
        if (!anyAc) {
            std::fill(levels.luma[b], levels.luma[b] + 16, 0);
        }
        int residual[16];
        ReconstructResidual(levels.luma[b], qp, 1, dc[b], residual);
        AddResidual(pred + by * 16 + bx, 16, residual, out + by * outStride + bx, outStride);
    }
    return anyAc;
}

void MacroblockCoder::CodeIntra16(int mb, int mode, uint8_t chromaMode, int qp, bool pSlice, int& lastQp,
                                  uint32_t& skipRun, BitWriter& writer) {
    Levels& levels = *m_levels;
    LevelLimit& limit = m_limit;
    const bool anyAc = CodeIntra16Luma(mb, mode, qp, limit, levels, ReconLuma(mb), m_recon.width);
    levels.cbpChroma = CodeChroma(m_source, m_recon, mb, m_grid.MbWidth(), m_predU, m_predV, qp, true, limit,
                                  levels.chromaDc, levels.chromaAc);
    WriteSkipRun(writer, pSlice, skipRun);
    const uint32_t mbType =
        1 + static_cast<uint32_t>(mode) + 4u * static_cast<uint32_t>(levels.cbpChroma) + (anyAc ? 12u : 0u);
    writer.Ue((pSlice ? kPIntraMbTypeOffset : 0) + mbType);
    writer.Ue(chromaMode);
    WriteQpDelta(writer, qp, lastQp);
    m_current.qp = static_cast<uint8_t>(qp);
    RecordCounts(levels, true, m_current);
    WriteResidual(writer, levels, true, m_grid, mb, m_current, limit.on);
    FinishMacroblock(mb, true, levels, MbKind::kIntra16x16);
}

// --- Intra 4x4 ---------------------------------------------------------------------------------

Neighbours MacroblockCoder::BlockNeighbours(int mb, int blkIdx) const {
    const Neighbours m = MbNeighbours(mb);
    const int bx = kBlockX[blkIdx];
    const int by = kBlockY[blkIdx];
    Neighbours n;
    n.left = bx > 0 || m.left;
    n.top = by > 0 || m.top;
    n.topLeft = bx > 0 && by > 0 ? true : bx > 0 ? m.top : by > 0 ? m.left : m.topLeft;
    if (by == 0) {
        n.topRight = bx < 3 ? m.top : m.topRight;
    } else if (bx == 3) {
        n.topRight = false;
    } else {
        // Inside the macroblock: available when the block above-right comes earlier in coding order.
        int aboveRight = 0;
        for (int i = 0; i < 16; ++i) {
            if (kBlockX[i] == bx + 1 && kBlockY[i] == by - 1) {
                aboveRight = i;
            }
        }
        n.topRight = aboveRight < blkIdx;
    }
    return n;
}

int MacroblockCoder::PredictedIntra4Mode(int mb, int bx, int by) const {
    const MbState* left = bx > 0 ? &m_current : m_grid.Neighbour(mb, -1, 0, m_current.slice);
    const MbState* top = by > 0 ? &m_current : m_grid.Neighbour(mb, 0, -1, m_current.slice);
    if (left == nullptr || top == nullptr) {
        return kI4Dc;
    }
    const int modeA = left == &m_current || left->kind == MbKind::kIntra4x4 ? left->intra4x4Modes[by * 4 + (bx + 3) % 4]
                                                                            : static_cast<int>(kI4Dc);
    const int modeB = top == &m_current || top->kind == MbKind::kIntra4x4 ? top->intra4x4Modes[(by + 3) % 4 * 4 + bx]
                                                                          : static_cast<int>(kI4Dc);
    return std::min(modeA, modeB);
}

uint64_t MacroblockCoder::LumaSquaredError(int mb, const uint8_t* recon, int stride) const {
    const uint8_t* src = SourceLuma(mb);
    uint64_t sum = 0;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            const int d = src[y * m_source.width + x] - recon[y * stride + x];
            sum += static_cast<uint64_t>(d * d);
        }
    }
    return sum;
}

uint32_t MacroblockCoder::LumaResidualBits(int mb, const Levels& levels, bool intra16) {
    Levels lumaOnly = levels;
    lumaOnly.cbpChroma = 0;
    MbState state = m_current;
    RecordCounts(lumaOnly, intra16, state);
    m_scratchBits.clear();
    BitWriter writer(m_scratchBits);
    WriteResidual(writer, lumaOnly, intra16, m_grid, mb, state, m_limit.on);
    return static_cast<uint32_t>(m_scratchBits.size() * 8 + static_cast<size_t>(writer.PendingCount()));
}

// Intra 16x16 against the Intra 4x4 analysis just made (its reconstruction is in the picture):
// each is coded for real and weighed by squared error plus lambda times the bits of its luma
// syntax (chroma is the same either way). SATD alone misjudges Intra 16x16, whose DC levels go
// through a second transform: a macroblock made of a few flat areas costs it a few levels.
bool MacroblockCoder::Intra4BeatsIntra16(int mb, int mode16, int qp) {
    const double lambda = kSsdLambdaScale * std::exp2((qp - 12) / 3.0);
    LevelLimit trialLimit{m_limit.on, 0};
    Levels& trial = *m_levels;
    uint8_t recon16[256];
    const bool anyAc = CodeIntra16Luma(mb, mode16, qp, trialLimit, trial, recon16, 16);
    const uint32_t typeBits16 = UeBits(1 + static_cast<uint32_t>(mode16) + (anyAc ? 12u : 0u));
    const double cost16 = static_cast<double>(LumaSquaredError(mb, recon16, 16)) +
                          lambda * (typeBits16 + LumaResidualBits(mb, trial, true));

    const Levels& levels4 = *m_intra4Levels;
    uint32_t modeBits4 = UeBits(kMbTypeI4x4) + UeBits(CbpCode(levels4.cbpLuma, true));
    for (int blkIdx = 0; blkIdx < 16; ++blkIdx) {
        const int bx = kBlockX[blkIdx];
        const int by = kBlockY[blkIdx];
        modeBits4 += m_current.intra4x4Modes[by * 4 + bx] == PredictedIntra4Mode(mb, bx, by) ? 1 : 4;
    }
    const double cost4 = static_cast<double>(LumaSquaredError(mb, ReconLuma(mb), m_recon.width)) +
                         lambda * (modeBits4 + LumaResidualBits(mb, levels4, false));
    return cost4 < cost16;
}

int MacroblockCoder::AnalyseIntra4(int mb, int qp, int lambda) {
    Levels& levels = *m_intra4Levels;
    const uint8_t* src = SourceLuma(mb);
    uint8_t* out = ReconLuma(mb);
    LevelLimit& limit = m_limit;
    levels.cbpLuma = 0;
    int total = lambda * 6;
    for (int blkIdx = 0; blkIdx < 16; ++blkIdx) {
        const int bx = kBlockX[blkIdx];
        const int by = kBlockY[blkIdx];
        const Neighbours n = BlockNeighbours(mb, blkIdx);
        const int predictedMode = PredictedIntra4Mode(mb, bx, by);
        uint8_t* at = out + by * 4 * m_recon.width + bx * 4;
        const uint8_t* from = src + by * 4 * m_source.width + bx * 4;
        uint8_t pred[16];
        uint8_t bestPred[16] = {};
        int bestCost = INT_MAX;
        int bestMode = kI4Dc;
        for (int mode = 0; mode < 9; ++mode) {
            if (!Intra4x4ModeUsable(mode, n)) {
                continue;
            }
            PredictIntra4x4(mode, at, m_recon.width, n, pred);
            int diff[16];
            Difference(from, m_source.width, pred, 4, diff);
            const int cost = Satd4x4(diff) + lambda * (mode == predictedMode ? 1 : 4);
            if (cost < bestCost) {
                bestCost = cost;
                bestMode = mode;
                std::memcpy(bestPred, pred, 16);
            }
        }
        total += bestCost;
        m_current.intra4x4Modes[by * 4 + bx] = static_cast<uint8_t>(bestMode);
        int diff[16];
        int coeff[16];
        Difference(from, m_source.width, bestPred, 4, diff);
        ForwardTransform4x4(diff, coeff);
        int* blockLevels = levels.luma[by * 4 + bx];
        if (QuantizeToScan(coeff, qp, true, 0, limit, blockLevels) != 0) {
            levels.cbpLuma |= 1 << (blkIdx / 4);
        }
        int residual[16];
        ReconstructResidual(blockLevels, qp, 0, 0, residual);
        AddResidual(bestPred, 4, residual, at, m_recon.width);
    }
    return total;
}

void MacroblockCoder::WriteIntra4(int mb, uint8_t chromaMode, int qp, bool pSlice, int& lastQp, uint32_t& skipRun,
                                  BitWriter& writer) {
    Levels& levels = *m_intra4Levels;
    levels.cbpChroma = CodeChroma(m_source, m_recon, mb, m_grid.MbWidth(), m_predU, m_predV, qp, true, m_limit,
                                  levels.chromaDc, levels.chromaAc);
    WriteSkipRun(writer, pSlice, skipRun);
    writer.Ue((pSlice ? kPIntraMbTypeOffset : 0) + kMbTypeI4x4);
    for (int blkIdx = 0; blkIdx < 16; ++blkIdx) {
        const int bx = kBlockX[blkIdx];
        const int by = kBlockY[blkIdx];
        const int predicted = PredictedIntra4Mode(mb, bx, by);
        const int mode = m_current.intra4x4Modes[by * 4 + bx];
        writer.Flag(mode == predicted);
        if (mode != predicted) {
            writer.Bits(static_cast<uint32_t>(mode < predicted ? mode : mode - 1), 3);
        }
    }
    writer.Ue(chromaMode);
    const int cbp = levels.cbpLuma | levels.cbpChroma << 4;
    writer.Ue(CbpCode(cbp, true));
    m_current.qp = static_cast<uint8_t>(lastQp);
    if (cbp != 0) {
        WriteQpDelta(writer, qp, lastQp);
        m_current.qp = static_cast<uint8_t>(qp);
    }
    m_current.kind = MbKind::kIntra4x4;
    RecordCounts(levels, false, m_current);
    WriteResidual(writer, levels, false, m_grid, mb, m_current, m_limit.on);
    FinishMacroblock(mb, false, levels, MbKind::kIntra4x4);
}

}  // namespace qzt::h264
