// Writes tables.h264, an H.264 stream that codes every entry of the stand-in's code tables, and
// tables.crc, the CRC-32 of each of its pictures as the codec reconstructs it, one per line like
// the last column of ffmpeg's framehash; check_tables.sh has the machine's decoder read it back.
// - coeff_token of all five nC columns, total_zeros of 4x4 and chroma DC blocks, run_before:
//   Intra 4x4 pictures whose 4x4 blocks form a checkerboard. The "driver" blocks all have the same
//   TotalCoeff, so every "probe" block between them sees that nC; probes cycle through a list
//   that holds every table entry.
// - Levels in every suffixLength state, level_prefix 14 and the level_prefix 15 escape at both
//   ends of its range in a Baseline sequence, level_prefix 16 in a High sequence, at QP 0 where
//   such levels stay within the 16-bit range that H.264 demands of the transform's inputs.
// - The zigzag scan and the scaling factors (coefficients at every position, every QP % 6), the
//   chroma QP table (chroma DC at every QP 0..51).
// - alpha, beta and tC0 of the deblocking filter: every picture is deblocked. Flat Intra 16x16
//   macroblock pairs step by alpha - 1 and alpha at each indexA 16..51 (alpha is 0 below); a P
//   picture then moves the right macroblock of each pair (bS 1) and narrows the step in some
//   lines (bS 2). P pictures with random vectors and residuals after the textured pictures and
//   a QP sweep of textured intra macroblocks give textured edges of every bS at every indexA.
// - The filter offsets (FilterOffsetA and FilterOffsetB): the QP sweep and a P picture again with
//   the offsets at both ends of their range, and apart from each other.
// The program fails when a table entry was not coded or a block leaves the 16-bit range.
#include "cavlc.h"
#include "crc32.h"
#include "deblock.h"
#include "h264_tables.h"
#include "inter_pred.h"
#include "intra_pred.h"
#include "mb_state.h"
#include "parameter_sets.h"
#include "transform.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace qzt;
using namespace qzt::h264;

constexpr int kMbWidth = 11;
constexpr int kMbHeight = 9;
constexpr int kMbCount = kMbWidth * kMbHeight;
constexpr int kWidth = kMbWidth * 16;
constexpr int kHeight = kMbHeight * 16;
constexpr int kChromaWidth = kWidth / 2;
// While the magnitudes of a transform's inputs add up to at most this, no intermediate value of
// the inverse transform leaves 16 bits.
constexpr int64_t kMaxInputSum = 32767;
// coded_block_pattern codeNums (Table 9-4): Intra 4x4 with all luma blocks and chroma DC (31),
// inter with all luma blocks (15).
constexpr uint32_t kIntraCbpLumaChromaDc = 1;
constexpr uint32_t kInterCbpLuma = 11;
constexpr uint32_t kMbTypeI16x16DcOnly = 3;  // I_16x16_2_0_0: DC prediction, no AC, no chroma

// The levels of one block in scan order (index 0 is the lowest frequency).
struct Block {
    int levels[16] = {};
};

// What an Intra 4x4 picture codes in one macroblock: 4x4 luma blocks by raster index, chroma DC.
struct IntraMb {
    int qp = 0;
    Block luma[16];
    Block chroma[2];
};

struct FlatMb {  // an Intra 16x16 macroblock in a slice of its own: one luma DC level
    int qp = 0;
    int level = 0;
    int pairIndexA = 0;  // the indexA its pair tests, the QP of the P picture's macroblock here
    int narrowing = 0;   // right macroblock of a pair: the DC level that narrows the pair's step
};

struct InterMb {
    int qp = 0;
    MotionVector mv;
    Block luma[16];
};

std::string Key(const char* name, int a, int b, int c = -1) {
    std::string key = std::string(name) + " " + std::to_string(a) + " " + std::to_string(b);
    return c < 0 ? key : key + " " + std::to_string(c);
}

int64_t LevelCode(int level) {
    return level > 0 ? 2 * int64_t{level} - 2 : -2 * int64_t{level} - 1;
}

int LevelOfCode(int64_t levelCode) {
    return static_cast<int>(levelCode % 2 == 0 ? levelCode / 2 + 1 : -(levelCode + 1) / 2);
}

// levelCode that level_prefix 15 carries with a zero level_suffix in a suffixLength state.
int64_t EscapeBase(int suffixLength) {
    return (int64_t{15} << suffixLength) + (suffixLength == 0 ? 15 : 0);
}

