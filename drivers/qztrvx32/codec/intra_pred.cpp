// Intra prediction of H.264 (clause 8.3). The neighbouring samples are first copied into small
// arrays, reading the picture only where the block's neighbours are available; the modes then work
// on those copies.
#include "intra_pred.h"

#include <algorithm>

namespace qzt::h264 {
namespace {

// Samples around a block of `size` x `size`: the row above (2 * size long so that a 4x4 block
// sees its top-right neighbours), the column to the left and the corner above-left.
struct Border {
    uint8_t top[32] = {};
    uint8_t left[16] = {};
    uint8_t topLeft = 0;
};

Border ReadBorder(const uint8_t* at, int stride, const Neighbours& n, int size, int topLength) {
    Border border;
    if (n.top) {
        std::copy(at - stride, at - stride + topLength, border.top);
    }
    if (n.left) {
        for (int y = 0; y < size; ++y) {
            border.left[y] = at[y * stride - 1];
        }
    }
    if (n.topLeft) {
        border.topLeft = at[-stride - 1];
    }
    return border;
}

uint8_t ClipSample(int value) {
    return static_cast<uint8_t>(std::clamp(value, 0, 255));
}

int Sum(const uint8_t* samples, int count) {
    int sum = 0;
    for (int i = 0; i < count; ++i) {
        sum += samples[i];
    }
    return sum;
}

// Mean of the available edges, rounded (count samples per edge, count a power of two); 128 when
// neither edge exists.
uint8_t EdgeMean(const uint8_t* top, bool useTop, const uint8_t* left, bool useLeft, int count, int log2Count) {
    if (useTop && useLeft) {
        return static_cast<uint8_t>((Sum(top, count) + Sum(left, count) + count) >> (log2Count + 1));
    }
    if (useTop || useLeft) {
        return static_cast<uint8_t>((Sum(useTop ? top : left, count) + count / 2) >> log2Count);
    }
    return 128;
}

void FillVertical(const uint8_t* top, int size, uint8_t* pred) {
    for (int y = 0; y < size; ++y) {
        std::copy(top, top + size, pred + y * size);
    }
}

void FillHorizontal(const uint8_t* left, int size, uint8_t* pred) {
    for (int y = 0; y < size; ++y) {
        std::fill(pred + y * size, pred + (y + 1) * size, left[y]);
    }
}

// Plane prediction of a square block (clause 8.3.3.4 for 16x16 luma, 8.3.4.4 for 4:2:0 chroma):
// `gradientScale` is 5 for 16x16 luma and 34 for 8x8 chroma.
void FillPlane(const Border& border, int size, int gradientScale, uint8_t* pred) {
    const int half = size / 2;
    // p[k, -1] and p[-1, k] for k = -1 .. size - 1.
    const auto top = [&border](int k) { return k < 0 ? border.topLeft : border.top[k]; };
    const auto left = [&border](int k) { return k < 0 ? border.topLeft : border.left[k]; };
    int horizontal = 0;
    int vertical = 0;
    for (int k = 0; k < half; ++k) {
        horizontal += (k + 1) * (top(half + k) - top(half - 2 - k));
        vertical += (k + 1) * (left(half + k) - left(half - 2 - k));
    }
    const int a = 16 * (border.left[size - 1] + border.top[size - 1]);
    const int b = (gradientScale * horizontal + 32) >> 6;
    const int c = (gradientScale * vertical + 32) >> 6;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            pred[y * size + x] = ClipSample((a + b * (x - (half - 1)) + c * (y - (half - 1)) + 16) >> 5);
        }
    }
}

// The 4x4 directional modes read one line of samples running from below-left up the left column,
// through the corner and along the top row to the top-right:
//   edge[1..4] = p[-1, 3] .. p[-1, 0], edge[5] = p[-1, -1], edge[6..13] = p[0, -1] .. p[7, -1],
// with edge[0] and edge[14] repeating the end samples so that the three-tap filter at either end
// gives the standard's (p + 3 * q + 2) >> 2.
constexpr int kCorner = 5;
constexpr int kEdgeLength = 15;

