// Code tables of H.264, transcribed from the standard's tables. The variable-length codes are
// written as the standard prints them ("0000 0101") and turned into bits and lengths at compile
// time, so each row can be compared with the printed table by eye.
#include "h264_tables.h"

#include <cassert>

namespace qzt::h264 {
namespace {

// Not constexpr: a table row that reaches it cannot be evaluated at compile time, so a typo in a
// codeword stops the build.
void CodewordHasCharacterOtherThan01Space() {}

// Turns a printed codeword such as "0001 01" into its bits and length; spaces only group digits.
constexpr VlcCode Code(const char* text) {
    VlcCode code;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p == ' ') {
            continue;
        }
        if (*p != '0' && *p != '1') {
            CodewordHasCharacterOtherThan01Space();
        }
        code.bits = (code.bits << 1) | static_cast<uint32_t>(*p - '0');
        ++code.length;
    }
    return code;
}

// Table 9-5, coeff_token, one array per nC column: [TotalCoeff 0..16][TrailingOnes 0..3].
// Combinations that cannot occur (TrailingOnes > TotalCoeff) stay empty.
constexpr VlcCode kCoeffTokenNc0To1[17][4] = {
    // 0 <= nC < 2
    {Code("1")},
    {Code("0001 01"), Code("01")},
    {Code("0000 0111"), Code("0001 00"), Code("001")},
    {Code("0000 0011 1"), Code("0000 0110"), Code("0000 101"), Code("0001 1")},
    {Code("0000 0001 11"), Code("0000 0011 0"), Code("0000 0101"), Code("0000 11")},
    {Code("0000 0000 111"), Code("0000 0001 10"), Code("0000 0010 1"), Code("0000 100")},
    {Code("0000 0000 0111 1"), Code("0000 0000 110"), Code("0000 0001 01"), Code("0000 0100")},
    {Code("0000 0000 0101 1"), Code("0000 0000 0111 0"), Code("0000 0000 101"), Code("0000 0010 0")},
    {Code("0000 0000 0100 0"), Code("0000 0000 0101 0"), Code("0000 0000 0110 1"), Code("0000 0001 00")},
    {Code("0000 0000 0011 11"), Code("0000 0000 0011 10"), Code("0000 0000 0100 1"), Code("0000 0000 100")},
    {Code("0000 0000 0010 11"), Code("0000 0000 0010 10"), Code("0000 0000 0011 01"), Code("0000 0000 0110 0")},
    {Code("0000 0000 0001 111"), Code("0000 0000 0001 110"), Code("0000 0000 0010 01"), Code("0000 0000 0011 00")},
    {Code("0000 0000 0001 011"), Code("0000 0000 0001 010"), Code("0000 0000 0001 101"), Code("0000 0000 0010 00")},
    {Code("0000 0000 0000 1111"), Code("0000 0000 0000 001"), Code("0000 0000 0001 001"), Code("0000 0000 0001 100")},
    {Code("0000 0000 0000 1011"), Code("0000 0000 0000 1110"), Code("0000 0000 0000 1101"), Code("0000 0000 0001 000")},
    {Code("0000 0000 0000 0111"), Code("0000 0000 0000 1010"), Code("0000 0000 0000 1001"),
     Code("0000 0000 0000 1100")},
    {Code("0000 0000 0000 0100"), Code("0000 0000 0000 0110"), Code("0000 0000 0000 0101"),
     Code("0000 0000 0000 1000")},
};

