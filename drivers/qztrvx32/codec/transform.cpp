// Forward and inverse 4x4 transforms, DC Hadamard transforms and quantisation (clause 8.5 of H.264
// for the decoder side, flat scaling lists). Arrays are 4x4 in raster order: index = row * 4 + column,
// which is c[i][j] of the standard with i the row and j the column.
#include "transform.h"

#include "h264_tables.h"

#include <cstdlib>

namespace qzt::h264 {
namespace {

// One-dimensional forward core transform of four values taken `step` apart.
void ForwardCore1d(const int* in, int step, int* out) {
    const int s03 = in[0] + in[3 * step];
    const int d03 = in[0] - in[3 * step];
    const int s12 = in[step] + in[2 * step];
    const int d12 = in[step] - in[2 * step];
    out[0] = s03 + s12;
    out[step] = 2 * d03 + d12;
    out[2 * step] = s03 - s12;
    out[3 * step] = d03 - 2 * d12;
}

// One-dimensional inverse core transform (clause 8.5.12.2), with the >> 1 on the odd inputs.
void InverseCore1d(const int* in, int step, int* out) {
    const int e0 = in[0] + in[2 * step];
    const int e1 = in[0] - in[2 * step];
    const int e2 = (in[step] >> 1) - in[3 * step];
    const int e3 = in[step] + (in[3 * step] >> 1);
    out[0] = e0 + e3;
    out[step] = e1 + e2;
    out[2 * step] = e1 - e2;
    out[3 * step] = e0 - e3;
}

// One-dimensional 4-point Hadamard (rows 1 1 1 1 / 1 1 -1 -1 / 1 -1 -1 1 / 1 -1 1 -1); it is its
// own inverse up to a factor of 4, so the encoder and the decoder share it.
void Hadamard1d(const int* in, int step, int* out) {
    const int s01 = in[0] + in[step];
    const int d01 = in[0] - in[step];
    const int s23 = in[2 * step] + in[3 * step];
    const int d23 = in[2 * step] - in[3 * step];
    out[0] = s01 + s23;
    out[step] = s01 - s23;
    out[2 * step] = d01 - d23;
    out[3 * step] = d01 + d23;
}

// Applies a one-dimensional transform to every row, then to every column of the result.
template <typename Transform1d>
void Separable4x4(const int in[16], int out[16], Transform1d transform) {
    int rows[16];
    for (int row = 0; row < 4; ++row) {
        transform(in + row * 4, 1, rows + row * 4);
    }
    for (int column = 0; column < 4; ++column) {
        transform(rows + column, 4, out + column);
    }
}

// 2x2 Hadamard (the same matrix on both sides; its own inverse up to a factor of 4).
void Hadamard2x2(const int in[4], int out[4]) {
    const int s01 = in[0] + in[1];
    const int d01 = in[0] - in[1];
    const int s23 = in[2] + in[3];
    const int d23 = in[2] - in[3];
    out[0] = s01 + s23;
    out[1] = d01 + d23;
    out[2] = s01 - s23;
    out[3] = d01 - d23;
}

// LevelScale4x4(m, i, j) of clause 8.5.9 with flat weights (16 * normAdjust4x4).
int LevelScale(int qpRem, int scaleClass) {
    return 16 * kDequantScale[qpRem][scaleClass];
}

// Rounding offset of the dead-zone quantiser: a third of a step for intra, a sixth for inter.
int RoundingOffset(int qbits, bool intra) {
    return (1 << qbits) / (intra ? 3 : 6);
}

int QuantizeWith(int coeff, int multiplier, int qbits, int offset) {
    const int magnitude = (std::abs(coeff) * multiplier + offset) >> qbits;
    return coeff < 0 ? -magnitude : magnitude;
}

}  // namespace

void ForwardTransform4x4(const int in[16], int out[16]) {
    Separable4x4(in, out, ForwardCore1d);
}

void ForwardHadamard4x4(const int in[16], int out[16]) {
    int full[16];
    Separable4x4(in, full, Hadamard1d);
    // Halving rounds half away from zero so that positive and negative DC behave alike.
    for (int i = 0; i < 16; ++i) {
        out[i] = full[i] >= 0 ? (full[i] + 1) >> 1 : -((1 - full[i]) >> 1);
    }
}

void ForwardHadamard2x2(const int in[4], int out[4]) {
    Hadamard2x2(in, out);
}

int QuantizeCoefficient(int coeff, int qp, int scaleClass, bool intra) {
    const int qbits = 15 + qp / 6;
    return QuantizeWith(coeff, kQuantScale[qp % 6][scaleClass], qbits, RoundingOffset(qbits, intra));
}

// The DC paths scale by one more power of two on the decoder side (luma DC through the halved
// Hadamard, chroma DC through the >> 5 of clause 8.5.11.2), so they take one more bit of shift
// and twice the rounding offset.
int QuantizeLumaDc(int coeff, int qp, bool intra) {
    const int qbits = 15 + qp / 6;
    return QuantizeWith(coeff, kQuantScale[qp % 6][0], qbits + 1, 2 * RoundingOffset(qbits, intra));
}

int QuantizeChromaDc(int coeff, int qp, bool intra) {
    const int qbits = 15 + qp / 6;
    return QuantizeWith(coeff, kQuantScale[qp % 6][0], qbits + 1, 2 * RoundingOffset(qbits, intra));
}

void DequantizeBlock(const int levels[16], int qp, bool hasDc, int d[16]) {
    const int qpPer = qp / 6;
    const int qpRem = qp % 6;
    for (int i = hasDc ? 0 : 1; i < 16; ++i) {
        const int scaled = levels[i] * LevelScale(qpRem, ScaleClass(i));
        if (qp >= 24) {
            d[i] = scaled * (1 << (qpPer - 4));
        } else {
            d[i] = (scaled + (1 << (3 - qpPer))) >> (4 - qpPer);
        }
    }
}

void InverseLumaDc(const int levels[16], int qp, int dcOut[16]) {
    int f[16];
    Separable4x4(levels, f, Hadamard1d);
    const int qpPer = qp / 6;
    const int scale = LevelScale(qp % 6, 0);
    for (int i = 0; i < 16; ++i) {
        if (qp >= 36) {
            dcOut[i] = f[i] * scale * (1 << (qpPer - 6));
        } else {
            dcOut[i] = (f[i] * scale + (1 << (5 - qpPer))) >> (6 - qpPer);
        }
    }
}

void InverseChromaDc(const int levels[4], int qp, int dcOut[4]) {
    int f[4];
    Hadamard2x2(levels, f);
    const int scale = LevelScale(qp % 6, 0) * (1 << (qp / 6));
    for (int i = 0; i < 4; ++i) {
        dcOut[i] = (f[i] * scale) >> 5;
    }
}

void InverseTransform4x4(const int d[16], int residual[16]) {
    int h[16];
    Separable4x4(d, h, InverseCore1d);
    for (int i = 0; i < 16; ++i) {
        residual[i] = (h[i] + 32) >> 6;
    }
}

}  // namespace qzt::h264
