// Code tables of H.264 (ITU-T Rec. H.264) that the stand-in's encoder needs: CAVLC codewords,
// the 4x4 zigzag scan, the quantisation and scaling factors, the chroma QP mapping and the
// deblocking filter's thresholds. Transcribed from the standard's tables.
// Ownership: constant data. Thread rules: read-only, safe from any thread.
#pragma once

#include <cstdint>

namespace qzt::h264 {

// One variable-length codeword: the `length` low bits of `bits`, written most significant first.
struct VlcCode {
    uint32_t bits = 0;
    int length = 0;
};

// coeff_token (Table 9-5). nC selects the column: 0 <= nC < 2, 2 <= nC < 4, 4 <= nC < 8, 8 <= nC,
// and nC == -1 for chroma DC (4:2:0). totalCoeff 0..16 (0..4 for nC == -1), trailingOnes
// 0..min(3, totalCoeff).
VlcCode CoeffToken(int nC, int totalCoeff, int trailingOnes);

// total_zeros (Tables 9-7, 9-8 for 4x4 blocks; 9-9a for chroma DC 4:2:0, chosen by
// maxNumCoeff == 4). totalCoeff 1..maxNumCoeff-1, totalZeros 0..maxNumCoeff-totalCoeff.
VlcCode TotalZeros(int maxNumCoeff, int totalCoeff, int totalZeros);

// run_before (Table 9-10). zerosLeft >= 1 (values above 6 use the last column), runBefore
// 0..zerosLeft.
VlcCode RunBefore(int zerosLeft, int runBefore);

// Frame zigzag scan of a 4x4 block (Table 8-13): kZigzag4x4[scanIndex] = raster index y * 4 + x.
extern const uint8_t kZigzag4x4[16];

// normAdjust4x4 (clause 8.5.9; with flat weights LevelScale4x4 = 16 * normAdjust4x4):
// kDequantScale[qp % 6][c] with c = 0 for positions (0,0),(0,2),(2,0),(2,2), c = 1 for (1,1),
// (1,3),(3,1),(3,3), c = 2 for the others.
extern const int kDequantScale[6][3];
// The matching forward quantisation multipliers (the usual 13107, 5243, 8066 ... rows), so that
// level = (|coeff| * kQuantScale[qp % 6][c] + offset) >> (15 + qp / 6).
extern const int kQuantScale[6][3];
// Position class c (0, 1, 2) of raster index i in a 4x4 block, as used above.
int ScaleClass(int rasterIndex);

// QPc as a function of qPI = Clip3(0, 51, QPY + chroma_qp_index_offset) (Table 8-15).
extern const uint8_t kChromaQp[52];

// Deblocking thresholds indexed by indexA / indexB (Table 8-16) and tC0 by indexA and bS 1..3
// (Table 8-17): kTc0[indexA][bS - 1].
extern const uint8_t kAlpha[52];
extern const uint8_t kBeta[52];
extern const uint8_t kTc0[52][3];

}  // namespace qzt::h264
