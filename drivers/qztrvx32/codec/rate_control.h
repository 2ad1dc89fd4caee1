// Rate control of the stand-in's encoder: chooses the QP of every coded picture and, within a
// picture, of every macroblock, so that the stream follows the configured rate-control mode and
// a leaky-bucket buffer (VBV) never underflows; tells how many filler bytes a picture needs.
// Ownership: plain value. Thread rules: one controller per encoder, used by its coding thread.
#pragma once

#include <cstdint>

namespace qzt {

// Rate-control codes of the configuration record.
enum class RateMode : uint32_t {
    kConstantQp = 0,     // QP I / QP P everywhere, bitrate settings ignored
    kCappedQuality = 3,  // QP I / QP P as target, raised only to stay under the peak
    kCbr = 4,            // constant bitrate
    kVbr = 6,            // variable bitrate: average at the bitrate, peak at the peak bitrate
};

// The configuration as received (any values vqx may send); the controller clamps them itself.
struct RateSettings {
    uint32_t mode = 4;               // a RateMode code; any other code counts as kCbr
    uint32_t bitrate = 2000000;      // bits per second
    uint32_t peakBitrate = 2000000;  // bits per second
    uint32_t vbvSize = 0;            // bits; 0 = the default below
    uint32_t initialFullness = 64;   // 0..64 scale: initial buffer level = value / 64 * size
    uint32_t minQp = 0;
    uint32_t maxQp = 51;
    uint32_t qpI = 26;
    uint32_t qpP = 26;
    bool filler = false;
    uint32_t fpsNumerator = 30;
    uint32_t fpsDenominator = 1;
};

// What the controller decided for one coded picture.
struct PicturePlan {
    int qp = 26;             // QP of the first macroblock (slice QP)
    uint32_t targetBits = 0;  // what the picture should spend
    uint32_t maxBits = 0;     // more than this makes the buffer underflow (0xFFFFFFFF: no limit)
    bool perMacroblockQp = true;  // false: every macroblock keeps `qp`
};

class RateController {
public:
    RateController();

    // Takes new settings; they apply from the next BeginPicture. The buffer level is kept
    // (clamped to a new size) unless Restart() follows.
    void Configure(const RateSettings& settings);
    // Starts a new run: the buffer at its initial fullness, the models at their defaults.
    void Restart();

    // Plans a coded picture of `mbCount` macroblocks. `complexity` is the encoder's estimate of
    // how hard the picture is (mean absolute prediction difference per luma sample, before
    // coding); `picturesCovered` is 1 + the number of skipped pictures that will follow it
    // before the next coded one (the budget of those periods goes to this picture).
    PicturePlan BeginPicture(bool intra, double complexity, int mbCount, int picturesCovered);

    // QP of macroblock `mbIndex` (raster order, 0-based) given the bits the picture has written
    // before it. Always within [min QP, max QP] outside constant-QP mode; equal to the plan's QP
    // when the plan says so.
    int MacroblockQp(int mbIndex, uint32_t bitsSoFar);

    // The picture came out at `bits` (every byte of its NAL units, 8 bits each) over the plan's
    // maxBits: the QP to code it again with, or -1 when no higher QP is allowed (the picture is
    // then sent as it is and EndPicture reports the underflow).
    int RetryQp(uint32_t bits);

    // The coded picture's final size in bits (all its NAL units) and the mean QP of its
    // macroblocks. Returns the number of filler-data bytes (whole NAL units of type 12, header
    // and trailing bits included) to append after it, 0 when filler is off.
    uint32_t EndPicture(uint32_t bits, double meanQp);
    // A skipped picture of `bits` bits went out (its period's budget was given to the coded one).
    void SkippedPicture(uint32_t bits);

    // Whether the last picture drove the buffer below empty (the stream then breaks the VBV).
    bool LastPictureUnderflowed() const;
    // Buffer level in bits after the last picture, and its size.
    double BufferLevel() const;
    uint32_t BufferSize() const;

private:
    struct Impl;
    // the implementation chooses its members
};

}  // namespace qzt