// How a levelCode is written in a suffixLength state: 0 for level_prefix up to 13 (14 when
// suffixLength > 0), else the level_prefix 14, 15 or 16 (16 stands for 16 and above).
int PrefixForm(int64_t levelCode, int suffixLength) {
    if (suffixLength == 0 && levelCode < 14) {
        return 0;
    }
    if (suffixLength == 0 && levelCode < 30) {
        return 14;
    }
    if (suffixLength > 0 && levelCode < (int64_t{15} << suffixLength)) {
        return 0;
    }
    return levelCode - EscapeBase(suffixLength) < 4096 ? 15 : 16;
}

// The table entries a stream codes, as keys such as "coeff_token 2 5 1" (nC column, TotalCoeff,
// TrailingOnes), read off each block the way the syntax of clause 7.3.5.3.2 sends it.
class Coverage {
public:
    void Note(const int* levels, int count, int nC) {
        int coded[16] = {};  // non-zero levels from the highest frequency down
        int runs[16] = {};   // zeros below each of them, up to the next one
        int total = 0;
        int zeros = 0;
        for (int pos = count - 1; pos >= 0; --pos) {
            if (levels[pos] != 0) {
                coded[total++] = levels[pos];
            } else if (total > 0) {
                ++runs[total - 1];
                ++zeros;
            }
        }
        int ones = 0;
        while (ones < std::min(total, 3) && std::abs(coded[ones]) == 1) {
            ++ones;
        }
        const int column = nC < 0 ? 4 : nC < 2 ? 0 : nC < 4 ? 1 : nC < 8 ? 2 : 3;
        m_used.insert(Key("coeff_token", column, total, ones));
        NoteLevels(coded, total, ones);
        if (total > 0 && total < count) {
            m_used.insert(Key(count == 4 ? "total_zeros_chroma_dc" : "total_zeros", total, zeros));
        }
        for (int i = 0, zerosLeft = zeros; i < total - 1 && zerosLeft > 0; zerosLeft -= runs[i++]) {
            m_used.insert(Key("run_before", std::min(zerosLeft, 7), runs[i]));
        }
    }

    // Prints the entries of the tables not coded; returns how many.
    int ReportMissing() const {
        int missing = 0;
        const auto need = [&](const std::string& key) {
            if (m_used.count(key) == 0) {
                std::printf("not coded: %s\n", key.c_str());
                ++missing;
            }
        };
        for (int column = 0; column < 5; ++column) {
            for (int total = 0; total <= (column == 4 ? 4 : 16); ++total) {
                for (int ones = 0; ones <= std::min(total, 3); ++ones) {
                    need(Key("coeff_token", column, total, ones));
                }
            }
        }
        for (int total = 1; total < 16; ++total) {
            for (int zeros = 0; zeros <= 16 - total; ++zeros) {
                need(Key("total_zeros", total, zeros));
            }
        }
        for (int total = 1; total < 4; ++total) {
            for (int zeros = 0; zeros <= 4 - total; ++zeros) {
                need(Key("total_zeros_chroma_dc", total, zeros));
            }
        }
        for (int zerosLeft = 1; zerosLeft <= 7; ++zerosLeft) {
            for (int run = 0; run <= (zerosLeft == 7 ? 14 : zerosLeft); ++run) {
                need(Key("run_before", zerosLeft, run));
            }
        }
        for (int suffixLength = 0; suffixLength <= 6; ++suffixLength) {
            for (const int prefix : {0, 14, 15, 16}) {
                if (prefix != 14 || suffixLength == 0) {
                    need(Key("level_prefix", suffixLength, prefix));
                }
            }
        }
        return missing;
    }

private:
    // The levels after the trailing ones, with the suffixLength state each is written in.
    void NoteLevels(const int* coded, int total, int ones) {
        int suffixLength = total > 10 && ones < 3 ? 1 : 0;
        for (int i = ones; i < total; ++i) {
            const int64_t levelCode = LevelCode(coded[i]) - (i == ones && ones < 3 ? 2 : 0);
            m_used.insert(Key("level_prefix", suffixLength, PrefixForm(levelCode, suffixLength)));
            suffixLength = std::max(suffixLength, 1);
            if (std::abs(coded[i]) > (3 << (suffixLength - 1)) && suffixLength < 6) {
                ++suffixLength;
            }
        }
    }

    std::set<std::string> m_used;
};

// ---- Blocks -------------------------------------------------------------------------------------

// A block with `total` non-zero levels: the highest `ones` are +-1, the next +-2
// (so that TrailingOnes is exactly `ones`), the others 1..3, with changing signs. Of the `zeros`
// zeros below the highest level, `firstRun` lie right below it and the rest below the lowest.
Block Shaped(int total, int ones, int zeros, int firstRun) {
    Block block;
    int pos = total + zeros - 1;
    for (int i = 0; i < total; ++i) {
        const int magnitude = i < ones ? 1 : i == ones ? 2 : 1 + i % 3;
        block.levels[pos] = (i + total + zeros) % 2 == 0 ? magnitude : -magnitude;
        pos -= i == 0 ? firstRun + 1 : 1;
    }
    return block;
}

