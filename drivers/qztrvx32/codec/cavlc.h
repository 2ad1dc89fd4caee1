// CAVLC residual coding (residual_block_cavlc, clause 7.3.5.3.2 and 9.2 of H.264).
// Ownership: writes into a caller's BitWriter. Thread rules: stateless, any thread.
#pragma once

#include "bit_writer.h"

namespace qzt::h264 {

// Largest |level| that can be written with level_prefix at most 15 whatever the block's earlier
// levels: profiles 66 (Baseline) and 77 (Main) forbid longer prefixes, so an encoder for them
// clips every level to this magnitude before it reconstructs.
constexpr int kMaxLevelPrefix15Magnitude = 2063;

// Counts what a block would signal: TotalCoeff (non-zero levels among `count`).
int TotalCoeff(const int* levels, int count);

// Writes residual_block_cavlc for `count` levels given in coding order (scan order, the first one
// at startIdx of the block: 16 for a whole 4x4 block, 15 for an AC block, 4 for chroma DC).
// nC is the context of clause 9.2.1 (-1 for chroma DC). With `limitLevelPrefix` set no level may
// need level_prefix above 15 (|level| <= kMaxLevelPrefix15Magnitude always fits); a larger level
// is a caller error, asserted in debug builds and clipped in release builds.
// Returns TotalCoeff of the block.
int WriteResidualBlock(BitWriter& writer, const int* levels, int count, int nC, bool limitLevelPrefix);

}  // namespace qzt::h264
