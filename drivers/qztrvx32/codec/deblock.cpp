// The H.264 in-loop deblocking filter (clause 8.7) for progressive 4:2:0 8-bit frames with 4x4
// transforms only, one FilterOffsetA / FilterOffsetB pair and chroma_qp_index_offset 0.
//
// Order (clause 8.7): macroblocks in raster order; in each, the luma vertical edges left to right
// (the macroblock's left edge first), then the luma horizontal edges top to bottom, then the same
// for each chroma plane. Every edge reads the samples as the edges before it left them, so a
// macroblock's top and left edges see the samples its neighbours' filtering already changed.
//
// Edges: luma has an edge every 4 samples (0, 4, 8, 12). A 4:2:0 chroma macroblock is 8x8 and is
// coded in 4x4 transform blocks, so its edges lie at chroma samples 0 and 4 only; they coincide
// with luma edges 0 and 8, and chroma sample k along a chroma edge takes the bS of luma sample
// 2k along that luma edge (the standard maps chroma location (x, y) to luma (SubWidthC * x,
// SubHeightC * y)), which lies in luma 4x4 segment k / 2. Edges on the picture's left and top
// border are not filtered.
#include "deblock.h"

#include "h264_tables.h"

#include <cstdlib>

namespace qzt::h264 {
namespace {

constexpr int kBlocksPerMbSide = 4;  // 4x4 luma blocks along a macroblock side
constexpr int kLumaMbSize = 16;
constexpr int kChromaMbSize = 8;
constexpr int kLinesPerSegment = 4;  // luma lines that share one bS value
constexpr int kMaxIndex = 51;
constexpr int kMvDifferenceForBs1 = 4;  // quarter luma samples (frame macroblocks)

// bS of the four luma edges of one direction: strength[edge][segment]. Edge 0 is the macroblock
// edge (left or top), edges 1..3 lie 4, 8, 12 samples in. Segment s covers lines 4s..4s+3 along
// the edge (4x4 block row s for vertical edges, block column s for horizontal ones).
struct DirectionStrengths {
    uint8_t strength[kBlocksPerMbSide][kBlocksPerMbSide] = {};
};

struct MbStrengths {
    DirectionStrengths vertical;
    DirectionStrengths horizontal;
};

// alpha, beta and the tC0 row of one edge (clause 8.7.2.2, Tables 8-16 and 8-17).
struct EdgeThresholds {
    int alpha = 0;
    int beta = 0;
    const uint8_t* tc0ByBs = nullptr;  // tc0ByBs[bS - 1] for bS 1..3
};

int ClampIndex(int value) {
    return value < 0 ? 0 : (value > kMaxIndex ? kMaxIndex : value);
}

int Clip3(int low, int high, int value) {
    return value < low ? low : (value > high ? high : value);
}

uint8_t Clip1(int value) {
    return static_cast<uint8_t>(Clip3(0, 255, value));
}

int AverageQp(int qpP, int qpQ) {
    return (qpP + qpQ + 1) >> 1;
}

int ChromaQp(int lumaQp) {
    return kChromaQp[ClampIndex(lumaQp)];  // qPI = Clip3(0, 51, QPY + chroma_qp_index_offset 0)
}

EdgeThresholds ThresholdsFor(int qpAverage, FilterOffsets offsets) {
    const int indexA = ClampIndex(qpAverage + offsets.alpha);
    const int indexB = ClampIndex(qpAverage + offsets.beta);
    EdgeThresholds thresholds;
    thresholds.alpha = kAlpha[indexA];
    thresholds.beta = kBeta[indexB];
    thresholds.tc0ByBs = kTc0[indexA];
    return thresholds;
}

// ---- Boundary strength (clause 8.7.2.1, frame macroblocks, one reference picture) ----

bool HasCoefficients(const MbFilterInfo& mb, int block) {
    return ((mb.nonZero >> block) & 1) != 0;
}

bool MotionDiffers(const MbFilterInfo& p, int pBlock, const MbFilterInfo& q, int qBlock) {
    return std::abs(p.mvx[pBlock] - q.mvx[qBlock]) >= kMvDifferenceForBs1 ||
           std::abs(p.mvy[pBlock] - q.mvy[qBlock]) >= kMvDifferenceForBs1;
}

// bS across the edge between luma 4x4 block `pBlock` of `p` and `qBlock` of `q` (raster indices
// inside their macroblocks). Both use reference index 0 of the same picture, so only the motion
// vectors themselves can tell inter blocks apart.
uint8_t BoundaryStrength(const MbFilterInfo& p, int pBlock, const MbFilterInfo& q, int qBlock, bool mbEdge) {
    if (p.intra || q.intra) {
        return mbEdge ? 4 : 3;
    }
    if (HasCoefficients(p, pBlock) || HasCoefficients(q, qBlock)) {
        return 2;
    }
    return MotionDiffers(p, pBlock, q, qBlock) ? 1 : 0;
}

int BlockIndex(int column, int row) {
    return row * kBlocksPerMbSide + column;
}

// `left` / `top` are null on the picture border; their edge keeps bS 0 and is never filtered.
MbStrengths StrengthsOf(const MbFilterInfo& current, const MbFilterInfo* left, const MbFilterInfo* top) {
    MbStrengths s;
    for (int edge = 0; edge < kBlocksPerMbSide; ++edge) {
        for (int segment = 0; segment < kBlocksPerMbSide; ++segment) {
            // Vertical edge `edge`, 4x4 block row `segment`: p is the block to the left of q.
            const int qVertical = BlockIndex(edge, segment);
            if (edge > 0) {
                s.vertical.strength[edge][segment] =
                    BoundaryStrength(current, BlockIndex(edge - 1, segment), current, qVertical, false);
            } else if (left != nullptr) {
                s.vertical.strength[edge][segment] =
                    BoundaryStrength(*left, BlockIndex(kBlocksPerMbSide - 1, segment), current, qVertical, true);
            }
            // Horizontal edge `edge`, 4x4 block column `segment`: p is the block above q.
            const int qHorizontal = BlockIndex(segment, edge);
            if (edge > 0) {
                s.horizontal.strength[edge][segment] =
                    BoundaryStrength(current, BlockIndex(segment, edge - 1), current, qHorizontal, false);
            } else if (top != nullptr) {
                s.horizontal.strength[edge][segment] =
                    BoundaryStrength(*top, BlockIndex(segment, kBlocksPerMbSide - 1), current, qHorizontal, true);
            }
        }
    }
    return s;
}

bool AllZero(const uint8_t (&segments)[kBlocksPerMbSide]) {
    return (segments[0] | segments[1] | segments[2] | segments[3]) == 0;
}

// ---- Filtering of one line of samples across an edge (clauses 8.7.2.2 to 8.7.2.4) ----
// `q0` points at sample q0; `across` is the distance from p0 to q0 (1 for a vertical edge, the
// plane stride for a horizontal one), so p_i = q0[-(i + 1) * across] and q_i = q0[i * across].

// The decision of clause 8.7.2.2: filterSamplesFlag apart from bS != 0, which callers check.
bool EdgeIsSmoothEnough(int p1, int p0, int q0, int q1, const EdgeThresholds& t) {
    return std::abs(p0 - q0) < t.alpha && std::abs(p1 - p0) < t.beta && std::abs(q1 - q0) < t.beta;
}

// bS 1..3, luma (clause 8.7.2.3): p0/q0 move by delta, p1/q1 follow where the side is smooth.
void FilterLumaLineNormal(uint8_t* q0Ptr, int across, int bs, const EdgeThresholds& t) {
    const int p2 = q0Ptr[-3 * across];
    const int p1 = q0Ptr[-2 * across];
    const int p0 = q0Ptr[-across];
    const int q0 = q0Ptr[0];
    const int q1 = q0Ptr[across];
    const int q2 = q0Ptr[2 * across];
    if (!EdgeIsSmoothEnough(p1, p0, q0, q1, t)) {
        return;
    }
    const int tc0 = t.tc0ByBs[bs - 1];
    const bool pSideSmooth = std::abs(p2 - p0) < t.beta;  // ap < beta
    const bool qSideSmooth = std::abs(q2 - q0) < t.beta;  // aq < beta
    const int tc = tc0 + (pSideSmooth ? 1 : 0) + (qSideSmooth ? 1 : 0);
    const int delta = Clip3(-tc, tc, (((q0 - p0) * 4) + (p1 - q1) + 4) >> 3);
    q0Ptr[-across] = Clip1(p0 + delta);
    q0Ptr[0] = Clip1(q0 - delta);
    const int halfP0Q0 = (p0 + q0 + 1) >> 1;
    if (pSideSmooth) {
        q0Ptr[-2 * across] = static_cast<uint8_t>(p1 + Clip3(-tc0, tc0, (p2 + halfP0Q0 - (p1 * 2)) >> 1));
    }
    if (qSideSmooth) {
        q0Ptr[across] = static_cast<uint8_t>(q1 + Clip3(-tc0, tc0, (q2 + halfP0Q0 - (q1 * 2)) >> 1));
    }
}

// bS 4, luma (clause 8.7.2.4): each side gets the 3-sample strong filter when it is smooth and
// the step across the edge is small, else only its p0 / q0 is smoothed.
void FilterLumaLineStrong(uint8_t* q0Ptr, int across, const EdgeThresholds& t) {
    const int p3 = q0Ptr[-4 * across];
    const int p2 = q0Ptr[-3 * across];
    const int p1 = q0Ptr[-2 * across];
    const int p0 = q0Ptr[-across];
    const int q0 = q0Ptr[0];
    const int q1 = q0Ptr[across];
    const int q2 = q0Ptr[2 * across];
    const int q3 = q0Ptr[3 * across];
    if (!EdgeIsSmoothEnough(p1, p0, q0, q1, t)) {
        return;
    }
    const bool smallStep = std::abs(p0 - q0) < ((t.alpha >> 2) + 2);
    if (smallStep && std::abs(p2 - p0) < t.beta) {
        q0Ptr[-across] = static_cast<uint8_t>((p2 + 2 * p1 + 2 * p0 + 2 * q0 + q1 + 4) >> 3);
        q0Ptr[-2 * across] = static_cast<uint8_t>((p2 + p1 + p0 + q0 + 2) >> 2);
        q0Ptr[-3 * across] = static_cast<uint8_t>((2 * p3 + 3 * p2 + p1 + p0 + q0 + 4) >> 3);
    } else {
        q0Ptr[-across] = static_cast<uint8_t>((2 * p1 + p0 + q1 + 2) >> 2);
    }
    if (smallStep && std::abs(q2 - q0) < t.beta) {
        q0Ptr[0] = static_cast<uint8_t>((p1 + 2 * p0 + 2 * q0 + 2 * q1 + q2 + 4) >> 3);
        q0Ptr[across] = static_cast<uint8_t>((p0 + q0 + q1 + q2 + 2) >> 2);
        q0Ptr[2 * across] = static_cast<uint8_t>((2 * q3 + 3 * q2 + q1 + q0 + p0 + 4) >> 3);
    } else {
        q0Ptr[0] = static_cast<uint8_t>((2 * q1 + q0 + p1 + 2) >> 2);
    }
}

// bS 1..3, chroma (clause 8.7.2.3 with chromaStyleFilteringFlag 1): tC = tC0 + 1, only p0 and
// q0 change.
void FilterChromaLineNormal(uint8_t* q0Ptr, int across, int bs, const EdgeThresholds& t) {
    const int p1 = q0Ptr[-2 * across];
    const int p0 = q0Ptr[-across];
    const int q0 = q0Ptr[0];
    const int q1 = q0Ptr[across];
    if (!EdgeIsSmoothEnough(p1, p0, q0, q1, t)) {
        return;
    }
    const int tc = t.tc0ByBs[bs - 1] + 1;
    const int delta = Clip3(-tc, tc, (((q0 - p0) * 4) + (p1 - q1) + 4) >> 3);
    q0Ptr[-across] = Clip1(p0 + delta);
    q0Ptr[0] = Clip1(q0 - delta);
}

// bS 4, chroma (clause 8.7.2.4 with chromaStyleFilteringFlag 1): the 3-tap filter on p0 and q0.
void FilterChromaLineStrong(uint8_t* q0Ptr, int across, const EdgeThresholds& t) {
    const int p1 = q0Ptr[-2 * across];
    const int p0 = q0Ptr[-across];
    const int q0 = q0Ptr[0];
    const int q1 = q0Ptr[across];
    if (!EdgeIsSmoothEnough(p1, p0, q0, q1, t)) {
        return;
    }
    q0Ptr[-across] = static_cast<uint8_t>((2 * p1 + p0 + q1 + 2) >> 2);
    q0Ptr[0] = static_cast<uint8_t>((2 * q1 + q0 + p1 + 2) >> 2);
}

// ---- Whole edges ----
// `firstQ0` points at q0 of the edge's first line, `along` steps from one line to the next.

// The edge's segments of `linesPerSegment` lines each (4 for luma; 2 for chroma, whose lines 2s and
// 2s + 1 take the bS of luma segment s), filtered with `strong` at bS 4 and `normal` below.
template <int linesPerSegment, void (*strong)(uint8_t*, int, const EdgeThresholds&),
          void (*normal)(uint8_t*, int, int, const EdgeThresholds&)>
void FilterEdge(uint8_t* firstQ0, int across, int along, const uint8_t (&segments)[kBlocksPerMbSide], int qpAverage,
                FilterOffsets offsets) {
    if (AllZero(segments)) {
        return;
    }
    const EdgeThresholds t = ThresholdsFor(qpAverage, offsets);
    if (t.alpha == 0 || t.beta == 0) {
        return;  // below indexA / indexB 16 no sample passes the "< alpha" and "< beta" tests
    }
    for (int segment = 0; segment < kBlocksPerMbSide; ++segment) {
        const int bs = segments[segment];
        if (bs == 0) {
            continue;
        }
        uint8_t* q0Ptr = firstQ0 + segment * linesPerSegment * along;
        for (int line = 0; line < linesPerSegment; ++line, q0Ptr += along) {
            if (bs == 4) {
                strong(q0Ptr, across, t);
            } else {
                normal(q0Ptr, across, bs, t);
            }
        }
    }
}

constexpr auto FilterLumaEdge = FilterEdge<kLinesPerSegment, FilterLumaLineStrong, FilterLumaLineNormal>;
constexpr auto FilterChromaEdge =
    FilterEdge<kChromaMbSize / kBlocksPerMbSide, FilterChromaLineStrong, FilterChromaLineNormal>;

// ---- One macroblock ----

// Where one macroblock sits and what its edges need besides bS.
struct MbContext {
    int mbX = 0;
    int mbY = 0;
    int qp = 0;      // QPY of the macroblock
    int leftQp = 0;  // QPY of the left / top neighbour (unused on the picture border)
    int topQp = 0;
    FilterOffsets offsets;
};

void FilterLumaMb(std::vector<uint8_t>& plane, int stride, const MbContext& mb, const MbStrengths& s) {
    uint8_t* const mbOrigin = plane.data() + (mb.mbY * kLumaMbSize) * stride + mb.mbX * kLumaMbSize;
    for (int edge = 0; edge < kBlocksPerMbSide; ++edge) {
        const int qpAverage = edge == 0 ? AverageQp(mb.leftQp, mb.qp) : mb.qp;
        FilterLumaEdge(mbOrigin + edge * 4, 1, stride, s.vertical.strength[edge], qpAverage, mb.offsets);
    }
    for (int edge = 0; edge < kBlocksPerMbSide; ++edge) {
        const int qpAverage = edge == 0 ? AverageQp(mb.topQp, mb.qp) : mb.qp;
        FilterLumaEdge(mbOrigin + edge * 4 * stride, stride, 1, s.horizontal.strength[edge], qpAverage, mb.offsets);
    }
}

// Chroma edges 0 and 4 take the bS of luma edges 0 and 8 (luma edge index 0 and 2).
void FilterChromaMb(std::vector<uint8_t>& plane, int stride, const MbContext& mb, const MbStrengths& s) {
    uint8_t* const mbOrigin = plane.data() + (mb.mbY * kChromaMbSize) * stride + mb.mbX * kChromaMbSize;
    const int qpc = ChromaQp(mb.qp);
    constexpr int kChromaEdges = 2;
    constexpr int kLumaEdgePerChromaEdge = 2;
    constexpr int kChromaEdgeSpacing = 4;
    for (int edge = 0; edge < kChromaEdges; ++edge) {
        const int qpAverage = edge == 0 ? AverageQp(ChromaQp(mb.leftQp), qpc) : qpc;
        FilterChromaEdge(mbOrigin + edge * kChromaEdgeSpacing, 1, stride,
                         s.vertical.strength[edge * kLumaEdgePerChromaEdge], qpAverage, mb.offsets);
    }
    for (int edge = 0; edge < kChromaEdges; ++edge) {
        const int qpAverage = edge == 0 ? AverageQp(ChromaQp(mb.topQp), qpc) : qpc;
        FilterChromaEdge(mbOrigin + edge * kChromaEdgeSpacing * stride, stride, 1,
                         s.horizontal.strength[edge * kLumaEdgePerChromaEdge], qpAverage, mb.offsets);
    }
}

}  // namespace

void DeblockPicture(Picture& picture, const std::vector<MbFilterInfo>& info, int mbWidth, int mbHeight,
                    FilterOffsets offsets) {
    const size_t mbCount = static_cast<size_t>(mbWidth) * static_cast<size_t>(mbHeight);
    // A picture or table that does not match the macroblock grid would be filtered out of
    // bounds; leave it as it is.
    if (mbWidth <= 0 || mbHeight <= 0 || info.size() < mbCount || picture.width != mbWidth * kLumaMbSize ||
        picture.height != mbHeight * kLumaMbSize || picture.y.size() < mbCount * kLumaMbSize * kLumaMbSize ||
        picture.u.size() < mbCount * kChromaMbSize * kChromaMbSize ||
        picture.v.size() < mbCount * kChromaMbSize * kChromaMbSize) {
        return;
    }
    const int lumaStride = picture.width;
    const int chromaStride = picture.ChromaWidth();
    for (int mbY = 0; mbY < mbHeight; ++mbY) {
        for (int mbX = 0; mbX < mbWidth; ++mbX) {
            const size_t index = static_cast<size_t>(mbY) * mbWidth + mbX;
            const MbFilterInfo& current = info[index];
            const MbFilterInfo* left = mbX > 0 ? &info[index - 1] : nullptr;
            const MbFilterInfo* top = mbY > 0 ? &info[index - mbWidth] : nullptr;
            const MbStrengths strengths = StrengthsOf(current, left, top);

            MbContext mb;
            mb.mbX = mbX;
            mb.mbY = mbY;
            mb.qp = current.qp;
            mb.leftQp = left != nullptr ? left->qp : 0;
            mb.topQp = top != nullptr ? top->qp : 0;
            mb.offsets = offsets;
            FilterLumaMb(picture.y, lumaStride, mb, strengths);
            FilterChromaMb(picture.u, chromaStride, mb, strengths);
            FilterChromaMb(picture.v, chromaStride, mb, strengths);
        }
    }
}

}  // namespace qzt::h264