// Every (TotalCoeff, TrailingOnes) and every (TotalCoeff, total_zeros) of a block of `count`
// levels; for 4x4 blocks also every run_before (zerosLeft 1..6, and 14 for the column of 7 and
// more).
std::vector<Block> EveryEntry(int count) {
    std::vector<Block> blocks;
    for (int total = 0; total <= count; ++total) {
        for (int ones = 0; ones <= std::min(total, 3); ++ones) {
            const int zeros = (5 * total + ones) % (count - total + 1);
            blocks.push_back(Shaped(total, ones, zeros, zeros / 2));
        }
    }
    for (int total = 1; total < count; ++total) {
        for (int zeros = 0; zeros <= count - total; ++zeros) {
            blocks.push_back(Shaped(total, zeros % (std::min(total, 3) + 1), zeros, zeros % 3));
        }
    }
    for (int zerosLeft = 1; count == 16 && zerosLeft <= 14; zerosLeft += zerosLeft == 6 ? 8 : 1) {
        for (int run = 0; run <= zerosLeft; ++run) {
            blocks.push_back(Shaped(2, 0, zerosLeft, run));
        }
    }
    return blocks;
}

// A block that codes `coding` (levels in the order the syntax sends them) in its lowest positions.
Block InCodingOrder(const std::vector<int>& coding) {
    Block block;
    for (size_t i = 0; i < coding.size(); ++i) {
        block.levels[coding.size() - 1 - i] = coding[i];
    }
    return block;
}

// Blocks whose last level is written in suffixLength state s = 0..6 (three trailing ones, then
// levels that raise suffixLength to s): level_prefix 14 at both ends (s = 0) or at its largest
// and levelCode 0 (s > 0), and the level_prefix 15 escape at both ends of its range; or, with
// `prefix16`, level_prefix 16 at its smallest and at a large level still inside the 16-bit range.
// Also the escape as the first level after no trailing ones, where the syntax lowers levelCode
// by 2.
std::vector<Block> LevelBlocks(bool prefix16) {
    static const std::vector<int> kRaise[7] = {{}, {2}, {4}, {4, 7}, {4, 7, 13}, {4, 7, 13, 25}, {4, 7, 13, 25, 49}};
    std::vector<Block> blocks;
    for (int s = 0; s <= 6; ++s) {
        const int64_t base = EscapeBase(s);
        std::vector<int64_t> codes = {base, base + 4095, (int64_t{15} << s) - 1, s == 0 ? 29 : 0};
        if (prefix16) {
            codes = {base + 4096, LevelCode(-3000)};
        }
        for (const int64_t code : codes) {
            std::vector<int> coding = {1, -1, 1};
            coding.insert(coding.end(), kRaise[s].begin(), kRaise[s].end());
            coding.push_back(LevelOfCode(code));
            blocks.push_back(InCodingOrder(coding));
        }
    }
    blocks.push_back(InCodingOrder({LevelOfCode(EscapeBase(0) + (prefix16 ? 4096 : 4095) + 2)}));
    return blocks;
}

// A third of the blocks empty, the others up to four +-1 levels at random positions: within the
// 16-bit range at every QP.
Block Sparse(std::mt19937& rng) {
    Block block;
    if (rng() % 3 != 0) {
        for (int i = rng() % 5; i > 0; --i) {
            block.levels[rng() % 16] = rng() % 2 == 0 ? 1 : -1;
        }
    }
    return block;
}

// An Intra 4x4 picture whose luma blocks form a checkerboard: the blocks with even bx + by
// ("drivers") have `driverTotal` coefficients each, so every other block's nC is driverTotal;
// those take `probes` in turn. Chroma DC blocks take `chroma` in turn.
std::vector<IntraMb> Checkerboard(int driverTotal, const std::vector<Block>& probes, const std::vector<Block>& chroma,
                                  int (*qpOf)(int mb)) {
    std::vector<IntraMb> mbs(kMbCount);
    size_t probe = 0;
    size_t chromaBlock = 0;
    int driver = 0;
    for (int mb = 0; mb < kMbCount; ++mb) {
        mbs[mb].qp = qpOf(mb);
        for (int i = 0; i < 16; ++i) {
            if ((i % 4 + i / 4) % 2 == 0) {
                const int ones = driver % (std::min(driverTotal, 3) + 1);
                mbs[mb].luma[i] = Shaped(driverTotal, ones, driver % (17 - driverTotal), 0);
                ++driver;
            } else {
                mbs[mb].luma[i] = probes[probe++ % probes.size()];
            }
        }
        for (Block& block : mbs[mb].chroma) {
            block = chroma[chromaBlock++ % chroma.size()];
        }
    }
    return mbs;
}

