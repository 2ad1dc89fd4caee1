// Motion search for 16x16 partitions, tuned for screen content: most macroblocks are static or
// move with their neighbours, so the given candidates are measured first and a clearly good one
// ends the search. Otherwise a diamond search runs around the best candidate and, unless that
// settles on a fair match, a coarse search covers the whole range: exhaustively on the luma reduced
// 4x each way, then at full samples around its best positions, first on every second row and
// column, then on all samples. Half- and quarter-sample steps around the winners finish it.
// Every step measures vectors in a fixed order and keeps only strict improvements, so equal inputs
// give equal vectors.
#include "motion_search.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>

namespace qzt::h264 {
namespace {

constexpr int kMbSize = 16;
constexpr int kNotMeasured = std::numeric_limits<int>::max();
// Vector limits of H.264 levels 3.1 and above, in quarter samples.
constexpr int kMinMvX = -2048;
constexpr int kMaxMvX = 2047;
constexpr int kMinMvY = -512;
constexpr int kMaxMvY = 511;
constexpr int kQuarterPerFull = 4;
constexpr int kQuarterPerCoarse = 16;
constexpr int kFullPerCoarse = 4;
constexpr int kMaxCoarseRadius = (kMaxMvX + 1) / kQuarterPerCoarse;

// A prediction this good (per macroblock, plus an allowance that grows with lambda, which grows
// with the quantiser and so with the coding noise in the reference) ends the search early.
constexpr int kClearlyGoodSad = kMbSize * kMbSize;
constexpr int kClearlyGoodSadPerLambda = 64;
// A start vector up to this many times as bad that the diamond search cannot improve ends the
// search as well.
constexpr int kFairSadFactor = 2;
constexpr int kMaxDiamondSteps = 16;
constexpr int kMaxStartVectors = 8;

// The coarse search compares the macroblock's 4x4 coarse samples and a ring of one sample around
// them (the ring makes blocks of little detail distinct), 36 samples for 256 luma samples.
constexpr int kCoarseRing = 1;
constexpr int kCoarseSpan = 4 + 2 * kCoarseRing;
constexpr int kCoarseSadScale = kMbSize * kMbSize / (kCoarseSpan * kCoarseSpan);
constexpr int kCoarseKept = 8;  // best coarse positions refined at full samples
// The coarse grid is 4 samples wide: a motion lies within 2 samples of a coarse position.
constexpr int kSparseRadius = kFullPerCoarse / 2;
constexpr int kSparseSadScale = 4;  // one sample in four is measured
constexpr int kSparseKept = 2;      // best sparse positions measured on all samples
// 2x2 means of the current picture kept around the macroblock (relative to its first one) for
// its coarse samples, each of which reads means 2X - 1 .. 2X + 2.
constexpr int kMean2Origin = -2 * kCoarseRing - 1;
constexpr int kMean2Span = 2 * (4 + 2 * kCoarseRing) + 2;

// Length of the se(v) code of `value` (clause 9.1.1): codeNum 2|v| - 1 for v > 0, 2|v| otherwise,
// coded in 2 * floor(log2(codeNum + 1)) + 1 bits.
int SignedExpGolombBits(int value) {
    const unsigned magnitude = static_cast<unsigned>(std::abs(value));
    const unsigned codeNum = value > 0 ? 2 * magnitude - 1 : 2 * magnitude;
    int floorLog2 = 0;
    for (unsigned n = codeNum + 1; n > 1; n >>= 1) {
        ++floorLog2;
    }
    return 2 * floorLog2 + 1;
}

// The SAD functions stop once the sum passes `limit` and then return the partial sum.

int Sad16(const uint8_t* cur, int curStride, const uint8_t* ref, int refStride, int limit) {
    int sad = 0;
    for (int row = 0; row < kMbSize; ++row) {
        for (int i = 0; i < kMbSize; ++i) {
            sad += std::abs(cur[i] - ref[i]);
        }
        if (sad > limit) {
            break;
        }
        cur += curStride;
        ref += refStride;
    }
    return sad;
}

// Against the rounded mean of two planes (a quarter-sample prediction).
int Sad16Mean(const uint8_t* cur, int curStride, const uint8_t* first, const uint8_t* second, int refStride,
              int limit) {
    int sad = 0;
    for (int row = 0; row < kMbSize; ++row) {
        for (int i = 0; i < kMbSize; ++i) {
            sad += std::abs(cur[i] - ((first[i] + second[i] + 1) >> 1));
        }
        if (sad > limit) {
            break;
        }
        cur += curStride;
        first += refStride;
        second += refStride;
    }
    return sad;
}

// Every second sample of every second row of a macroblock.
int Sad16Sparse(const uint8_t* cur, int curStride, const uint8_t* ref, int refStride, int limit) {
    int sad = 0;
    for (int row = 0; row < kMbSize; row += 2) {
        for (int i = 0; i < kMbSize; i += 2) {
            sad += std::abs(cur[i] - ref[i]);
        }
        if (sad > limit) {
            break;
        }
        cur += 2 * curStride;
        ref += 2 * refStride;
    }
    return sad;
}

int SadCoarse(const uint8_t* cur, const uint8_t* ref, int refStride, int limit) {
    int sad = 0;
    for (int row = 0; row < kCoarseSpan; ++row) {
        for (int i = 0; i < kCoarseSpan; ++i) {
            sad += std::abs(cur[i] - ref[i]);
        }
        if (sad > limit) {
            break;
        }
        cur += kCoarseSpan;
        ref += refStride;
    }
    return sad;
}

// Nearest multiple of `step` (a power of two), ties upwards.
int RoundToStep(int value, int step) {
    return (value + step / 2) & ~(step - 1);
}

// A scored displacement, in the samples of the stage that found it.
struct Hit {
    int score = 0;
    int dx = 0;
    int dy = 0;
};

// The `N` lowest scores offered, lowest first; an equal score keeps the earlier displacement.
template <int N>
class BestHits {
public:
    int Count() const { return m_count; }
    const Hit& operator[](int i) const { return m_hits[i]; }
    bool Contains(int dx, int dy) const {
        return std::any_of(m_hits.begin(), m_hits.begin() + m_count,
                           [&](const Hit& hit) { return hit.dx == dx && hit.dy == dy; });
    }
    // The highest score that can still enter.
    int Admits() const { return m_count == N ? m_hits[N - 1].score - 1 : kNotMeasured; }
    void Offer(const Hit& hit) {
        if (hit.score > Admits()) {
            return;
        }
        int at = m_count == N ? N - 1 : m_count++;
        while (at > 0 && m_hits[at - 1].score > hit.score) {
            m_hits[at] = m_hits[at - 1];
            --at;
        }
        m_hits[at] = hit;
    }

private:
    std::array<Hit, N> m_hits{};
    int m_count = 0;
};

// A vector and its cost.
struct Scored {
    MotionVector mv;
    int cost = kNotMeasured;
};

class MacroblockSearch {
public:
    MacroblockSearch(const Picture& current, const RefPicture& ref, int mbX, int mbY, const MotionVector& predicted,
                     const SearchSettings& settings)
        : m_current(current),
          m_ref(ref),
          m_cur(current.y.data() + static_cast<size_t>(mbY) * kMbSize * current.width + mbX * kMbSize),
          m_curStride(current.width),
          m_mbX(mbX),
          m_mbY(mbY),
          m_predicted(predicted),
          m_settings(settings),
          m_step(!settings.halfPel      ? 4
                 : !settings.quarterPel ? 2
                                        : 1) {
        m_best.cost = kNotMeasured;
        m_best.sad = kNotMeasured;
    }

