// Rate control of the stand-in's encoder: chooses the QP of every coded picture and, within a
// picture, of every macroblock, so that the stream follows the configured rate-control mode and
// a leaky-bucket buffer (VBV) never underflows; tells how many filler bytes a picture needs.
// Ownership: plain value. Thread rules: one controller per encoder, used by its coding thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

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
    int qp = 26;                  // QP of the first macroblock (slice QP)
    uint32_t targetBits = 0;      // what the picture should spend
    uint32_t maxBits = 0;         // more than this makes the buffer underflow (0xFFFFFFFF: no limit)
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
    // and trailing bits included) to append after it, 0 when filler is off. The count is of stream
    // bytes: a non-zero count is at least 6 and makes one unit of a 4-byte start code, the header
    // byte, count - 6 bytes 0xFF and the trailing byte 0x80.
    uint32_t EndPicture(uint32_t bits, double meanQp);
    // A skipped picture of `bits` bits went out (its period's budget was given to the coded one).
    // Returns the filler-data bytes to append after it, as EndPicture does: with filler on, the
    // periods of skipped pictures are topped up too.
    uint32_t SkippedPicture(uint32_t bits);

    // Whether the last picture drove the buffer below empty (the stream then breaks the VBV).
    bool LastPictureUnderflowed() const;
    // Buffer level in bits after the last picture, and its size.
    double BufferLevel() const;
    uint32_t BufferSize() const;

private:
    enum Kind { kIntraKind = 0, kPredictedKind = 1, kKindCount = 2 };

    // The settings after the clamps, and the figures that follow from them.
    struct Derived {
        RateMode mode = RateMode::kCbr;
        double fps = 30.0;
        double bitrate = 0.0;         // bits per second
        double peak = 0.0;            // bits per second, at least the bitrate
        double bitsPerPeriod = 0.0;   // bitrate over one frame period
        double inputPerPeriod = 0.0;  // what the bucket gains per frame period (bitrate or peak)
        double bucketSize = 0.0;
        double initialLevel = 0.0;
        double targetLevel = 0.0;  // CBR: bucket level after a removal that keeps the stream on its path
        double windowLimit = 0.0;  // most bits any run of windowPeriods periods may carry
        int windowPeriods = 1;     // most pictures a one-second window can hold
        int minQp = 0;
        int maxQp = 51;
        int qpI = 26;
        int qpP = 26;
        bool filler = false;
    };

    static Derived Derive(const RateSettings& settings);
    void ApplyPendingSettings();
    void ApplySettings(const RateSettings& settings);

    // Bucket, average account and window history.
    void AddInput(int periods);
    double RemovalMargin() const;
    double WindowRoom(double comingPictureBits) const;
    uint32_t MaxBitsNow() const;
    void Remove(double bits);
    uint32_t TakeFiller();
    void RecordPeriod(double bits);

    // Picture plans per mode.
    PicturePlan ConstantQpPlan() const;
    PicturePlan CappedQualityPlan();
    PicturePlan BitratePlan(double wantedBits);
    double CbrWantedBits() const;
    double VbrWantedBits() const;
    double PeakBudget(double comingPictureBits) const;
    double CappedBudget() const;
    double IntraWantedBits(double baseBits, double extraCap) const;
    double SkippedBitsAhead() const;
    int ModeQp() const;

    // Bits model: bits per pixel = overhead + coefficient * complexity * 2^(-(qp - 12) / 6).
    double PredictBits(double qp) const;
    double PredictBitsFor(Kind kind, double complexity, double qp) const;
    double LeastPictureBits() const;
    double ComingComplexity() const;
    int QpForBits(double bits) const;
    void Learn(double bits, double meanQp);

    // Macroblock QP within a picture.
    void StartAttempt(int qp, double targetBits, int qpFloor, bool tracking);
    void RestartAttemptCounters();
    void Track(int mbIndex, double spent);
    void GuardMaxBits(int mbIndex, double spent);
    double ExpectedFraction(int mbIndex) const;
    double ProjectedRest(int mbIndex, double spent) const;
    int TrackingStep(double desiredQp) const;
    void UpdateProfile(double finalBits);
    double AttemptEffectiveQp() const;
    void AddLoad(double spent);

    RateSettings m_pending;
    bool m_pendingValid = false;
    Derived m_derived;

    double m_level = 0.0;       // bucket level after the last removal (below 0 after an underflow)
    int m_periodsPending = 0;   // frame periods of input due before the next removal
    double m_vbrAccount = 0.0;  // VBR: bitrate allowance so far minus bits sent, credit capped
    bool m_underflowed = false;
    std::deque<double> m_recentPeriods;  // bits of the latest periods, newest last (window check)

    double m_logCoefficient[kKindCount] = {};
    double m_referenceQp = -1.0;                // running mean QP of P pictures, -1 before the first
    double m_skippedBits = 0.0;                 // running size of a skipped picture
    double m_recentComplexity = 0.0;            // running complexity of P pictures
    std::vector<double> m_profile[kKindCount];  // share of the load reached at each checkpoint

    // The open picture.
    bool m_pictureOpen = false;
    Kind m_kind = kPredictedKind;
    double m_complexity = 0.0;
    int m_mbCount = 1;
    int m_covered = 1;
    PicturePlan m_plan;

    // The attempt being coded (the first one or a retry).
    int m_attemptQp = 26;
    bool m_retried = false;             // the picture is being coded again
    double m_lastQp[2] = {-1.0, -1.0};  // effective QP of the last picture of each kind (-1: none)
    double m_attemptTarget = 0.0;
    int m_qpFloor = 0;
    bool m_tracking = false;  // steer toward the target (else only keep under maxBits)
    int m_mbQp = 26;
    double m_qpScaleSum = 0.0;  // sum of 2^(-qp / 6) over the macroblocks coded so far
    int m_qpCount = 0;
    int m_lowestQp = 51;  // lowest macroblock QP of the attempt
    int m_stride = 1;     // macroblocks between checkpoints
    int m_nextCheckpoint = 1;
    double m_load = 0.0;        // the attempt's macroblock bits so far, each scaled to QP 12
    double m_lastSpent = -1.0;  // the picture's bits at the last macroblock call (-1: none yet)
    int m_lastMbQp = 26;        // the QP given at that call
    std::vector<double> m_checkpointLoads;
};

}  // namespace qzt