// Macroblock QPs 0..51, then 16..51 again (where the deblocking filter works): chroma DC at every
// QP (levels scaled up at low QPs, where small ones would vanish in the rounding), sparse luma
// residual for intra edges at every indexA.
std::vector<IntraMb> QpSweep(const std::vector<Block>& chroma, std::mt19937& rng) {
    std::vector<IntraMb> mbs(kMbCount);
    size_t chromaBlock = 0;
    for (int mb = 0; mb < kMbCount; ++mb) {
        mbs[mb].qp = mb < 52 ? mb : 16 + (mb - 52) % 36;
        for (Block& block : mbs[mb].luma) {
            block = Sparse(rng);
        }
        for (Block& block : mbs[mb].chroma) {
            do {
                block = chroma[chromaBlock++ % chroma.size()];
            } while (TotalCoeff(block.levels, 4) == 0);
            for (int& level : block.levels) {
                level *= 32 >> std::min(mbs[mb].qp / 6, 5);  // large enough to show below QP 30
            }
        }
    }
    return mbs;
}

// P macroblocks with QPs that climb through 14..51 from a random start (so that neighbours
// average to every indexA from 15), random full-sample vectors and sparse residuals.
std::vector<InterMb> RandomInter(std::mt19937& rng) {
    std::vector<InterMb> mbs(kMbCount);
    const int firstQp = static_cast<int>(rng() % 38);
    for (int mb = 0; mb < kMbCount; ++mb) {
        mbs[mb].qp = 14 + (firstQp + mb) % 38;
        if (mb % kMbWidth > 0 && rng() % 3 == 0) {
            mbs[mb].mv = mbs[mb - 1].mv;  // equal vectors: edges of bS 0 and 2 as well as 1
        } else {
            mbs[mb].mv = MotionVector{4 * static_cast<int>(rng() % 33) - 64, 4 * static_cast<int>(rng() % 33) - 64};
        }
        for (Block& block : mbs[mb].luma) {
            block = Sparse(rng);
        }
    }
    return mbs;
}

// ---- Flat macroblock pairs for alpha -----------------------------------------------------------

// The luma sample value of a flat Intra 16x16 macroblock (DC prediction without neighbours:
// 128) with one luma DC level, or -1 where that level leaves the 16-bit range.
int FlatValue(int level, int qp) {
    int levels[16] = {level};
    int dc[16];
    InverseLumaDc(levels, qp, dc);
    const int d[16] = {dc[0]};
    int residual[16];
    InverseTransform4x4(d, residual);
    return std::abs(dc[0]) > kMaxInputSum ? -1 : std::clamp(128 + residual[0], 0, 255);
}

// For each QP, a luma DC level (the smallest) that gives each flat value, where one does.
class FlatLevels {
public:
    FlatLevels() : m_levelFor(52, std::vector<int>(256, kNone)) {
        for (int qp = 0; qp < 52; ++qp) {
            for (int level = kMaxLevel; level >= -kMaxLevel; --level) {
                const int value = FlatValue(level, qp);
                if (value >= 0 && std::abs(level) <= std::abs(m_levelFor[qp][value])) {
                    m_levelFor[qp][value] = level;
                }
            }
        }
    }
    bool Reachable(int qp, int value) const {
        return qp >= 0 && qp < 52 && value >= 0 && value < 256 && m_levelFor[qp][value] != kNone;
    }
    int Level(int qp, int value) const { return m_levelFor[qp][value]; }

private:
    static constexpr int kMaxLevel = 300;
    static constexpr int kNone = kMaxLevel + 1;
    std::vector<std::vector<int>> m_levelFor;  // [qp][value]
};

// A pair whose right macroblock is `step` above the left one and whose QPs average to indexA.
bool FindFlatPair(const FlatLevels& levels, int indexA, int step, FlatMb& left, FlatMb& right) {
    for (int qpLeft = 0; qpLeft < 52; ++qpLeft) {
        for (int qpRight = 2 * indexA - 1 - qpLeft; qpRight <= 2 * indexA - qpLeft; ++qpRight) {
            for (int value = 0; value < 256; ++value) {
                if (levels.Reachable(qpLeft, value) && levels.Reachable(qpRight, value + step)) {
                    left = {qpLeft, levels.Level(qpLeft, value), indexA, 0};
                    right = {qpRight, levels.Level(qpRight, value + step), indexA, -1};
                    return true;
                }
            }
        }
    }
    return false;
}