constexpr VlcCode kCoeffTokenNc2To3[17][4] = {
    // 2 <= nC < 4
    {Code("11")},
    {Code("0010 11"), Code("10")},
    {Code("0001 11"), Code("0011 1"), Code("011")},
    {Code("0000 111"), Code("0010 10"), Code("0010 01"), Code("0101")},
    {Code("0000 0111"), Code("0001 10"), Code("0001 01"), Code("0100")},
    {Code("0000 0100"), Code("0000 110"), Code("0000 101"), Code("0011 0")},
    {Code("0000 0011 1"), Code("0000 0110"), Code("0000 0101"), Code("0010 00")},
    {Code("0000 0001 111"), Code("0000 0011 0"), Code("0000 0010 1"), Code("0001 00")},
    {Code("0000 0001 011"), Code("0000 0001 110"), Code("0000 0001 101"), Code("0000 100")},
    {Code("0000 0000 1111"), Code("0000 0001 010"), Code("0000 0001 001"), Code("0000 0010 0")},
    {Code("0000 0000 1011"), Code("0000 0000 1110"), Code("0000 0000 1101"), Code("0000 0001 100")},
    {Code("0000 0000 1000"), Code("0000 0000 1010"), Code("0000 0000 1001"), Code("0000 0001 000")},
    {Code("0000 0000 0111 1"), Code("0000 0000 0111 0"), Code("0000 0000 0110 1"), Code("0000 0000 1100")},
    {Code("0000 0000 0101 1"), Code("0000 0000 0101 0"), Code("0000 0000 0100 1"), Code("0000 0000 0110 0")},
    {Code("0000 0000 0011 1"), Code("0000 0000 0010 11"), Code("0000 0000 0011 0"), Code("0000 0000 0100 0")},
    {Code("0000 0000 0010 01"), Code("0000 0000 0010 00"), Code("0000 0000 0010 10"), Code("0000 0000 0000 1")},
    {Code("0000 0000 0001 11"), Code("0000 0000 0001 10"), Code("0000 0000 0001 01"), Code("0000 0000 0001 00")},
};

constexpr VlcCode kCoeffTokenNc4To7[17][4] = {
    // 4 <= nC < 8
    {Code("1111")},
    {Code("0011 11"), Code("1110")},
    {Code("0010 11"), Code("0111 1"), Code("1101")},
    {Code("0010 00"), Code("0110 0"), Code("0111 0"), Code("1100")},
    {Code("0001 111"), Code("0101 0"), Code("0101 1"), Code("1011")},
    {Code("0001 011"), Code("0100 0"), Code("0100 1"), Code("1010")},
    {Code("0001 001"), Code("0011 10"), Code("0011 01"), Code("1001")},
    {Code("0001 000"), Code("0010 10"), Code("0010 01"), Code("1000")},
    {Code("0000 1111"), Code("0001 110"), Code("0001 101"), Code("0110 1")},
    {Code("0000 1011"), Code("0000 1110"), Code("0001 010"), Code("0011 00")},
    {Code("0000 0111 1"), Code("0000 1010"), Code("0000 1101"), Code("0001 100")},
    {Code("0000 0101 1"), Code("0000 0111 0"), Code("0000 1001"), Code("0000 1100")},
    {Code("0000 0100 0"), Code("0000 0101 0"), Code("0000 0110 1"), Code("0000 1000")},
    {Code("0000 0011 01"), Code("0000 0011 1"), Code("0000 0100 1"), Code("0000 0110 0")},
    {Code("0000 0010 01"), Code("0000 0011 00"), Code("0000 0010 11"), Code("0000 0010 10")},
    {Code("0000 0001 01"), Code("0000 0010 00"), Code("0000 0001 11"), Code("0000 0001 10")},
    {Code("0000 0000 01"), Code("0000 0001 00"), Code("0000 0000 11"), Code("0000 0000 10")},
};

// The 8 <= nC column is a 6-bit fixed-length code: "0000 11" for TotalCoeff 0, otherwise
// TotalCoeff - 1 in the first four bits and TrailingOnes in the last two.
VlcCode CoeffTokenNc8Up(int totalCoeff, int trailingOnes) {
    if (totalCoeff == 0) {
        return Code("0000 11");
    }
    return {static_cast<uint32_t>(((totalCoeff - 1) << 2) | trailingOnes), 6};
}

constexpr VlcCode kCoeffTokenChromaDc420[5][4] = {
    // nC == -1
    {Code("01")},
    {Code("0001 11"), Code("1")},
    {Code("0001 00"), Code("0001 10"), Code("001")},
    {Code("0000 11"), Code("0000 011"), Code("0000 010"), Code("0001 01")},
    {Code("0000 10"), Code("0000 0011"), Code("0000 0010"), Code("0000 000")},
};

