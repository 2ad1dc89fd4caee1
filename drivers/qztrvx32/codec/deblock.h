// The H.264 in-loop deblocking filter (clause 8.7) for frame pictures of 4:2:0 8-bit samples
// with disable_deblocking_filter_idc 0, one FilterOffsetA / FilterOffsetB pair for the whole
// picture and chroma_qp_index_offset 0: applied to a whole decoded picture exactly as a decoder
// does.
// Ownership: filters a caller's picture in place. Thread rules: stateless, any thread.
#pragma once

#include "picture.h"

#include <cstdint>
#include <vector>

namespace qzt::h264 {

// What the filter needs to know of one macroblock after decoding it.
struct MbFilterInfo {
    bool intra = false;    // any intra macroblock type (I_PCM counts)
    uint8_t qp = 0;        // QPY of the macroblock (for P_Skip and macroblocks without
                           // residual: the QP they inherit; for I_PCM: 0)
    uint16_t nonZero = 0;  // bit (blockY * 4 + blockX): that 4x4 luma block has non-zero
                           // coefficients (for Intra 16x16 include its DC and AC)
    int16_t mvx[16] = {};  // motion vector of each 4x4 luma block in raster order, quarter
    int16_t mvy[16] = {};  // samples (all 16 equal for a 16x16 partition); ignored for intra
};

// FilterOffsetA and FilterOffsetB: twice slice_alpha_c0_offset_div2 and slice_beta_offset_div2
// (-12 to 12, even); negative values filter fewer edges and change them less.
struct FilterOffsets {
    int alpha = 0;
    int beta = 0;
};

// Filters `picture` (width, height: whole macroblocks, mbWidth * 16 by mbHeight * 16) in place.
// `info` holds one entry per macroblock in raster order. All macroblocks use reference index 0
// of one reference picture. Edges on the picture border are not filtered; every other edge is,
// slice boundaries included (disable_deblocking_filter_idc 0).
void DeblockPicture(Picture& picture, const std::vector<MbFilterInfo>& info, int mbWidth, int mbHeight,
                    FilterOffsets offsets);

}  // namespace qzt::h264