// Pictures of flat macroblock pairs, side by side, whose luma values differ by alpha - 1 (the
// edge is filtered) and by alpha (it is not) at every indexA 16..51. The other macroblocks stay
// at 128. Exits when a step cannot be made.
std::vector<std::vector<FlatMb>> FlatPairPictures() {
    constexpr int kPairsPerRow = kMbWidth / 2;
    constexpr int kPairsPerPicture = kPairsPerRow * kMbHeight;
    const FlatLevels levels;
    std::vector<std::vector<FlatMb>> pictures;
    int pair = 0;
    for (int indexA = 16; indexA < 52; ++indexA) {
        for (const int step : {kAlpha[indexA] - 1, kAlpha[indexA] + 0}) {
            if (pair % kPairsPerPicture == 0) {
                pictures.emplace_back(kMbCount);
            }
            const int mb = pair % kPairsPerPicture / kPairsPerRow * kMbWidth + pair % kPairsPerRow * 2;
            if (!FindFlatPair(levels, indexA, step, pictures.back()[mb], pictures.back()[mb + 1])) {
                std::printf("no flat pair steps by %d at indexA %d\n", step, indexA);
                std::exit(1);
            }
            ++pair;
        }
    }
    return pictures;
}

// A P picture over a picture of flat pairs, every macroblock at its pair's indexA: the left
// macroblock of a pair stays, the right one moves by a sample, so that the pair's edge has bS 1,
// and has a DC level in its block at (0, 1) that narrows the step, bS 2 for lines 4..7.
std::vector<InterMb> FlatPairInter(const std::vector<FlatMb>& flat) {
    std::vector<InterMb> mbs(kMbCount);
    for (int mb = 0; mb < kMbCount; ++mb) {
        mbs[mb].qp = flat[mb].pairIndexA;
        if (flat[mb].narrowing != 0) {
            mbs[mb].mv = MotionVector{4, 0};
            mbs[mb].luma[4].levels[0] = flat[mb].narrowing;
        }
    }
    return mbs;
}

// ---- The stream -----------------------------------------------------------------------------------

class TableStream {
public:
    TableStream() { m_recon.Resize(kWidth, kHeight); }

    // Parameter sets for a new sequence; profile 66 keeps level_prefix at most 15.
    void StartSequence(uint32_t profileIdc) {
        StreamSettings settings;
        settings.width = kWidth;
        settings.height = kHeight;
        settings.profileIdc = profileIdc;
        AppendParameterSets(settings, m_unit);
        m_limitLevelPrefix = profileIdc == 66;
    }

    // An IDR picture of Intra 4x4 macroblocks (DC prediction) in one slice.
    void IntraPicture(const std::vector<IntraMb>& mbs) {
        StartPicture();
        std::vector<uint8_t> rbsp;
        BitWriter writer(rbsp);
        WriteSliceHeader(writer, 0, true, mbs[0].qp);
        int lastQp = mbs[0].qp;
        for (int mb = 0; mb < kMbCount; ++mb) {
            CodeIntraMb(writer, mb, mbs[mb], lastQp);
        }
        FinishPicture(writer, rbsp, kNalIdrSlice);
    }

    // An IDR picture of flat Intra 16x16 macroblocks, each in a slice of its own.
    void FlatPicture(const std::vector<FlatMb>& mbs) {
        StartPicture();
        for (int mb = 0; mb < kMbCount; ++mb) {
            std::vector<uint8_t> rbsp;
            BitWriter writer(rbsp);
            WriteSliceHeader(writer, mb, true, mbs[mb].qp);
            CodeFlatMb(writer, mb, mbs[mb]);
            if (mb + 1 < kMbCount) {
                writer.TrailingBits();
                m_unit.AppendNal(3, kNalIdrSlice, rbsp);
            } else {
                FinishPicture(writer, rbsp, kNalIdrSlice);
            }
        }
    }

    // A P picture of P_L0_16x16 macroblocks that predicts from the picture before it.
    void InterPicture(const std::vector<InterMb>& mbs) {
        m_reference.Build(m_recon);
        StartPicture();
        std::vector<uint8_t> rbsp;
        BitWriter writer(rbsp);
        WriteSliceHeader(writer, 0, false, mbs[0].qp);
        int lastQp = mbs[0].qp;
        for (int mb = 0; mb < kMbCount; ++mb) {
            CodeInterMb(writer, mb, mbs[mb], lastQp);
        }
        FinishPicture(writer, rbsp, kNalSlice);
    }

    // The deblocking offsets of the pictures that follow (slice header and filter alike).
    void SetFilterOffsets(FilterOffsets offsets) { m_offsets = offsets; }

