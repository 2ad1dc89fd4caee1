// Inter prediction of H.264 (clause 8.4.2.2): luma at quarter-sample positions with the 6-tap
// filter, chroma at eighth-sample positions with the bilinear filter, both with the picture's
// edge samples repeated outside it. A reference picture's three half-sample planes are computed
// once, so that motion search and prediction read them instead of filtering each block again.
// Ownership: RefPicture owns its planes; Predict* write caller arrays.
// Thread rules: a built RefPicture is read-only and safe from any thread.
#pragma once

#include "picture.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qzt::h264 {

// A plane with a margin of repeated edge samples on every side, so that blocks near or beyond the
// picture edge read plain memory. At(0, 0) is the first sample of the picture.
class PaddedPlane {
public:
    void Reset(int width, int height, int margin);
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    int Margin() const { return m_margin; }
    int Stride() const { return m_stride; }
    const uint8_t* At(int x, int y) const { return m_samples.data() + Offset(x, y); }
    uint8_t* At(int x, int y) { return m_samples.data() + Offset(x, y); }

    // Repeats the edge samples next to the rectangle [x0, x1) x [y0, y1) of the picture into the
    // margins, after that rectangle was written.
    void ExtendEdges(int x0, int y0, int x1, int y1);

private:
    ptrdiff_t Offset(int x, int y) const { return static_cast<ptrdiff_t>(y + m_margin) * m_stride + (x + m_margin); }

    std::vector<uint8_t> m_samples;
    int m_width = 0;
    int m_height = 0;
    int m_margin = 0;
    int m_stride = 0;
};

class RefPicture {
public:
    // Copies the (decoded, deblocked) picture and computes its half-sample planes. The picture
    // covers whole macroblocks; its size is the decoder's picture size. Building the same object
    // again with a picture of the same size recomputes only around the 16x16 luma blocks whose
    // samples changed, which makes a mostly static screen cheap.
    void Build(const Picture& decoded);

    const Picture& Full() const { return m_full; }
    int Width() const { return m_full.width; }
    int Height() const { return m_full.height; }

    // Luma prediction of a w x h block (w, h in 4..16) whose top-left sample is at (x, y) in the
    // current picture, displaced by the motion vector (mvx, mvy) in quarter samples: exactly the
    // samples the decoder forms (clause 8.4.2.2.1), written to out with `outStride`.
    void PredictLuma(int x, int y, int mvx, int mvy, int w, int h, uint8_t* out, int outStride) const;

    // Chroma prediction of both chroma planes for a block whose top-left chroma sample is at
    // (cx, cy), w x h chroma samples, for the luma vector (mvx, mvy) (clause 8.4.2.2.2, 4:2:0:
    // eighth-sample chroma units equal the luma quarter-sample vector).
    void PredictChroma(int cx, int cy, int mvx, int mvy, int w, int h, uint8_t* outU, uint8_t* outV,
                       int outStride) const;

    // Where the luma prediction of a block of at most 16x16 at (x, y) displaced by (mvx, mvy)
    // lies: sample (i, j) of the prediction is first[j * stride + i] when second is null, else
    // the rounded mean (first[...] + second[...] + 1) >> 1. Lets motion search measure a
    // prediction without writing it.
    struct LumaSource {
        const uint8_t* first = nullptr;
        const uint8_t* second = nullptr;
        int stride = 0;
    };
    LumaSource LumaSourceAt(int x, int y, int mvx, int mvy) const;

    // Luma reduced 4x each way for coarse motion search, blurred enough to compare blocks whatever
    // their phase on the reduced grid. With m(X, Y) the rounded mean (a + b + c + d + 2) >> 2 of
    // the 2x2 luma samples at (2X, 2Y) (edge values repeated outside the picture), sample (X, Y) is
    // (sum of w(i) w(j) m(2X - 1 + i, 2Y - 1 + j) + 32) >> 6 over i, j in 0..3, w = (1, 3, 3, 1).
    // The margin (8 samples) repeats the edges.
    const PaddedPlane& LumaCoarse() const { return m_coarse; }

private:
    void Allocate(int width, int height);
    void FindChangedBlocks(const Picture& decoded, bool everything);
    void RecomputeAroundChanges(const Picture& decoded);
    void UpdateLumaBlock(const Picture& decoded, int blockX, int blockY);
    void UpdateCoarseBlock(int blockX, int blockY);
    void ComputeHalfSamples(int x0, int y0, int x1, int y1);
    static void UpdateChromaPlane(const std::vector<uint8_t>& from, std::vector<uint8_t>& kept, PaddedPlane& plane,
                                  bool everything);

    Picture m_full;
    // The luma plane and its half-sample planes b (horizontal), h (vertical) and j (centre) at
    // positions (x + 1/2, y), (x, y + 1/2), (x + 1/2, y + 1/2), all with the same margins; the
    // half-sample values in the margins are those of the edge-extended picture.
    PaddedPlane m_luma;
    PaddedPlane m_halfH;
    PaddedPlane m_halfV;
    PaddedPlane m_halfC;
    PaddedPlane m_chromaU;
    PaddedPlane m_chromaV;
    PaddedPlane m_mean2;  // the 2x2 means m(X, Y) that LumaCoarse filters
    PaddedPlane m_coarse;
    std::vector<uint8_t> m_dirtyBlocks;      // per 16x16 luma block: changed by this Build
    std::vector<uint8_t> m_recomputeBlocks;  // per 16x16 luma block: derived samples to recompute
    std::vector<int16_t> m_intermediate;     // unrounded horizontal 6-tap sums for j
};

}  // namespace qzt::h264
