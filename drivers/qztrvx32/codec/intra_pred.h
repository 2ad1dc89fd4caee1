// Intra prediction of H.264 (clause 8.3): 4x4 luma (9 modes), 16x16 luma (4 modes) and 8x8
// chroma (4 modes), read from the reconstructed picture around the block.
// Ownership: reads caller planes, writes caller arrays. Thread rules: stateless, any thread.
#pragma once

#include <cstdint>

namespace qzt::h264 {

// Which neighbours the block may use ("available for Intra prediction": inside the picture, in
// the same slice, and already decoded). For 4x4 luma blocks topRight covers the four samples
// above and right of the block; when they are not available but top is, the standard
// substitutes sample p[3, -1] and the prediction does so.
struct Neighbours {
    bool left = false;
    bool top = false;
    bool topLeft = false;
    bool topRight = false;
};

// Mode numbers as coded.
enum Intra4x4Mode {
    kI4Vertical,
    kI4Horizontal,
    kI4Dc,
    kI4DiagDownLeft,
    kI4DiagDownRight,
    kI4VerticalRight,
    kI4HorizontalDown,
    kI4VerticalLeft,
    kI4HorizontalUp
};
enum Intra16x16Mode { kI16Vertical, kI16Horizontal, kI16Dc, kI16Plane };
enum IntraChromaMode { kChromaDc, kChromaHorizontal, kChromaVertical, kChromaPlane };

// Whether a mode may be used with these neighbours (DC always may).
bool Intra4x4ModeUsable(int mode, const Neighbours& n);
bool Intra16x16ModeUsable(int mode, const Neighbours& n);
bool IntraChromaModeUsable(int mode, const Neighbours& n);

// `at` points at the block's top-left sample in a plane of `stride` bytes; neighbours are read
// at negative offsets only where `n` says they exist. `pred` receives the block in raster
// order (4x4 = 16, 16x16 = 256, 8x8 = 64 samples). The mode must be usable.
void PredictIntra4x4(int mode, const uint8_t* at, int stride, const Neighbours& n, uint8_t pred[16]);
void PredictIntra16x16(int mode, const uint8_t* at, int stride, const Neighbours& n, uint8_t pred[256]);
void PredictIntraChroma(int mode, const uint8_t* at, int stride, const Neighbours& n, uint8_t pred[64]);

}  // namespace qzt::h264