    // Writes the stream and the CRC list; false when a table entry was not coded or a block left
    // the 16-bit range.
    bool Write(const char* streamPath, const char* crcPath) const {
        const int missing = m_coverage.ReportMissing();
        FILE* stream = std::fopen(streamPath, "wb");
        FILE* crcs = std::fopen(crcPath, "wb");
        bool written = stream != nullptr && crcs != nullptr &&
                       std::fwrite(m_unit.bytes.data(), 1, m_unit.bytes.size(), stream) == m_unit.bytes.size();
        for (size_t i = 0; written && i < m_crcs.size(); ++i) {
            written = std::fprintf(crcs, "%08x\n", static_cast<unsigned>(m_crcs[i])) > 0;
        }
        written = (stream != nullptr && std::fclose(stream) == 0 && written);
        written = (crcs != nullptr && std::fclose(crcs) == 0 && written);
        std::printf("%zu pictures, %zu bytes; table entries not coded: %d; blocks out of range: %d\n", m_crcs.size(),
                    m_unit.bytes.size(), missing, m_outOfRange);
        return written && missing == 0 && m_outOfRange == 0;
    }

private:
    void StartPicture() {
        m_grid.Reset(kMbWidth, kMbHeight);
        m_filterInfo.assign(kMbCount, MbFilterInfo{});
    }

    void FinishPicture(BitWriter& writer, const std::vector<uint8_t>& rbsp, uint8_t nalType) {
        writer.TrailingBits();
        m_unit.AppendNal(nalType == kNalIdrSlice ? 3 : 2, nalType, rbsp);
        DeblockPicture(m_recon, m_filterInfo, kMbWidth, kMbHeight, m_offsets);
        m_crcs.push_back(VisibleCrc32(m_recon, kWidth, kHeight));
        m_idrPicId ^= nalType == kNalIdrSlice ? 1 : 0;
    }

    // Slice header for the PPS of AppendParameterSets; the deblocking filter on.
    void WriteSliceHeader(BitWriter& writer, int firstMb, bool idr, int sliceQp) const {
        writer.Ue(static_cast<uint32_t>(firstMb));
        writer.Ue(idr ? 7 : 5);  // slice_type: I or P, all slices of the picture alike
        writer.Ue(0);            // pic_parameter_set_id
        writer.Bits(idr ? 0 : 1, kLog2MaxFrameNum);
        if (idr) {
            writer.Ue(static_cast<uint32_t>(m_idrPicId));
        } else {
            writer.Flag(false);  // num_ref_idx_active_override_flag
            writer.Flag(false);  // ref_pic_list_modification_flag_l0
        }
        writer.Flag(false);  // no_output_of_prior_pics_flag, or adaptive_ref_pic_marking_mode_flag
        if (idr) {
            writer.Flag(false);  // long_term_reference_flag
        }
        writer.Se(sliceQp - kPicInitQp);
        writer.Ue(0);                    // disable_deblocking_filter_idc
        writer.Se(m_offsets.alpha / 2);  // slice_alpha_c0_offset_div2
        writer.Se(m_offsets.beta / 2);   // slice_beta_offset_div2
    }

    static int QpDelta(int& lastQp, int qp) {
        const int delta = (qp - lastQp + 26 + 52) % 52 - 26;
        lastQp = qp;
        return delta;
    }

    int WriteBlock(BitWriter& writer, const Block& block, int count, int nC) {
        m_coverage.Note(block.levels, count, nC);
        return WriteResidualBlock(writer, block.levels, count, nC, m_limitLevelPrefix);
    }

    void CheckRange(const int d[16]) {
        int64_t sum = 0;
        for (int i = 0; i < 16; ++i) {
            sum += std::abs(d[i]);
        }
        m_outOfRange += sum > kMaxInputSum ? 1 : 0;
    }

    // Adds the inverse transform of d (clause 8.5.12) to the prediction at `at`, clipped.
    void AddResidual(const int d[16], uint8_t* at, int stride) {
        CheckRange(d);
        int residual[16];
        InverseTransform4x4(d, residual);
        for (int i = 0; i < 16; ++i) {
            uint8_t& sample = at[i / 4 * stride + i % 4];
            sample = static_cast<uint8_t>(std::clamp(sample + residual[i], 0, 255));
        }
    }

    // Codes a 4x4 luma block (raster position bx, by) and adds its residual to the prediction.
    void CodeLumaBlock(BitWriter& writer, int mb, int bx, int by, const Block& block, MbState& state) {
        const int total = WriteBlock(writer, block, 16, m_grid.LumaNc(mb, bx, by, state));
        state.totalCoeffLuma[by * 4 + bx] = static_cast<uint8_t>(total);
        state.nonZeroLuma |= total > 0 ? 1 << (by * 4 + bx) : 0;
        int raster[16];
        for (int k = 0; k < 16; ++k) {
            raster[kZigzag4x4[k]] = block.levels[k];
        }
        int d[16];
        DequantizeBlock(raster, state.qp, true, d);
        AddResidual(d, LumaAt(mb, bx, by), kWidth);
    }

