// Neighbour availability, CAVLC contexts and motion vector prediction over a picture's
// macroblocks.
#include "mb_state.h"

#include <algorithm>

namespace qzt::h264 {
namespace {

int Median(int a, int b, int c) {
    return std::max(std::min(a, b), std::min(std::max(a, b), c));
}

int NcFrom(const int* available, const int* counts) {
    if (available[0] && available[1]) {
        return (counts[0] + counts[1] + 1) >> 1;
    }
    return available[0] ? counts[0] : available[1] ? counts[1] : 0;
}

// A neighbour partition for vector prediction: its reference index (-1: intra or unavailable)
// and vector.
struct MvCandidate {
    bool available = false;
    int refIdx = -1;
    MotionVector mv;
};

MvCandidate Candidate(const MbState* state) {
    MvCandidate candidate;
    if (state == nullptr) {
        return candidate;
    }
    candidate.available = true;
    if (!state->IsIntra()) {
        candidate.refIdx = 0;
        candidate.mv = state->mv;
    }
    return candidate;
}

}  // namespace

void MbGrid::Reset(int mbWidth, int mbHeight) {
    m_mbWidth = mbWidth;
    m_mbHeight = mbHeight;
    m_states.assign(static_cast<size_t>(mbWidth) * mbHeight, MbState{});
}

const MbState* MbGrid::Neighbour(int mb, int dx, int dy, int slice) const {
    const int x = mb % m_mbWidth + dx;
    const int y = mb / m_mbWidth + dy;
    if (x < 0 || x >= m_mbWidth || y < 0 || y >= m_mbHeight) {
        return nullptr;
    }
    const int address = y * m_mbWidth + x;
    if (address >= mb || m_states[static_cast<size_t>(address)].slice != slice) {
        return nullptr;
    }
    return &m_states[static_cast<size_t>(address)];
}

int MbGrid::LumaNc(int mb, int bx, int by, const MbState& current) const {
    int available[2] = {1, 1};
    int counts[2] = {0, 0};
    if (bx > 0) {
        counts[0] = current.totalCoeffLuma[by * 4 + bx - 1];
    } else if (const MbState* left = Neighbour(mb, -1, 0, current.slice)) {
        counts[0] = left->totalCoeffLuma[by * 4 + 3];
    } else {
        available[0] = 0;
    }
    if (by > 0) {
        counts[1] = current.totalCoeffLuma[(by - 1) * 4 + bx];
    } else if (const MbState* top = Neighbour(mb, 0, -1, current.slice)) {
        counts[1] = top->totalCoeffLuma[12 + bx];
    } else {
        available[1] = 0;
    }
    return NcFrom(available, counts);
}

int MbGrid::ChromaNc(int mb, int plane, int bx, int by, const MbState& current) const {
    int available[2] = {1, 1};
    int counts[2] = {0, 0};
    if (bx > 0) {
        counts[0] = current.totalCoeffChroma[plane][by * 2 + bx - 1];
    } else if (const MbState* left = Neighbour(mb, -1, 0, current.slice)) {
        counts[0] = left->totalCoeffChroma[plane][by * 2 + 1];
    } else {
        available[0] = 0;
    }
    if (by > 0) {
        counts[1] = current.totalCoeffChroma[plane][bx];
    } else if (const MbState* top = Neighbour(mb, 0, -1, current.slice)) {
        counts[1] = top->totalCoeffChroma[plane][2 + bx];
    } else {
        available[1] = 0;
    }
    return NcFrom(available, counts);
}

MotionVector PredictedMv(const MbGrid& grid, int mb, int slice) {
    const MvCandidate a = Candidate(grid.Neighbour(mb, -1, 0, slice));
    MvCandidate b = Candidate(grid.Neighbour(mb, 0, -1, slice));
    MvCandidate c = Candidate(grid.Neighbour(mb, 1, -1, slice));
    if (!c.available) {
        c = Candidate(grid.Neighbour(mb, -1, -1, slice));
    }
    if (!b.available && !c.available && a.available) {
        b = a;
        c = a;
    }
    const int matches = (a.refIdx == 0) + (b.refIdx == 0) + (c.refIdx == 0);
    if (matches == 1) {
        return a.refIdx == 0 ? a.mv : b.refIdx == 0 ? b.mv : c.mv;
    }
    return MotionVector{Median(a.mv.x, b.mv.x, c.mv.x), Median(a.mv.y, b.mv.y, c.mv.y)};
}

MotionVector SkipMv(const MbGrid& grid, int mb, int slice) {
    const MbState* left = grid.Neighbour(mb, -1, 0, slice);
    const MbState* top = grid.Neighbour(mb, 0, -1, slice);
    if (left == nullptr || top == nullptr) {
        return MotionVector{};
    }
    const MvCandidate a = Candidate(left);
    const MvCandidate b = Candidate(top);
    if ((a.refIdx == 0 && a.mv == MotionVector{}) || (b.refIdx == 0 && b.mv == MotionVector{})) {
        return MotionVector{};
    }
    return PredictedMv(grid, mb, slice);
}

}  // namespace qzt::h264
