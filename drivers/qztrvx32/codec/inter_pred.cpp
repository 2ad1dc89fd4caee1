// Inter prediction of H.264 (clause 8.4.2.2). The reference picture keeps its luma, its three
// half-sample planes and its chroma with margins of edge-extended samples; a block whose vector
// points further out is moved to the margin's edge first, where every plane repeats the same
// samples, so that the prediction stays exactly the one of the edge-extended picture.
#include "inter_pred.h"

#include <algorithm>
#include <cassert>
#include <cstring>

namespace qzt::h264 {
namespace {

constexpr int kBlockSize = 16;  // the unit of change detection: one macroblock's luma
constexpr int kMaxBlockSize = 16;
constexpr int kLumaMargin = 32;
constexpr int kChromaMargin = 16;
constexpr int kMean2Margin = 8;
constexpr int kCoarseMargin = 8;

// Every luma plane has equal columns for all x <= -3 and for all x >= width + 1 (the 6-tap filter
// reaches 2 samples left and 3 right), likewise rows. A block of up to 16 samples,
// reading one more column and row for the quarter-sample means, may therefore start anywhere in
// [-3 - 16, width + 1] and read only samples inside the margin of 32.
constexpr int kLumaLowestStart = -3 - kMaxBlockSize;
constexpr int kLumaStartPastEnd = 1;
// Chroma planes have equal columns for all x <= 0 and for all x >= width - 1, likewise rows; the
// bilinear filter reads one sample more than the block.
constexpr int kChromaLowestStart = -kMaxBlockSize;

uint8_t Clip1(int value) {
    return static_cast<uint8_t>(std::clamp(value, 0, 255));
}

// The 6-tap filter (1, -5, 20, 20, -5, 1) over s0..s5, unrounded.
int SixTap(int s0, int s1, int s2, int s3, int s4, int s5) {
    return s0 + s5 - 5 * (s1 + s4) + 20 * (s2 + s3);
}

// Unrounded horizontal sums for the half-sample positions (x + 1/2) of one padded row, x in
// [x0, x1); reads are clamped to the padded row [lowX, highX], whose outer samples repeat.
void HorizontalSums(const uint8_t* row, int x0, int x1, int lowX, int highX, int16_t* out) {
    auto clampedSum = [&](int x) {
        auto at = [&](int i) { return row[std::clamp(i, lowX, highX)]; };
        return static_cast<int16_t>(SixTap(at(x - 2), at(x - 1), at(x), at(x + 1), at(x + 2), at(x + 3)));
    };
    // Only the few columns whose taps leave the padded row need the clamped reads.
    const int fastBegin = std::clamp(lowX + 2, x0, x1);
    const int fastEnd = std::clamp(highX - 2, fastBegin, x1);
    for (int x = x0; x < fastBegin; ++x) {
        out[x - x0] = clampedSum(x);
    }
    for (int x = fastBegin; x < fastEnd; ++x) {
        out[x - x0] = static_cast<int16_t>(SixTap(row[x - 2], row[x - 1], row[x], row[x + 1], row[x + 2], row[x + 3]));
    }
    for (int x = fastEnd; x < x1; ++x) {
        out[x - x0] = clampedSum(x);
    }
}

// The plane and the offset of each of the one or two samples that clause 8.4.2.2.1 averages for a
// fractional position: G (full), b (halfH), h (halfV), j (halfC) and their neighbours H (full,
// +1 column), M (full, +1 row), m (halfV, +1 column), s (halfH, +1 row).
enum class Source : uint8_t { kNone, kFull, kHalfH, kHalfV, kHalfC };

struct SourceSample {
    Source plane;
    uint8_t dx;
    uint8_t dy;
};

struct FractionSources {
    SourceSample first;
    SourceSample second;
};

constexpr SourceSample kNoSample{Source::kNone, 0, 0};
constexpr SourceSample kG{Source::kFull, 0, 0};
constexpr SourceSample kH{Source::kFull, 1, 0};
constexpr SourceSample kM{Source::kFull, 0, 1};
constexpr SourceSample kB{Source::kHalfH, 0, 0};
constexpr SourceSample kS{Source::kHalfH, 0, 1};
constexpr SourceSample kHalfVertical{Source::kHalfV, 0, 0};
constexpr SourceSample kMRight{Source::kHalfV, 1, 0};
constexpr SourceSample kJ{Source::kHalfC, 0, 0};

// Indexed by xFrac * 4 + yFrac (Table 8-12 of H.264).
constexpr FractionSources kFractionSources[16] = {
    {kG, kNoSample},             // (0, 0) G
    {kG, kHalfVertical},         // (0, 1) d
    {kHalfVertical, kNoSample},  // (0, 2) h
    {kM, kHalfVertical},         // (0, 3) n
    {kG, kB},                    // (1, 0) a
    {kB, kHalfVertical},         // (1, 1) e
    {kHalfVertical, kJ},         // (1, 2) i
    {kHalfVertical, kS},         // (1, 3) p
    {kB, kNoSample},             // (2, 0) b
    {kB, kJ},                    // (2, 1) f
    {kJ, kNoSample},             // (2, 2) j
    {kJ, kS},                    // (2, 3) q
    {kH, kB},                    // (3, 0) c
    {kB, kMRight},               // (3, 1) g
    {kJ, kMRight},               // (3, 2) k
    {kMRight, kS},               // (3, 3) r
};

}  // namespace

void PaddedPlane::Reset(int width, int height, int margin) {
    m_width = width;
    m_height = height;
    m_margin = margin;
    m_stride = width + 2 * margin;
    m_samples.assign(static_cast<size_t>(m_stride) * (height + 2 * margin), 0);
}

void PaddedPlane::ExtendEdges(int x0, int y0, int x1, int y1) {
    for (int y = y0; y < y1; ++y) {
        uint8_t* row = At(0, y);
        if (x0 == 0) {
            std::memset(row - m_margin, row[0], m_margin);
        }
        if (x1 == m_width) {
            std::memset(row + m_width, row[m_width - 1], m_margin);
        }
    }
    const int left = x0 == 0 ? -m_margin : x0;
    const int right = x1 == m_width ? m_width + m_margin : x1;
    for (int m = 1; m <= m_margin; ++m) {
        if (y0 == 0) {
            std::memcpy(At(left, -m), At(left, 0), right - left);
        }
        if (y1 == m_height) {
            std::memcpy(At(left, m_height - 1 + m), At(left, m_height - 1), right - left);
        }
    }
}

void RefPicture::Allocate(int width, int height) {
    m_full.Resize(width, height);
    m_luma.Reset(width, height, kLumaMargin);
    m_halfH.Reset(width, height, kLumaMargin);
    m_halfV.Reset(width, height, kLumaMargin);
    m_halfC.Reset(width, height, kLumaMargin);
    m_chromaU.Reset(width / 2, height / 2, kChromaMargin);
    m_chromaV.Reset(width / 2, height / 2, kChromaMargin);
    m_mean2.Reset(width / 2, height / 2, kMean2Margin);
    m_coarse.Reset(width / 4, height / 4, kCoarseMargin);
    const size_t blocks = static_cast<size_t>(width / kBlockSize) * (height / kBlockSize);
    m_dirtyBlocks.assign(blocks, 0);
    m_recomputeBlocks.assign(blocks, 0);
}

void RefPicture::Build(const Picture& decoded) {
    assert(decoded.width % kBlockSize == 0 && decoded.height % kBlockSize == 0);
    const bool everything = m_full.y.empty() || m_full.width != decoded.width || m_full.height != decoded.height;
    if (everything) {
        Allocate(decoded.width, decoded.height);
    }
    FindChangedBlocks(decoded, everything);
    RecomputeAroundChanges(decoded);
    UpdateChromaPlane(decoded.u, m_full.u, m_chromaU, everything);
    UpdateChromaPlane(decoded.v, m_full.v, m_chromaV, everything);
}

// Marks the 16x16 luma blocks that differ from the kept picture and takes over the rows that
// differ; identical rows cost one memcmp.
void RefPicture::FindChangedBlocks(const Picture& decoded, bool everything) {
    const int width = decoded.width;
    const int blocksX = width / kBlockSize;
    std::fill(m_dirtyBlocks.begin(), m_dirtyBlocks.end(), everything ? 1 : 0);
    for (int y = 0; y < decoded.height; ++y) {
        const uint8_t* newRow = decoded.y.data() + static_cast<size_t>(y) * width;
        uint8_t* keptRow = m_full.y.data() + static_cast<size_t>(y) * width;
        if (!everything && std::memcmp(newRow, keptRow, width) == 0) {
            continue;
        }
        uint8_t* dirtyRow = m_dirtyBlocks.data() + static_cast<size_t>(y / kBlockSize) * blocksX;
        for (int bx = 0; bx < blocksX; ++bx) {
            const int x = bx * kBlockSize;
            if (!dirtyRow[bx] && std::memcmp(newRow + x, keptRow + x, kBlockSize) != 0) {
                dirtyRow[bx] = 1;
            }
        }
        std::memcpy(keptRow, newRow, width);
    }
}

// A changed block changes half samples up to 3 samples around it (and in the margins next to it
// at the picture edge) and coarse samples one beyond it: those are recomputed for the block and
// its 8 neighbours, the half samples in runs of neighbouring blocks.
void RefPicture::RecomputeAroundChanges(const Picture& decoded) {
    const int width = decoded.width;
    const int height = decoded.height;
    const int blocksX = width / kBlockSize;
    const int blocksY = height / kBlockSize;
    std::fill(m_recomputeBlocks.begin(), m_recomputeBlocks.end(), 0);
    for (int by = 0; by < blocksY; ++by) {
        for (int bx = 0; bx < blocksX; ++bx) {
            if (!m_dirtyBlocks[static_cast<size_t>(by) * blocksX + bx]) {
                continue;
            }
            UpdateLumaBlock(decoded, bx, by);
            for (int ny = std::max(by - 1, 0); ny <= std::min(by + 1, blocksY - 1); ++ny) {
                for (int nx = std::max(bx - 1, 0); nx <= std::min(bx + 1, blocksX - 1); ++nx) {
                    m_recomputeBlocks[static_cast<size_t>(ny) * blocksX + nx] = 1;
                }
            }
        }
    }
    for (int by = 0; by < blocksY; ++by) {
        const uint8_t* recomputeRow = m_recomputeBlocks.data() + static_cast<size_t>(by) * blocksX;
        const int y0 = by == 0 ? -kLumaMargin : by * kBlockSize;
        const int y1 = by == blocksY - 1 ? height + kLumaMargin : (by + 1) * kBlockSize;
        for (int bx = 0; bx < blocksX;) {
            if (!recomputeRow[bx]) {
                ++bx;
                continue;
            }
            const int first = bx;
            while (bx < blocksX && recomputeRow[bx]) {
                UpdateCoarseBlock(bx, by);
                ++bx;
            }
            const int x0 = first == 0 ? -kLumaMargin : first * kBlockSize;
            const int x1 = bx == blocksX ? width + kLumaMargin : bx * kBlockSize;
            ComputeHalfSamples(x0, y0, x1, y1);
        }
    }
}

// Takes a changed 16x16 block into the padded luma plane and the 2x2 means.
void RefPicture::UpdateLumaBlock(const Picture& decoded, int blockX, int blockY) {
    const int x0 = blockX * kBlockSize;
    const int y0 = blockY * kBlockSize;
    for (int y = y0; y < y0 + kBlockSize; ++y) {
        std::memcpy(m_luma.At(x0, y), decoded.y.data() + static_cast<size_t>(y) * decoded.width + x0, kBlockSize);
    }
    m_luma.ExtendEdges(x0, y0, x0 + kBlockSize, y0 + kBlockSize);

    const int x2 = x0 / 2;
    const int y2 = y0 / 2;
    constexpr int kSize2 = kBlockSize / 2;
    for (int y = y2; y < y2 + kSize2; ++y) {
        const uint8_t* top = m_luma.At(2 * x2, 2 * y);
        const uint8_t* bottom = top + m_luma.Stride();
        uint8_t* out = m_mean2.At(x2, y);
        for (int i = 0; i < kSize2; ++i) {
            out[i] = static_cast<uint8_t>((top[2 * i] + top[2 * i + 1] + bottom[2 * i] + bottom[2 * i + 1] + 2) >> 2);
        }
    }
    m_mean2.ExtendEdges(x2, y2, x2 + kSize2, y2 + kSize2);
}

// The coarse samples of one block read the 2x2 means one sample beyond the block on each side
// (two below and right), so they are recomputed for the changed blocks' neighbours too.
void RefPicture::UpdateCoarseBlock(int blockX, int blockY) {
    constexpr int kSize = kBlockSize / 4;
    constexpr int kWeights[4] = {1, 3, 3, 1};
    const int x4 = blockX * kSize;
    const int y4 = blockY * kSize;
    for (int y = y4; y < y4 + kSize; ++y) {
        uint8_t* out = m_coarse.At(x4, y);
        for (int x = x4; x < x4 + kSize; ++x) {
            int sum = 0;
            for (int j = 0; j < 4; ++j) {
                const uint8_t* row = m_mean2.At(2 * x - 1, 2 * y - 1 + j);
                sum += kWeights[j] * (row[0] + 3 * (row[1] + row[2]) + row[3]);
            }
            out[x - x4] = static_cast<uint8_t>((sum + 32) >> 6);
        }
    }
    m_coarse.ExtendEdges(x4, y4, x4 + kSize, y4 + kSize);
}

// Computes b, h and j for the padded rectangle [x0, x1) x [y0, y1) from the padded luma plane,
// clamping reads to that plane (whose outer rows and columns repeat the picture's edges).
void RefPicture::ComputeHalfSamples(int x0, int y0, int x1, int y1) {
    const int lowX = -m_luma.Margin();
    const int highX = m_luma.Width() + m_luma.Margin() - 1;
    const int lowY = -m_luma.Margin();
    const int highY = m_luma.Height() + m_luma.Margin() - 1;
    const int width = x1 - x0;
    // Row r of the sums belongs to luma row y0 - 2 + r (clamped): j reaches 2 rows up, 3 down.
    const int sumRows = y1 - y0 + 5;
    m_intermediate.resize(static_cast<size_t>(sumRows) * width);
    for (int r = 0; r < sumRows; ++r) {
        const int sourceY = std::clamp(y0 - 2 + r, lowY, highY);
        int16_t* out = m_intermediate.data() + static_cast<size_t>(r) * width;
        HorizontalSums(m_luma.At(0, sourceY), x0, x1, lowX, highX, out);
    }
    for (int y = y0; y < y1; ++y) {
        const int16_t* sums[6];
        const uint8_t* rows[6];
        for (int k = 0; k < 6; ++k) {
            sums[k] = m_intermediate.data() + static_cast<size_t>(y - y0 + k) * width;
            rows[k] = m_luma.At(x0, std::clamp(y - 2 + k, lowY, highY));
        }
        uint8_t* outB = m_halfH.At(x0, y);
        uint8_t* outH = m_halfV.At(x0, y);
        uint8_t* outJ = m_halfC.At(x0, y);
        for (int i = 0; i < width; ++i) {
            outB[i] = Clip1((sums[2][i] + 16) >> 5);
            outH[i] = Clip1((SixTap(rows[0][i], rows[1][i], rows[2][i], rows[3][i], rows[4][i], rows[5][i]) + 16) >> 5);
            const int j1 = SixTap(sums[0][i], sums[1][i], sums[2][i], sums[3][i], sums[4][i], sums[5][i]);
            outJ[i] = Clip1((j1 + 512) >> 10);
        }
    }
}

// Takes over the rows of a chroma plane that differ from the kept one (all of them for
// `everything`), into the kept picture and the padded plane.
void RefPicture::UpdateChromaPlane(const std::vector<uint8_t>& from, std::vector<uint8_t>& kept, PaddedPlane& plane,
                                   bool everything) {
    const int width = plane.Width();
    for (int y = 0; y < plane.Height(); ++y) {
        const uint8_t* newRow = from.data() + static_cast<size_t>(y) * width;
        uint8_t* keptRow = kept.data() + static_cast<size_t>(y) * width;
        if (!everything && std::memcmp(newRow, keptRow, width) == 0) {
            continue;
        }
        std::memcpy(keptRow, newRow, width);
        std::memcpy(plane.At(0, y), newRow, width);
        plane.ExtendEdges(0, y, width, y + 1);
    }
}

RefPicture::LumaSource RefPicture::LumaSourceAt(int x, int y, int mvx, int mvy) const {
    // The integer part is floor(mv / 4): an arithmetic shift, as in H.264's own equations.
    const int xInt = std::clamp(x + (mvx >> 2), kLumaLowestStart, Width() + kLumaStartPastEnd);
    const int yInt = std::clamp(y + (mvy >> 2), kLumaLowestStart, Height() + kLumaStartPastEnd);
    const FractionSources& sources = kFractionSources[(mvx & 3) * 4 + (mvy & 3)];
    auto locate = [&](const SourceSample& sample) -> const uint8_t* {
        const int sx = xInt + sample.dx;
        const int sy = yInt + sample.dy;
        switch (sample.plane) {
            case Source::kFull:
                return m_luma.At(sx, sy);
            case Source::kHalfH:
                return m_halfH.At(sx, sy);
            case Source::kHalfV:
                return m_halfV.At(sx, sy);
            case Source::kHalfC:
                return m_halfC.At(sx, sy);
            case Source::kNone:
                break;
        }
        return nullptr;
    };
    LumaSource source;
    source.first = locate(sources.first);
    source.second = locate(sources.second);
    source.stride = m_luma.Stride();
    return source;
}

void RefPicture::PredictLuma(int x, int y, int mvx, int mvy, int w, int h, uint8_t* out, int outStride) const {
    assert(w <= kMaxBlockSize && h <= kMaxBlockSize);
    const LumaSource source = LumaSourceAt(x, y, mvx, mvy);
    for (int j = 0; j < h; ++j) {
        const uint8_t* first = source.first + static_cast<ptrdiff_t>(j) * source.stride;
        uint8_t* row = out + static_cast<ptrdiff_t>(j) * outStride;
        if (source.second == nullptr) {
            std::memcpy(row, first, w);
            continue;
        }
        const uint8_t* second = source.second + static_cast<ptrdiff_t>(j) * source.stride;
        for (int i = 0; i < w; ++i) {
            row[i] = static_cast<uint8_t>((first[i] + second[i] + 1) >> 1);
        }
    }
}

void RefPicture::PredictChroma(int cx, int cy, int mvx, int mvy, int w, int h, uint8_t* outU, uint8_t* outV,
                               int outStride) const {
    assert(w <= kMaxBlockSize && h <= kMaxBlockSize);
    const int xInt = std::clamp(cx + (mvx >> 3), kChromaLowestStart, m_chromaU.Width() - 1);
    const int yInt = std::clamp(cy + (mvy >> 3), kChromaLowestStart, m_chromaU.Height() - 1);
    const int xFrac = mvx & 7;
    const int yFrac = mvy & 7;
    const int weightA = (8 - xFrac) * (8 - yFrac);
    const int weightB = xFrac * (8 - yFrac);
    const int weightC = (8 - xFrac) * yFrac;
    const int weightD = xFrac * yFrac;
    auto predict = [&](const PaddedPlane& plane, uint8_t* out) {
        const int stride = plane.Stride();
        for (int j = 0; j < h; ++j) {
            const uint8_t* top = plane.At(xInt, yInt + j);
            const uint8_t* bottom = top + stride;
            uint8_t* row = out + static_cast<ptrdiff_t>(j) * outStride;
            for (int i = 0; i < w; ++i) {
                const int sum = weightA * top[i] + weightB * top[i + 1] + weightC * bottom[i] + weightD * bottom[i + 1];
                row[i] = static_cast<uint8_t>((sum + 32) >> 6);
            }
        }
    };
    predict(m_chromaU, outU);
    predict(m_chromaV, outV);
}

}  // namespace qzt::h264