    uint8_t* LumaAt(int mb, int bx, int by) {
        return &m_recon.y[static_cast<size_t>(mb / kMbWidth * 16 + by * 4) * kWidth + mb % kMbWidth * 16 + bx * 4];
    }

    uint8_t* ChromaAt(int plane, int mb) {
        std::vector<uint8_t>& samples = plane == 0 ? m_recon.u : m_recon.v;
        return &samples[static_cast<size_t>(mb / kMbWidth * 8) * kChromaWidth + mb % kMbWidth * 8];
    }

    static void Place(const uint8_t* pred, int size, uint8_t* at, int stride) {
        for (int y = 0; y < size; ++y) {
            std::copy(pred + y * size, pred + (y + 1) * size, at + y * stride);
        }
    }

    // The luma blocks in the order the syntax sends them (luma4x4BlkIdx), raster position each.
    static void BlockPosition(int blkIdx, int& bx, int& by) {
        bx = blkIdx / 4 % 2 * 2 + blkIdx % 2;
        by = blkIdx / 8 * 2 + blkIdx % 4 / 2;
    }

    void FinishMb(int mb, const MbState& state) {
        m_grid.At(mb) = state;
        MbFilterInfo& info = m_filterInfo[mb];
        info.intra = state.IsIntra();
        info.qp = state.qp;
        info.nonZero = state.nonZeroLuma;
        std::fill(std::begin(info.mvx), std::end(info.mvx), static_cast<int16_t>(state.mv.x));
        std::fill(std::begin(info.mvy), std::end(info.mvy), static_cast<int16_t>(state.mv.y));
    }

    void CodeIntraMb(BitWriter& writer, int mb, const IntraMb& plan, int& lastQp) {
        writer.Ue(0);  // mb_type I_NxN
        for (int i = 0; i < 16; ++i) {
            writer.Flag(true);  // prev_intra4x4_pred_mode_flag: the predicted mode, DC (all blocks are DC)
        }
        writer.Ue(kChromaDc);
        writer.Ue(kIntraCbpLumaChromaDc);
        writer.Se(QpDelta(lastQp, plan.qp));
        MbState state;
        state.kind = MbKind::kIntra4x4;
        state.slice = 0;
        state.qp = static_cast<uint8_t>(plan.qp);
        const Neighbours mbNeighbours = {mb % kMbWidth > 0, mb >= kMbWidth};
        for (int blkIdx = 0; blkIdx < 16; ++blkIdx) {
            int bx = 0;
            int by = 0;
            BlockPosition(blkIdx, bx, by);
            const Neighbours n = {bx > 0 || mbNeighbours.left, by > 0 || mbNeighbours.top};
            uint8_t pred[16];
            PredictIntra4x4(kI4Dc, LumaAt(mb, bx, by), kWidth, n, pred);
            Place(pred, 4, LumaAt(mb, bx, by), kWidth);
            CodeLumaBlock(writer, mb, bx, by, plan.luma[by * 4 + bx], state);
        }
        const int qpC = kChromaQp[plan.qp];
        for (int plane = 0; plane < 2; ++plane) {
            WriteBlock(writer, plan.chroma[plane], 4, -1);
            uint8_t pred[64];
            PredictIntraChroma(kChromaDc, ChromaAt(plane, mb), kChromaWidth, mbNeighbours, pred);
            Place(pred, 8, ChromaAt(plane, mb), kChromaWidth);
            int dc[4];
            InverseChromaDc(plan.chroma[plane].levels, qpC, dc);
            for (int b = 0; b < 4; ++b) {
                const int d[16] = {dc[b]};
                AddResidual(d, ChromaAt(plane, mb) + b / 2 * 4 * kChromaWidth + b % 2 * 4, kChromaWidth);
            }
        }
        FinishMb(mb, state);
    }

