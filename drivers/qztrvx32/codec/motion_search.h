// Motion search for 16x16 partitions: finds the vector that best predicts a macroblock from the
// reference picture, trading prediction error against the bits of the vector difference.
// Ownership: reads caller pictures. Thread rules: stateless apart from caller-owned scratch;
// any thread.
#pragma once

#include "inter_pred.h"
#include "picture.h"

#include <cstdint>

namespace qzt::h264 {

struct MotionVector {
    int x = 0;  // quarter luma samples
    int y = 0;
    bool operator==(const MotionVector& other) const { return x == other.x && y == other.y; }
    bool operator!=(const MotionVector& other) const { return !(*this == other); }
};

struct SearchSettings {
    int rangeFullPel = 64;   // the search covers at least +-range full samples around the candidates
    bool halfPel = true;     // "Half Pixel": off means full-sample vectors only
    bool quarterPel = true;  // "Quarter Pixel": off means at most half-sample vectors
    int lambda = 4;          // cost of one bit of vector difference, in SAD units
};

struct SearchResult {
    MotionVector mv;
    int cost = 0;  // SAD (luma) of the prediction plus lambda * bits(mv - predicted)
    int sad = 0;   // SAD of the prediction alone
};

// Bits of the two se(v) codes of a vector difference (in quarter samples).
int MvdBits(const MotionVector& mv, const MotionVector& predicted);

// Searches the macroblock at (mbX, mbY) of `current` (16x16 luma) in `ref`. `predicted` is the
// vector the decoder predicts (the mvd is coded against it); `candidates` are extra start points
// (the skip vector, neighbours' vectors, the co-located vector of the last picture ...). The
// result honours the sub-sample settings: with halfPel off every component is a multiple of 4,
// with quarterPel off a multiple of 2. Vectors stay within the range H.264 allows for the level
// ([-2048, 2047.75] horizontally, [-512, 511.75] vertically) and may point outside the picture.
SearchResult SearchMacroblock(const Picture& current, const RefPicture& ref, int mbX, int mbY,
                              const MotionVector& predicted, const MotionVector* candidates, int candidateCount,
                              const SearchSettings& settings);

// SAD of the 16x16 luma prediction at `mv` (quarter samples) against the macroblock.
int PredictionSad(const Picture& current, const RefPicture& ref, int mbX, int mbY, const MotionVector& mv);

}  // namespace qzt::h264