    SearchResult Run(const MotionVector* candidates, int candidateCount) {
        EvaluateStart(m_predicted);
        EvaluateStart(MotionVector{});
        for (int i = 0; i < candidateCount; ++i) {
            EvaluateStart(candidates[i]);
        }
        if (ClearlyGood()) {
            return m_best;
        }
        const MotionVector startVector = m_best.mv;
        Diamond();
        if (m_best.mv == startVector && m_best.sad <= kFairSadFactor * ClearlyGoodSad()) {
            // A fair match that no neighbour improves: the coding noise of a static reference
            // rather than motion, not worth the coarse search.
            return m_best;
        }
        std::array<Scored, kSparseKept> coarseFinds{};
        if (!ClearlyGood()) {
            const MotionVector beforeCoarse = m_best.mv;
            CoarseSearch(coarseFinds);
            if (m_best.mv != beforeCoarse) {
                Diamond();
            }
        }
        if (m_settings.halfPel) {
            // Near a sub-sample motion of a detailed picture, the nearest full-sample vectors can
            // cost as much as unrelated ones: refine the coarse search's own finds as well.
            const Scored overall{m_best.mv, m_best.cost};
            RefineSubSamples(overall);
            for (const Scored& find : coarseFinds) {
                if (find.cost != kNotMeasured && find.mv != overall.mv) {
                    RefineSubSamples(find);
                }
            }
        }
        return m_best;
    }

private:
    // Coarse displacements [x0, x1] x [y0, y1].
    struct Window {
        int x0 = 0;
        int x1 = -1;
        int y0 = 0;
        int y1 = -1;
        bool Contains(int x, int y) const { return x >= x0 && x <= x1 && y >= y0 && y <= y1; }
    };

