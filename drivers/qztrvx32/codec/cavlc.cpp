// CAVLC residual writer: residual_block_cavlc (clause 7.3.5.3.2) with the codeword choices that
// invert the parsing rules of clause 9.2.
#include "cavlc.h"

#include "h264_tables.h"

#include <cassert>
#include <cstdint>
#include <cstdlib>

namespace qzt::h264 {
namespace {

constexpr int kMaxCoeffs = 16;
constexpr int kMaxTrailingOnes = 3;
constexpr int64_t kPrefix15SuffixRange = 4096;  // level_prefix 15 carries a 12-bit level_suffix

// The non-zero levels of a block in the order the syntax sends them (highest frequency first),
// with the zeros between them.
struct BlockScan {
    int totalCoeff = 0;
    int trailingOnes = 0;
    int totalZeros = 0;           // zeros below the highest-frequency non-zero level
    int levels[kMaxCoeffs] = {};  // levels[0] is the highest-frequency non-zero level
    int runs[kMaxCoeffs] = {};    // runs[i]: zeros between levels[i] and the next lower non-zero level
};

BlockScan ScanBlock(const int* levels, int count) {
    BlockScan scan;
    int zerosBelow = 0;  // zeros met since the last non-zero level, walking down in frequency
    for (int pos = count - 1; pos >= 0; --pos) {
        if (levels[pos] == 0) {
            if (scan.totalCoeff > 0) {
                ++zerosBelow;
            }
            continue;
        }
        if (scan.totalCoeff > 0) {
            scan.runs[scan.totalCoeff - 1] = zerosBelow;
            scan.totalZeros += zerosBelow;
        }
        zerosBelow = 0;
        const bool countsAsTrailingOne =
            scan.trailingOnes == scan.totalCoeff && scan.trailingOnes < kMaxTrailingOnes && std::abs(levels[pos]) == 1;
        if (countsAsTrailingOne) {
            ++scan.trailingOnes;
        }
        scan.levels[scan.totalCoeff++] = levels[pos];
    }
    if (scan.totalCoeff > 0) {
        scan.runs[scan.totalCoeff - 1] = zerosBelow;  // implied by total_zeros, never sent as a run
        scan.totalZeros += zerosBelow;
    }
    return scan;
}

void WriteCode(BitWriter& writer, const VlcCode& code) {
    assert(code.length > 0);
    writer.Bits(code.bits, code.length);
}

void WriteZeros(BitWriter& writer, int64_t count) {
    for (; count > 0; count -= 32) {
        writer.Bits(0, count > 32 ? 32 : static_cast<int>(count));
    }
}

void WriteWide(BitWriter& writer, uint64_t value, int count) {
    if (count > 32) {
        writer.Bits(static_cast<uint32_t>(value >> 32), count - 32);
        count = 32;
    }
    writer.Bits(static_cast<uint32_t>(value), count);
}

// level_prefix is a unary code: that many zeros, then a one.
void WriteLevelPrefix(BitWriter& writer, int levelPrefix) {
    WriteZeros(writer, levelPrefix);
    writer.Bits(1, 1);
}

// levelCode as the decoder rebuilds it before the TrailingOnes < 3 correction.
int64_t LevelCodeOf(int level) {
    const int64_t wide = level;
    return wide > 0 ? 2 * wide - 2 : -2 * wide - 1;
}

int64_t LevelOf(int64_t levelCode) {
    return levelCode % 2 == 0 ? (levelCode + 2) >> 1 : (-levelCode - 1) >> 1;
}

// levelCode that level_prefix 15 reaches first, with a zero level_suffix.
int64_t Prefix15Base(int suffixLength) {
    return (int64_t{15} << suffixLength) + (suffixLength == 0 ? 15 : 0);
}

// The largest levelCode that level_prefix at most 15 can carry in this suffixLength state.
int64_t MaxLevelCodePrefix15(int suffixLength) {
    return Prefix15Base(suffixLength) + kPrefix15SuffixRange - 1;
}

// Writes one levelCode (already lowered by 2 where the syntax adds 2 back) as level_prefix and
// level_suffix for the current suffixLength.
void WriteLevelCode(BitWriter& writer, int64_t levelCode, int suffixLength) {
    if (suffixLength == 0 && levelCode < 14) {
        WriteLevelPrefix(writer, static_cast<int>(levelCode));  // no level_suffix
        return;
    }
    if (suffixLength == 0 && levelCode < 30) {
        WriteLevelPrefix(writer, 14);  // 4-bit level_suffix
        writer.Bits(static_cast<uint32_t>(levelCode - 14), 4);
        return;
    }
    if (suffixLength > 0 && levelCode < (int64_t{15} << suffixLength)) {
        WriteLevelPrefix(writer, static_cast<int>(levelCode >> suffixLength));
        writer.Bits(static_cast<uint32_t>(levelCode & ((1 << suffixLength) - 1)), suffixLength);
        return;
    }
    // Escape: level_prefix >= 15 takes a (level_prefix - 3)-bit level_suffix on top of the base
    // of prefix 15, and each prefix above 15 adds (1 << (level_prefix - 3)) - 4096. So with
    // shifted = levelCode - base + 4096, the prefix is the one with shifted in
    // [2^(prefix - 3), 2^(prefix - 2)), and level_suffix = shifted - 2^(prefix - 3).
    const int64_t shifted = levelCode - Prefix15Base(suffixLength) + kPrefix15SuffixRange;
    int levelPrefix = 15;
    while (shifted >= (int64_t{1} << (levelPrefix - 2))) {
        ++levelPrefix;
    }
    WriteLevelPrefix(writer, levelPrefix);
    WriteWide(writer, static_cast<uint64_t>(shifted - (int64_t{1} << (levelPrefix - 3))), levelPrefix - 3);
}

// Writes the levels that are not trailing ones (levels[trailingOnes..]), adapting suffixLength
// as the decoder will.
void WriteLevels(BitWriter& writer, const BlockScan& scan, bool limitLevelPrefix) {
    int suffixLength = scan.totalCoeff > 10 && scan.trailingOnes < kMaxTrailingOnes ? 1 : 0;
    for (int i = scan.trailingOnes; i < scan.totalCoeff; ++i) {
        // The first level after fewer than three trailing ones cannot be +-1, so the syntax
        // leaves out the two smallest codes there.
        const int64_t adjust = i == scan.trailingOnes && scan.trailingOnes < kMaxTrailingOnes ? 2 : 0;
        int64_t levelCode = LevelCodeOf(scan.levels[i]) - adjust;
        if (limitLevelPrefix && levelCode > MaxLevelCodePrefix15(suffixLength)) {
            assert(!"level needs level_prefix above 15, which the profile forbids");
            const int64_t largest = MaxLevelCodePrefix15(suffixLength);
            levelCode = largest - ((largest - levelCode) & 1);  // keep the sign (levelCode parity)
        }
        WriteLevelCode(writer, levelCode, suffixLength);
        const int64_t written = LevelOf(levelCode + adjust);
        if (suffixLength == 0) {
            suffixLength = 1;
        }
        if ((written < 0 ? -written : written) > (3 << (suffixLength - 1)) && suffixLength < 6) {
            ++suffixLength;
        }
    }
}

void WriteRuns(BitWriter& writer, const BlockScan& scan) {
    int zerosLeft = scan.totalZeros;
    for (int i = 0; i < scan.totalCoeff - 1 && zerosLeft > 0; ++i) {
        WriteCode(writer, RunBefore(zerosLeft, scan.runs[i]));
        zerosLeft -= scan.runs[i];
    }
}

}  // namespace

int TotalCoeff(const int* levels, int count) {
    int total = 0;
    for (int i = 0; i < count; ++i) {
        total += levels[i] != 0 ? 1 : 0;
    }
    return total;
}

int WriteResidualBlock(BitWriter& writer, const int* levels, int count, int nC, bool limitLevelPrefix) {
    assert(count >= 1 && count <= kMaxCoeffs);
    assert(nC != -1 || count == 4);
    const BlockScan scan = ScanBlock(levels, count);
    WriteCode(writer, CoeffToken(nC, scan.totalCoeff, scan.trailingOnes));
    if (scan.totalCoeff == 0) {
        return 0;
    }
    for (int i = 0; i < scan.trailingOnes; ++i) {
        writer.Flag(scan.levels[i] < 0);  // trailing_ones_sign_flag
    }
    WriteLevels(writer, scan, limitLevelPrefix);
    if (scan.totalCoeff < count) {
        WriteCode(writer, TotalZeros(count, scan.totalCoeff, scan.totalZeros));
    }
    WriteRuns(writer, scan);
    return scan.totalCoeff;
}

}  // namespace qzt::h264