// Tables 9-7 and 9-8, total_zeros for 4x4 blocks: [tzVlcIndex = TotalCoeff 1..15][total_zeros].
constexpr VlcCode kTotalZeros4x4[15][16] = {
    {Code("1"), Code("011"), Code("010"), Code("0011"), Code("0010"), Code("0001 1"), Code("0001 0"), Code("0000 11"),
     Code("0000 10"), Code("0000 011"), Code("0000 010"), Code("0000 0011"), Code("0000 0010"), Code("0000 0001 1"),
     Code("0000 0001 0"), Code("0000 0000 1")},
    {Code("111"), Code("110"), Code("101"), Code("100"), Code("011"), Code("0101"), Code("0100"), Code("0011"),
     Code("0010"), Code("0001 1"), Code("0001 0"), Code("0000 11"), Code("0000 10"), Code("0000 01"), Code("0000 00")},
    {Code("0101"), Code("111"), Code("110"), Code("101"), Code("0100"), Code("0011"), Code("100"), Code("011"),
     Code("0010"), Code("0001 1"), Code("0001 0"), Code("0000 01"), Code("0000 1"), Code("0000 00")},
    {Code("0001 1"), Code("111"), Code("0101"), Code("0100"), Code("110"), Code("101"), Code("100"), Code("0011"),
     Code("011"), Code("0010"), Code("0001 0"), Code("0000 1"), Code("0000 0")},
    {Code("0101"), Code("0100"), Code("0011"), Code("111"), Code("110"), Code("101"), Code("100"), Code("011"),
     Code("0010"), Code("0000 1"), Code("0001"), Code("0000 0")},
    {Code("0000 01"), Code("0000 1"), Code("111"), Code("110"), Code("101"), Code("100"), Code("011"), Code("010"),
     Code("0001"), Code("001"), Code("0000 00")},
    {Code("0000 01"), Code("0000 1"), Code("101"), Code("100"), Code("011"), Code("11"), Code("010"), Code("0001"),
     Code("001"), Code("0000 00")},
    {Code("0000 01"), Code("0001"), Code("0000 1"), Code("011"), Code("11"), Code("10"), Code("010"), Code("001"),
     Code("0000 00")},
    {Code("0000 01"), Code("0000 00"), Code("0001"), Code("11"), Code("10"), Code("001"), Code("01"), Code("0000 1")},
    {Code("0000 1"), Code("0000 0"), Code("001"), Code("11"), Code("10"), Code("01"), Code("0001")},
    {Code("0000"), Code("0001"), Code("001"), Code("010"), Code("1"), Code("011")},
    {Code("0000"), Code("0001"), Code("01"), Code("1"), Code("001")},
    {Code("000"), Code("001"), Code("1"), Code("01")},
    {Code("00"), Code("01"), Code("1")},
    {Code("0"), Code("1")},
};

// Table 9-9 (a), total_zeros for chroma DC 4:2:0: [tzVlcIndex = TotalCoeff 1..3][total_zeros].
constexpr VlcCode kTotalZerosChromaDc420[3][4] = {
    {Code("1"), Code("01"), Code("001"), Code("000")},
    {Code("1"), Code("01"), Code("00")},
    {Code("1"), Code("0")},
};

// Table 9-10, run_before: [min(zerosLeft, 7) - 1][run_before].
constexpr VlcCode kRunBefore[7][15] = {
    {Code("1"), Code("0")},
    {Code("1"), Code("01"), Code("00")},
    {Code("11"), Code("10"), Code("01"), Code("00")},
    {Code("11"), Code("10"), Code("01"), Code("001"), Code("000")},
    {Code("11"), Code("10"), Code("011"), Code("010"), Code("001"), Code("000")},
    {Code("11"), Code("000"), Code("001"), Code("011"), Code("010"), Code("101"), Code("100")},
    {Code("111"), Code("110"), Code("101"), Code("100"), Code("011"), Code("010"), Code("001"), Code("0001"),
     Code("0000 1"), Code("0000 01"), Code("0000 001"), Code("0000 0001"), Code("0000 0000 1"), Code("0000 0000 01"),
     Code("0000 0000 001")},
};

}  // namespace

VlcCode CoeffToken(int nC, int totalCoeff, int trailingOnes) {
    assert(trailingOnes >= 0 && trailingOnes <= 3 && trailingOnes <= totalCoeff);
    if (nC == -1) {
        assert(totalCoeff <= 4);
        return kCoeffTokenChromaDc420[totalCoeff][trailingOnes];
    }
    assert(nC >= 0 && totalCoeff <= 16);
    if (nC < 2) {
        return kCoeffTokenNc0To1[totalCoeff][trailingOnes];
    }
    if (nC < 4) {
        return kCoeffTokenNc2To3[totalCoeff][trailingOnes];
    }
    if (nC < 8) {
        return kCoeffTokenNc4To7[totalCoeff][trailingOnes];
    }
    return CoeffTokenNc8Up(totalCoeff, trailingOnes);
}