    int ClearlyGoodSad() const { return kClearlyGoodSad + kClearlyGoodSadPerLambda * m_settings.lambda; }

    bool ClearlyGood() const { return m_best.sad <= ClearlyGoodSad(); }

    bool InRange(int mvx, int mvy) const {
        return mvx >= kMinMvX && mvx <= kMaxMvX && mvy >= kMinMvY && mvy <= kMaxMvY;
    }

    int BitsCost(int mvx, int mvy) const { return m_settings.lambda * MvdBits({mvx, mvy}, m_predicted); }

    // Measures a start vector, rounded to the allowed precision; repeated vectors are measured once.
    void EvaluateStart(const MotionVector& vector) {
        MotionVector mv;
        mv.x = std::clamp(RoundToStep(vector.x, m_step), kMinMvX, kMaxMvX & ~(m_step - 1));
        mv.y = std::clamp(RoundToStep(vector.y, m_step), kMinMvY, kMaxMvY & ~(m_step - 1));
        const auto end = m_starts.begin() + m_startCount;
        if (std::find(m_starts.begin(), end, mv) != end) {
            return;
        }
        if (m_startCount < kMaxStartVectors) {
            m_starts[m_startCount++] = mv;
        }
        Evaluate(mv, m_best.cost);
    }

    // Full-sample steps from the best vector to the best of its four neighbours while one is better.
    void Diamond() {
        for (int i = 0; i < kMaxDiamondSteps; ++i) {
            const MotionVector centre = m_best.mv;
            Evaluate({centre.x - kQuarterPerFull, centre.y}, m_best.cost);
            Evaluate({centre.x + kQuarterPerFull, centre.y}, m_best.cost);
            Evaluate({centre.x, centre.y - kQuarterPerFull}, m_best.cost);
            Evaluate({centre.x, centre.y + kQuarterPerFull}, m_best.cost);
            if (m_best.mv == centre) {
                return;
            }
        }
    }

    // Half-sample, then quarter-sample steps around `seed` (as the settings allow).
    void RefineSubSamples(const Scored& seed) {
        const Scored half = BestAround(seed, 2);
        if (m_settings.quarterPel) {
            BestAround(half, 1);
        }
    }

    // The best of `local` and its eight neighbours at `stepSize` quarter samples.
    Scored BestAround(Scored local, int stepSize) {
        const MotionVector centre = local.mv;
        for (int dy = -stepSize; dy <= stepSize; dy += stepSize) {
            for (int dx = -stepSize; dx <= stepSize; dx += stepSize) {
                if (dx == 0 && dy == 0) {
                    continue;
                }
                const MotionVector mv{centre.x + dx, centre.y + dy};
                const int cost = Evaluate(mv, local.cost);
                if (cost < local.cost) {
                    local = {mv, cost};
                }
            }
        }
        return local;
    }

    // Exhaustive search of the coarse picture around the zero vector and around the best vector
    // so far. The full-sample vectors near its best positions are measured on a quarter of the
    // samples; the nine vectors around each of the best of those on all samples. `finds`
    // receives the best of each nine.
    void CoarseSearch(std::array<Scored, kSparseKept>& finds) {
        ReduceCurrent();
        const int radius =
            std::clamp((m_settings.rangeFullPel + kFullPerCoarse - 1) / kFullPerCoarse, 1, kMaxCoarseRadius);
        const Window aroundZero = CoarseWindow(0, 0, radius);
        const int bestX = RoundToStep(m_best.mv.x, kQuarterPerCoarse) / kQuarterPerCoarse;
        const int bestY = RoundToStep(m_best.mv.y, kQuarterPerCoarse) / kQuarterPerCoarse;
        BestHits<kCoarseKept> coarse;
        ScanCoarse(aroundZero, nullptr, coarse);
        if (bestX != 0 || bestY != 0) {
            ScanCoarse(CoarseWindow(bestX, bestY, radius), &aroundZero, coarse);
        }

        BestHits<kSparseKept> sparse;
        for (int i = 0; i < coarse.Count(); ++i) {
            ScanSparse(coarse[i].dx * kFullPerCoarse, coarse[i].dy * kFullPerCoarse, sparse);
        }
        for (int i = 0; i < sparse.Count(); ++i) {
            const int x = sparse[i].dx * kQuarterPerFull;
            const int y = sparse[i].dy * kQuarterPerFull;
            for (int dy = -kQuarterPerFull; dy <= kQuarterPerFull; dy += kQuarterPerFull) {
                for (int dx = -kQuarterPerFull; dx <= kQuarterPerFull; dx += kQuarterPerFull) {
                    const MotionVector mv{x + dx, y + dy};
                    const int cost = Evaluate(mv, finds[i].cost);
                    if (cost < finds[i].cost) {
                        finds[i] = {mv, cost};
                    }
                }
            }
        }
    }

