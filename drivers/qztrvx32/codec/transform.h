// Forward and inverse 4x4 integer transforms, the DC Hadamard transforms, and quantisation with a
// dead zone, matched to the decoder's scaling (clause 8.5 of H.264, flat scaling lists). Every
// block is a 4x4 array in raster order (index = y * 4 + x) unless said otherwise.
// Ownership: works on caller arrays. Thread rules: stateless, any thread.
#pragma once

#include <cstdint>

namespace qzt::h264 {

// Core forward transform of a residual block: out = Cf * in * Cf^T (no scaling).
void ForwardTransform4x4(const int in[16], int out[16]);

// Forward Hadamard of the 16 luma DC coefficients of an Intra 16x16 macroblock (4x4 array of
// blocks in raster order), halved: out = (H * in * H) / 2 (only the levels reach the decoder, so
// the rounding of the halving is the encoder's choice); quantised with QuantizeLumaDc.
void ForwardHadamard4x4(const int in[16], int out[16]);
// Forward 2x2 Hadamard of the four chroma DC coefficients (raster order), no scaling.
void ForwardHadamard2x2(const int in[4], int out[4]);

// Quantisation of one coefficient at `qp` for position class `scaleClass` (see ScaleClass), with
// a dead zone: `intra` rounds with 1/3, inter with 1/6 of a step. Returns the signed level.
int QuantizeCoefficient(int coeff, int qp, int scaleClass, bool intra);
// Luma DC (after ForwardHadamard4x4) and chroma DC (after ForwardHadamard2x2) quantisation
// (position class 0, one more shift for luma DC as encoders pair with the decoder's scaling).
int QuantizeLumaDc(int coeff, int qp, bool intra);
int QuantizeChromaDc(int coeff, int qp, bool intra);

// Decoder side, exactly as clause 8.5: scaling of the levels of a 4x4 block into d[] (`hasDc`
// false leaves d[0] alone: it comes from the DC path), scaling of the luma DC levels
// (clause 8.5.10) and of the chroma DC levels (clause 8.5.11.2), and the inverse transform that
// turns d[] into residual samples r[] = (f + 32) >> 6 (clause 8.5.12).
void DequantizeBlock(const int levels[16], int qp, bool hasDc, int d[16]);
void InverseLumaDc(const int levels[16], int qp, int dcOut[16]);
void InverseChromaDc(const int levels[4], int qp, int dcOut[4]);
void InverseTransform4x4(const int d[16], int residual[16]);

}  // namespace qzt::h264