struct Edge4x4 {
    uint8_t samples[kEdgeLength] = {};

    explicit Edge4x4(const Border& border) {
        for (int y = 0; y < 4; ++y) {
            samples[kCorner - 1 - y] = border.left[y];
        }
        samples[0] = border.left[3];
        samples[kCorner] = border.topLeft;
        std::copy(border.top, border.top + 8, samples + kCorner + 1);
        samples[kEdgeLength - 1] = border.top[7];
    }
    // p[x, -1] and p[-1, y] positions on the line.
    static int Top(int x) { return kCorner + 1 + x; }
    static int Left(int y) { return kCorner - 1 - y; }
    // Two-tap mean of positions k and k + 1, and three-tap filter centred on k.
    int Mean2(int k) const { return (samples[k] + samples[k + 1] + 1) >> 1; }
    int Filter3(int k) const { return (samples[k - 1] + 2 * samples[k] + samples[k + 1] + 2) >> 2; }
};

int DiagonalDownLeft(const Edge4x4& e, int x, int y) {
    return e.Filter3(Edge4x4::Top(x + y + 1));
}

int DiagonalDownRight(const Edge4x4& e, int x, int y) {
    return e.Filter3(kCorner + x - y);
}

int VerticalRight(const Edge4x4& e, int x, int y) {
    const int zone = 2 * x - y;
    if (zone < -1) {
        return e.Filter3(Edge4x4::Left(y - 2));
    }
    const int k = Edge4x4::Top(x - (y >> 1) - 1);
    return (zone & 1) == 0 ? e.Mean2(k) : e.Filter3(k);
}

int HorizontalDown(const Edge4x4& e, int x, int y) {
    const int zone = 2 * y - x;
    if (zone < -1) {
        return e.Filter3(Edge4x4::Top(x - 2));
    }
    const int k = Edge4x4::Left(y - (x >> 1) - 1);
    return (zone & 1) == 0 ? e.Mean2(k - 1) : e.Filter3(k);
}

int VerticalLeft(const Edge4x4& e, int x, int y) {
    const int k = Edge4x4::Top(x + (y >> 1));
    return (y & 1) == 0 ? e.Mean2(k) : e.Filter3(k + 1);
}

int HorizontalUp(const Edge4x4& e, int x, int y) {
    const int zone = x + 2 * y;
    if (zone > 5) {
        return e.samples[Edge4x4::Left(3)];
    }
    const int k = Edge4x4::Left(y + (x >> 1));
    return (zone & 1) == 0 ? e.Mean2(k - 1) : e.Filter3(k - 1);
}

using DirectionalRule = int (*)(const Edge4x4&, int, int);

DirectionalRule DirectionalRuleOf(int mode) {
    switch (mode) {
        case kI4DiagDownLeft:
            return DiagonalDownLeft;
        case kI4DiagDownRight:
            return DiagonalDownRight;
        case kI4VerticalRight:
            return VerticalRight;
        case kI4HorizontalDown:
            return HorizontalDown;
        case kI4VerticalLeft:
            return VerticalLeft;
        case kI4HorizontalUp:
            return HorizontalUp;
        default:
            return nullptr;
    }
}

// DC of one 4x4 chroma block at (blockX, blockY) in units of 4 samples (clause 8.3.4.1-3): the
// block at the top right prefers the row above, the one at the bottom left the column to the
// left, the other two use both when they can.
uint8_t ChromaBlockDc(const Border& border, const Neighbours& n, int blockX, int blockY) {
    const uint8_t* top = border.top + 4 * blockX;
    const uint8_t* left = border.left + 4 * blockY;
    if (blockX == 1 && blockY == 0 && n.top) {
        return EdgeMean(top, true, left, false, 4, 2);
    }
    if (blockX == 0 && blockY == 1 && n.left) {
        return EdgeMean(top, false, left, true, 4, 2);
    }
    return EdgeMean(top, n.top, left, n.left, 4, 2);
}