    // The coarse samples of the macroblock and its ring, computed like RefPicture::LumaCoarse from
    // the current picture's 2x2 means (edge values repeated outside the picture).
    void ReduceCurrent() {
        std::array<uint8_t, kMean2Span * kMean2Span> means{};
        const int width2 = m_current.width / 2;
        const int height2 = m_current.height / 2;
        const int stride = m_current.width;
        for (int j = 0; j < kMean2Span; ++j) {
            const int y = std::clamp(m_mbY * 8 + kMean2Origin + j, 0, height2 - 1);
            const uint8_t* top = m_current.y.data() + static_cast<size_t>(2 * y) * stride;
            const uint8_t* bottom = top + stride;
            for (int i = 0; i < kMean2Span; ++i) {
                const int x = 2 * std::clamp(m_mbX * 8 + kMean2Origin + i, 0, width2 - 1);
                means[j * kMean2Span + i] =
                    static_cast<uint8_t>((top[x] + top[x + 1] + bottom[x] + bottom[x + 1] + 2) >> 2);
            }
        }
        constexpr int kWeights[4] = {1, 3, 3, 1};
        for (int y = 0; y < kCoarseSpan; ++y) {
            for (int x = 0; x < kCoarseSpan; ++x) {
                // Coarse sample X = x - ring reads means 2X - 1 .. 2X + 2, stored from kMean2Origin.
                const int first = 2 * x - kCoarseRing * 2 - 1 - kMean2Origin;
                const int top = 2 * y - kCoarseRing * 2 - 1 - kMean2Origin;
                int sum = 0;
                for (int j = 0; j < 4; ++j) {
                    const uint8_t* row = &means[(top + j) * kMean2Span + first];
                    sum += kWeights[j] * (row[0] + 3 * (row[1] + row[2]) + row[3]);
                }
                m_curCoarse[y * kCoarseSpan + x] = static_cast<uint8_t>((sum + 32) >> 6);
            }
        }
    }

    // The window of `radius` around (cx, cy), cut to the vector limits and to the positions where
    // the block still touches the margin next to the picture (further out, all looks the same).
    Window CoarseWindow(int cx, int cy, int radius) const {
        const PaddedPlane& plane = m_ref.LumaCoarse();
        const int blockX = m_mbX * 4;
        const int blockY = m_mbY * 4;
        Window window;
        window.x0 = std::max({cx - radius, kMinMvX / kQuarterPerCoarse, -4 - blockX});
        window.x1 = std::min({cx + radius, kMaxMvX / kQuarterPerCoarse, plane.Width() - blockX});
        window.y0 = std::max({cy - radius, kMinMvY / kQuarterPerCoarse, -4 - blockY});
        window.y1 = std::min({cy + radius, kMaxMvY / kQuarterPerCoarse, plane.Height() - blockY});
        return window;
    }

    void ScanCoarse(const Window& window, const Window* skip, BestHits<kCoarseKept>& hits) const {
        const PaddedPlane& plane = m_ref.LumaCoarse();
        // The vector cost splits into a column part and a row part.
        std::array<int, 2 * kMaxCoarseRadius + 1> columnCost{};
        for (int dx = window.x0; dx <= window.x1; ++dx) {
            const int bits = SignedExpGolombBits(dx * kQuarterPerCoarse - m_predicted.x);
            columnCost[dx - window.x0] = m_settings.lambda * bits;
        }
        for (int dy = window.y0; dy <= window.y1; ++dy) {
            const int rowCost = m_settings.lambda * SignedExpGolombBits(dy * kQuarterPerCoarse - m_predicted.y);
            const uint8_t* ref = plane.At(m_mbX * 4 + window.x0 - kCoarseRing, m_mbY * 4 + dy - kCoarseRing);
            for (int dx = window.x0; dx <= window.x1; ++dx, ++ref) {
                if (skip != nullptr && skip->Contains(dx, dy)) {
                    continue;
                }
                const int bitsCost = rowCost + columnCost[dx - window.x0];
                const int admitted = hits.Admits() - bitsCost;
                if (admitted < 0) {
                    continue;
                }
                const int sadLimit = admitted / kCoarseSadScale;
                const int sad = SadCoarse(m_curCoarse.data(), ref, plane.Stride(), sadLimit);
                if (sad <= sadLimit) {
                    hits.Offer({kCoarseSadScale * sad + bitsCost, dx, dy});
                }
            }
        }
    }