VlcCode TotalZeros(int maxNumCoeff, int totalCoeff, int totalZeros) {
    assert(totalCoeff >= 1 && totalCoeff < maxNumCoeff);
    assert(totalZeros >= 0 && totalZeros <= maxNumCoeff - totalCoeff);
    if (maxNumCoeff == 4) {
        return kTotalZerosChromaDc420[totalCoeff - 1][totalZeros];
    }
    assert(maxNumCoeff <= 16 && maxNumCoeff > 4);
    return kTotalZeros4x4[totalCoeff - 1][totalZeros];
}

VlcCode RunBefore(int zerosLeft, int runBefore) {
    assert(zerosLeft >= 1 && runBefore >= 0 && runBefore <= zerosLeft && runBefore <= 14);
    const int column = zerosLeft > 7 ? 7 : zerosLeft;
    return kRunBefore[column - 1][runBefore];
}

const uint8_t kZigzag4x4[16] = {0, 1, 4, 8, 5, 2, 3, 6, 9, 12, 13, 10, 7, 11, 14, 15};

// normAdjust4x4 rows v(m, 0..2) for m = qp % 6.
const int kDequantScale[6][3] = {
    {10, 16, 13}, {11, 18, 14}, {13, 20, 16}, {14, 23, 18}, {16, 25, 20}, {18, 29, 23},
};

// Forward multipliers: kQuantScale[m][c] * kDequantScale[m][c] is close to 2^17 / g(c), where
// g = 1, 25/16, 5/4 is the squared-norm ratio of the forward and inverse core transforms at the
// position class, so that quantising and rescaling give back the coefficient's scale.
const int kQuantScale[6][3] = {
    {13107, 5243, 8066}, {11916, 4660, 7490}, {10082, 4194, 6554},
    {9362, 3647, 5825},  {8192, 3355, 5243},  {7282, 2893, 4559},
};

int ScaleClass(int rasterIndex) {
    const bool oddX = (rasterIndex & 1) != 0;
    const bool oddY = (rasterIndex & 4) != 0;
    if (oddX != oddY) {
        return 2;
    }
    return oddX ? 1 : 0;
}

// Table 8-15: QPc equals qPI below 30.
const uint8_t kChromaQp[52] = {
    0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25,
    26, 27, 28, 29, 29, 30, 31, 32, 32, 33, 34, 34, 35, 35, 36, 36, 37, 37, 37, 38, 38, 38, 39, 39, 39, 39,
};

// Table 8-16: alpha' and beta' by indexA and indexB.
const uint8_t kAlpha[52] = {
    0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  4,   4,   5,   6,   7,   8,   9,   10,  12,  13,
    15, 17, 20, 22, 25, 28, 32, 36, 40, 45, 50, 56, 63, 71, 80, 90, 101, 113, 127, 144, 162, 182, 203, 226, 255, 255,
};
const uint8_t kBeta[52] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0,  0,  0,  0,  0,  0,  0,  0,  2,  2,  2,  3,  3,  3,  3,  4,  4,  4,
    6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14, 15, 15, 16, 16, 17, 17, 18, 18,
};

// Table 8-17: tC0' by indexA for bS = 1, 2, 3.
const uint8_t kTc0[52][3] = {
    {0, 0, 0},  {0, 0, 0},   {0, 0, 0},   {0, 0, 0},   {0, 0, 0},    {0, 0, 0},    {0, 0, 0},    {0, 0, 0},  {0, 0, 0},
    {0, 0, 0},  {0, 0, 0},   {0, 0, 0},   {0, 0, 0},   {0, 0, 0},    {0, 0, 0},    {0, 0, 0},    {0, 0, 0},  {0, 0, 1},
    {0, 0, 1},  {0, 0, 1},   {0, 0, 1},   {0, 1, 1},   {0, 1, 1},    {1, 1, 1},    {1, 1, 1},    {1, 1, 1},  {1, 1, 1},
    {1, 1, 2},  {1, 1, 2},   {1, 1, 2},   {1, 1, 2},   {1, 2, 3},    {1, 2, 3},    {2, 2, 3},    {2, 2, 4},  {2, 3, 4},
    {2, 3, 4},  {3, 3, 5},   {3, 4, 6},   {3, 4, 6},   {4, 5, 7},    {4, 5, 8},    {4, 6, 9},    {5, 7, 10}, {6, 8, 11},
    {6, 8, 13}, {7, 10, 14}, {8, 11, 16}, {9, 12, 18}, {10, 13, 20}, {11, 15, 23}, {13, 17, 25},
};

}  // namespace qzt::h264