void FillChromaDc(const Border& border, const Neighbours& n, uint8_t pred[64]) {
    for (int blockY = 0; blockY < 2; ++blockY) {
        for (int blockX = 0; blockX < 2; ++blockX) {
            const uint8_t dc = ChromaBlockDc(border, n, blockX, blockY);
            for (int y = 0; y < 4; ++y) {
                uint8_t* row = pred + (4 * blockY + y) * 8 + 4 * blockX;
                std::fill(row, row + 4, dc);
            }
        }
    }
}

}  // namespace

bool Intra4x4ModeUsable(int mode, const Neighbours& n) {
    switch (mode) {
        case kI4Vertical:
        case kI4DiagDownLeft:
        case kI4VerticalLeft:
            return n.top;
        case kI4Horizontal:
        case kI4HorizontalUp:
            return n.left;
        case kI4Dc:
            return true;
        case kI4DiagDownRight:
        case kI4VerticalRight:
        case kI4HorizontalDown:
            return n.top && n.left && n.topLeft;
        default:
            return false;
    }
}

bool Intra16x16ModeUsable(int mode, const Neighbours& n) {
    switch (mode) {
        case kI16Vertical:
            return n.top;
        case kI16Horizontal:
            return n.left;
        case kI16Dc:
            return true;
        case kI16Plane:
            return n.top && n.left && n.topLeft;
        default:
            return false;
    }
}

bool IntraChromaModeUsable(int mode, const Neighbours& n) {
    switch (mode) {
        case kChromaDc:
            return true;
        case kChromaHorizontal:
            return n.left;
        case kChromaVertical:
            return n.top;
        case kChromaPlane:
            return n.top && n.left && n.topLeft;
        default:
            return false;
    }
}

void PredictIntra4x4(int mode, const uint8_t* at, int stride, const Neighbours& n, uint8_t pred[16]) {
    const bool topRight = n.top && n.topRight;
    Border border = ReadBorder(at, stride, n, 4, topRight ? 8 : 4);
    if (n.top && !topRight) {
        // Without the top-right samples the standard repeats p[3, -1] in their place.
        std::fill(border.top + 4, border.top + 8, border.top[3]);
    }
    if (mode == kI4Vertical) {
        FillVertical(border.top, 4, pred);
    } else if (mode == kI4Horizontal) {
        FillHorizontal(border.left, 4, pred);
    } else if (const DirectionalRule rule = DirectionalRuleOf(mode); rule != nullptr) {
        const Edge4x4 edge(border);
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < 4; ++x) {
                pred[y * 4 + x] = static_cast<uint8_t>(rule(edge, x, y));
            }
        }
    } else {
        std::fill(pred, pred + 16, EdgeMean(border.top, n.top, border.left, n.left, 4, 2));
    }
}

void PredictIntra16x16(int mode, const uint8_t* at, int stride, const Neighbours& n, uint8_t pred[256]) {
    const Border border = ReadBorder(at, stride, n, 16, 16);
    switch (mode) {
        case kI16Vertical:
            FillVertical(border.top, 16, pred);
            break;
        case kI16Horizontal:
            FillHorizontal(border.left, 16, pred);
            break;
        case kI16Plane:
            FillPlane(border, 16, 5, pred);
            break;
        default:
            std::fill(pred, pred + 256, EdgeMean(border.top, n.top, border.left, n.left, 16, 4));
            break;
    }
}

void PredictIntraChroma(int mode, const uint8_t* at, int stride, const Neighbours& n, uint8_t pred[64]) {
    const Border border = ReadBorder(at, stride, n, 8, 8);
    switch (mode) {
        case kChromaHorizontal:
            FillHorizontal(border.left, 8, pred);
            break;
        case kChromaVertical:
            FillVertical(border.top, 8, pred);
            break;
        case kChromaPlane:
            FillPlane(border, 8, 34, pred);
            break;
        default:
            FillChromaDc(border, n, pred);
            break;
    }
}

}  // namespace qzt::h264