    // Full-sample displacements within kSparseRadius of (cx, cy), measured on a quarter of the
    // samples: at exact positions, unlike the coarse grid, which thin lines such as text need.
    void ScanSparse(int cx, int cy, BestHits<kSparseKept>& hits) const {
        for (int dy = cy - kSparseRadius; dy <= cy + kSparseRadius; ++dy) {
            for (int dx = cx - kSparseRadius; dx <= cx + kSparseRadius; ++dx) {
                const int mvx = dx * kQuarterPerFull;
                const int mvy = dy * kQuarterPerFull;
                if (!InRange(mvx, mvy) || hits.Contains(dx, dy)) {
                    continue;
                }
                const int bitsCost = BitsCost(mvx, mvy);
                const int admitted = hits.Admits() - bitsCost;
                if (admitted < 0) {
                    continue;
                }
                const int sadLimit = admitted / kSparseSadScale;
                const RefPicture::LumaSource source = m_ref.LumaSourceAt(m_mbX * kMbSize, m_mbY * kMbSize, mvx, mvy);
                const int sad = Sad16Sparse(m_cur, m_curStride, source.first, source.stride, sadLimit);
                if (sad <= sadLimit) {
                    hits.Offer({kSparseSadScale * sad + bitsCost, dx, dy});
                }
            }
        }
    }

    // Measures `mv` unless it is outside the limits (then kNotMeasured). Returns its cost, or, once
    // the cost is known to pass `limit`, some value above `limit`. Keeps the best vector.
    int Evaluate(const MotionVector& mv, int limit) {
        if (!InRange(mv.x, mv.y)) {
            return kNotMeasured;
        }
        const int bitsCost = BitsCost(mv.x, mv.y);
        if (bitsCost > limit) {
            return bitsCost;
        }
        const RefPicture::LumaSource source = m_ref.LumaSourceAt(m_mbX * kMbSize, m_mbY * kMbSize, mv.x, mv.y);
        const int sadLimit = limit - bitsCost;
        const int sad = source.second == nullptr
                            ? Sad16(m_cur, m_curStride, source.first, source.stride, sadLimit)
                            : Sad16Mean(m_cur, m_curStride, source.first, source.second, source.stride, sadLimit);
        const int cost = sad + bitsCost;
        if (cost < m_best.cost) {
            m_best.mv = mv;
            m_best.sad = sad;
            m_best.cost = cost;
        }
        return cost;
    }

    const Picture& m_current;
    const RefPicture& m_ref;
    const uint8_t* m_cur;
    const int m_curStride;
    const int m_mbX;
    const int m_mbY;
    const MotionVector m_predicted;
    const SearchSettings m_settings;
    const int m_step;  // quarter samples between allowed vectors: 1, 2 or 4
    SearchResult m_best;
    std::array<MotionVector, kMaxStartVectors> m_starts{};
    int m_startCount = 0;
    std::array<uint8_t, kCoarseSpan * kCoarseSpan> m_curCoarse{};
};

}  // namespace

int MvdBits(const MotionVector& mv, const MotionVector& predicted) {
    return SignedExpGolombBits(mv.x - predicted.x) + SignedExpGolombBits(mv.y - predicted.y);
}

SearchResult SearchMacroblock(const Picture& current, const RefPicture& ref, int mbX, int mbY,
                              const MotionVector& predicted, const MotionVector* candidates, int candidateCount,
                              const SearchSettings& settings) {
    return MacroblockSearch(current, ref, mbX, mbY, predicted, settings).Run(candidates, candidateCount);
}

int PredictionSad(const Picture& current, const RefPicture& ref, int mbX, int mbY, const MotionVector& mv) {
    const RefPicture::LumaSource source = ref.LumaSourceAt(mbX * kMbSize, mbY * kMbSize, mv.x, mv.y);
    const uint8_t* cur = current.y.data() + static_cast<size_t>(mbY) * kMbSize * current.width + mbX * kMbSize;
    return source.second == nullptr
               ? Sad16(cur, current.width, source.first, source.stride, kNotMeasured)
               : Sad16Mean(cur, current.width, source.first, source.second, source.stride, kNotMeasured);
}

}  // namespace qzt::h264