    void CodeFlatMb(BitWriter& writer, int mb, const FlatMb& plan) {
        writer.Ue(kMbTypeI16x16DcOnly);
        writer.Ue(kChromaDc);
        writer.Se(0);  // mb_qp_delta
        MbState state;
        state.kind = MbKind::kIntra16x16;
        state.slice = mb;
        state.qp = static_cast<uint8_t>(plan.qp);
        Block dcLevels;
        dcLevels.levels[0] = plan.level;
        WriteBlock(writer, dcLevels, 16, m_grid.LumaNc(mb, 0, 0, state));
        uint8_t pred[256];
        PredictIntra16x16(kI16Dc, LumaAt(mb, 0, 0), kWidth, Neighbours{}, pred);
        Place(pred, 16, LumaAt(mb, 0, 0), kWidth);
        int dc[16];
        InverseLumaDc(dcLevels.levels, plan.qp, dc);  // a lone DC level is its own raster order
        for (int i = 0; i < 16; ++i) {
            const int d[16] = {dc[i]};
            AddResidual(d, LumaAt(mb, i % 4, i / 4), kWidth);
        }
        for (int plane = 0; plane < 2; ++plane) {
            uint8_t chroma[64];
            PredictIntraChroma(kChromaDc, ChromaAt(plane, mb), kChromaWidth, Neighbours{}, chroma);
            Place(chroma, 8, ChromaAt(plane, mb), kChromaWidth);
        }
        FinishMb(mb, state);
    }

    void CodeInterMb(BitWriter& writer, int mb, const InterMb& plan, int& lastQp) {
        const MotionVector predicted = PredictedMv(m_grid, mb, 0);
        writer.Ue(0);  // mb_skip_run
        writer.Ue(0);  // mb_type P_L0_16x16
        writer.Se(plan.mv.x - predicted.x);
        writer.Se(plan.mv.y - predicted.y);
        writer.Ue(kInterCbpLuma);
        writer.Se(QpDelta(lastQp, plan.qp));
        MbState state;
        state.kind = MbKind::kInter;
        state.slice = 0;
        state.qp = static_cast<uint8_t>(plan.qp);
        state.mv = plan.mv;
        const int x = mb % kMbWidth * 16;
        const int y = mb / kMbWidth * 16;
        m_reference.PredictLuma(x, y, plan.mv.x, plan.mv.y, 16, 16, LumaAt(mb, 0, 0), kWidth);
        m_reference.PredictChroma(x / 2, y / 2, plan.mv.x, plan.mv.y, 8, 8, ChromaAt(0, mb), ChromaAt(1, mb),
                                  kChromaWidth);
        for (int blkIdx = 0; blkIdx < 16; ++blkIdx) {
            int bx = 0;
            int by = 0;
            BlockPosition(blkIdx, bx, by);
            CodeLumaBlock(writer, mb, bx, by, plan.luma[by * 4 + bx], state);
        }
        FinishMb(mb, state);
    }

    CodedUnit m_unit;
    Picture m_recon;
    RefPicture m_reference;
    MbGrid m_grid;
    std::vector<MbFilterInfo> m_filterInfo;
    std::vector<uint32_t> m_crcs;
    Coverage m_coverage;
    bool m_limitLevelPrefix = true;
    int m_idrPicId = 0;
    int m_outOfRange = 0;
    FilterOffsets m_offsets;
};

int TextureQp(int mb) {
    return mb * 7 % 30;
}
int ZeroQp(int) {
    return 0;
}

}  // namespace

int main() {
    std::mt19937 rng(2024);
    TableStream stream;
    const std::vector<Block> luma = EveryEntry(16);
    const std::vector<Block> chroma = EveryEntry(4);
    stream.StartSequence(66);
    // nC columns 0 <= nC < 2, 2 <= nC < 4, 4 <= nC < 8 and 8 <= nC; each picture then a P picture.
    for (const int driverTotal : {0, 2, 4, 8}) {
        stream.IntraPicture(Checkerboard(driverTotal, luma, chroma, TextureQp));
        stream.InterPicture(RandomInter(rng));
    }
    stream.IntraPicture(QpSweep(chroma, rng));
    stream.InterPicture(RandomInter(rng));
    stream.IntraPicture(Checkerboard(0, LevelBlocks(false), chroma, ZeroQp));
    stream.InterPicture(RandomInter(rng));
    for (const std::vector<FlatMb>& picture : FlatPairPictures()) {
        stream.FlatPicture(picture);
        stream.InterPicture(FlatPairInter(picture));
    }
    for (const FilterOffsets offsets :
         {FilterOffsets{-12, -12}, FilterOffsets{12, 12}, FilterOffsets{-6, 4}, FilterOffsets{8, -10}}) {
        stream.SetFilterOffsets(offsets);
        stream.IntraPicture(QpSweep(chroma, rng));
        stream.InterPicture(RandomInter(rng));
    }
    stream.SetFilterOffsets(FilterOffsets{});
    stream.StartSequence(100);
    stream.IntraPicture(Checkerboard(0, LevelBlocks(true), chroma, ZeroQp));
    stream.InterPicture(RandomInter(rng));
    return stream.Write("tables.h264", "tables.crc") ? 0 : 1;
}
