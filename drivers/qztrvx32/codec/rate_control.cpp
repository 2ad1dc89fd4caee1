// Rate control of the stand-in's encoder. Three pieces work together:
// - a leaky bucket (VBV) tracked as a decoder sees it: filled at the bitrate (the peak for VBR and
//   capped quality) once per frame period, never above its size, emptied by every picture and
//   filler unit. A picture's maxBits is the level before its removal (less a small margin), so the
//   encoder retries at a higher QP rather than underflow. A picture already at the highest QP may
//   still underflow: the level then stays below zero and the next pictures pay it back;
// - a budget per picture: CBR keeps the bucket level after each removal at a target level, so the
//   stream follows the cumulative path of bitrate / fps per period and filler tops it up exactly;
//   VBR keeps an account of the average bitrate with a little credit from easy stretches; capped
//   quality only raises QP I / QP P when the peak (bucket and windows) cannot take the picture.
//   Every budget and maxBits stays within a sliding window of the latest second's periods, so that
//   no one-second window passes its limit;
// - a bits model per picture type, bits per pixel = overhead + c * complexity * 2^(-(qp - 12) / 6),
//   whose c is learnt from every coded picture, turns a budget into a QP. Within a picture the QP
//   steers toward the budget at checkpoints and leaps up when the picture heads past maxBits.
#include "rate_control.h"

#include <algorithm>
#include <cmath>

namespace qzt {
namespace {

constexpr int kHighestQp = 51;
constexpr double kDefaultBitrate = 2000000.0;
constexpr double kDefaultFps = 30.0;
constexpr double kDefaultBucketPeriods = 1.25;  // vqx's default VBV: 1.25 frame periods of the bitrate
constexpr int kFullnessScale = 64;
constexpr uint32_t kNoLimit = 0xFFFFFFFFu;
constexpr double kPixelsPerMacroblock = 256.0;
constexpr int kMaxPicturesCovered = 1000;
constexpr double kMaxComplexity = 255.0;

// Filler: one unit is a 4-byte start code, the header byte, 0xFF bytes and the trailing byte.
constexpr uint32_t kFillerUnitMinBytes = 6;

// Window limits, per second of bits: CBR may not pass bitrate + 10 %, VBR and capped quality
// peak + 5 %; the controller holds a little below.
constexpr double kCbrWindowFactor = 1.07;
constexpr double kPeakWindowFactor = 1.035;

// CBR: how far the bucket's target level may move from the initial level's path (a fraction of
// one second's bits), with and without filler (the windows allow +-2 % and +-10 %).
constexpr double kCbrPathToleranceFiller = 0.01;
constexpr double kCbrPathTolerance = 0.04;
// CBR: the target level lies within this part of the room between empty and spilling.
constexpr double kTargetRoomLow = 0.3;
constexpr double kTargetRoomHigh = 0.7;
// CBR: most credit (bucket above its target) spent per picture, a share of one period's bits.
constexpr double kCbrCreditPerPicture = 0.04;
// Extra bits an I picture may take over the plain budget, a share of one second's bits.
constexpr double kCbrIntraExtraFiller = 0.008;
constexpr double kCbrIntraExtra = 0.03;
constexpr double kVbrIntraExtra = 0.1;
// VBR: credit kept from easy stretches, a share of one second's bits.
constexpr double kVbrCreditCap = 0.25;
// A budget leaves this share of maxBits free for the model's error.
constexpr double kBudgetShareOfMax = 0.9;

// Bits model.
constexpr double kOverheadBitsPerPixel[2] = {0.02, 0.003};  // I, P: bits spent at any QP
constexpr double kInitialCoefficient[2] = {0.5, 0.3};
constexpr double kLearnRate = 0.5;
constexpr double kMinLearnComplexity = 0.25;

// Macroblock QP steering.
constexpr int kTrackingBelowPlan = 8;  // QP range of the steering around the picture QP
constexpr int kTrackingAbovePlan = 8;
constexpr int kTrackingMaxStep = 3;        // per checkpoint
constexpr double kTrackingDeadBand = 1.0;  // QP difference left alone (mb_qp_delta costs bits)
constexpr double kEmergencyShareOfMax = 0.92;
// On a picture's first attempt the guard raises the QP at most this far above the plan: a picture
// whose plan was too low is coded again at one higher QP rather than finished at "Max QP" (which
// leaves its last rows skipped, and teaches the model that the content is cheap).
constexpr int kGuardAbovePlanFirstAttempt = 12;
constexpr int kMaxQpFallPerPicture = 2;
constexpr double kRetryShareOfMax = 0.85;
constexpr int kRetryMinStep = 2;
constexpr int kRetryMaxStep = 12;

double QpScale(double qp) {
    return std::exp2(-(qp - 12.0) / 6.0);
}

RateMode ModeFromCode(uint32_t code) {
    switch (code) {
        case static_cast<uint32_t>(RateMode::kConstantQp):
            return RateMode::kConstantQp;
        case static_cast<uint32_t>(RateMode::kCappedQuality):
            return RateMode::kCappedQuality;
        case static_cast<uint32_t>(RateMode::kVbr):
            return RateMode::kVbr;
        default:
            return RateMode::kCbr;  // CBR and every unknown code
    }
}

int ClampQp(uint32_t qp) {
    return static_cast<int>(std::min<uint32_t>(qp, kHighestQp));
}

double SanitizedComplexity(double complexity) {
    if (!std::isfinite(complexity) || complexity < 0.0) return 0.0;
    return std::min(complexity, kMaxComplexity);
}

// CBR: the level the bucket should keep after each removal. The initial level's path (a full
// start keeps the picture after it one period below full) is the natural one; the level is pulled
// into the middle of the room so that overshoots have margin before underflow and undershoots
// margin before spilling, but never so far that the move itself breaks a window.
double CbrTargetLevel(double bucketSize, double initialLevel, double inputPerPeriod, double bitrate, bool filler) {
    const double room = std::max(0.0, bucketSize - inputPerPeriod);
    const double pathLevel = initialLevel - inputPerPeriod;
    const double tolerance = (filler ? kCbrPathToleranceFiller : kCbrPathTolerance) * bitrate;
    double level = std::clamp(pathLevel, kTargetRoomLow * room, kTargetRoomHigh * room);
    level = std::max(level, pathLevel - tolerance);
    return std::clamp(level, 0.0, room);
}

}  // namespace

RateController::RateController() {
    ApplySettings(RateSettings{});
    Restart();
}

void RateController::Configure(const RateSettings& settings) {
    m_pending = settings;
    m_pendingValid = true;
}

void RateController::Restart() {
    ApplyPendingSettings();
    m_level = m_derived.initialLevel;
    m_periodsPending = 0;
    m_vbrAccount = m_derived.bitsPerPeriod;  // the first picture's period
    m_underflowed = false;
    m_recentPeriods.clear();
    for (int kind = 0; kind < kKindCount; ++kind) {
        m_logCoefficient[kind] = std::log(kInitialCoefficient[kind]);
        m_profile[kind].clear();
    }
    m_referenceQp = -1.0;
    m_lastQp[kIntraKind] = m_lastQp[kPredictedKind] = -1.0;
    m_skippedBits = 160.0;
    m_recentComplexity = 0.0;
    m_pictureOpen = false;
}

// Every clamp of the received settings is here, one per field, none refuses.
RateController::Derived RateController::Derive(const RateSettings& settings) {
    Derived derived;
    derived.mode = ModeFromCode(settings.mode);  // unknown codes behave as CBR
    // A frame rate with a zero term counts as 30/1.
    const bool fpsValid = settings.fpsNumerator != 0 && settings.fpsDenominator != 0;
    derived.fps = fpsValid ? static_cast<double>(settings.fpsNumerator) / settings.fpsDenominator : kDefaultFps;
    // Bitrate 0 counts as 2 Mbit/s.
    derived.bitrate = settings.bitrate == 0 ? kDefaultBitrate : static_cast<double>(settings.bitrate);
    // A peak below the bitrate (0 included) counts as the bitrate.
    derived.peak = std::max(static_cast<double>(settings.peakBitrate), derived.bitrate);
    derived.bitsPerPeriod = derived.bitrate / derived.fps;
    const bool peakFilled = derived.mode == RateMode::kVbr || derived.mode == RateMode::kCappedQuality;
    derived.inputPerPeriod = (peakFilled ? derived.peak : derived.bitrate) / derived.fps;
    // VBV size 0 counts as vqx's default, 1.25 frame periods of the bitrate (of the exact frame
    // rate). Any other size stays as it is, even below one period's input: a decoder's bucket has
    // that size, so every picture then fits in it (and CBR falls short of its bitrate).
    derived.bucketSize =
        settings.vbvSize == 0 ? kDefaultBucketPeriods * derived.bitsPerPeriod : static_cast<double>(settings.vbvSize);
    // Initial fullness above 64 counts as 64 (full).
    const uint32_t fullness = std::min<uint32_t>(settings.initialFullness, kFullnessScale);
    derived.initialLevel = derived.bucketSize * fullness / kFullnessScale;
    // QP values above 51 count as 51; a minimum above the maximum swaps the two.
    derived.minQp = ClampQp(std::min(settings.minQp, settings.maxQp));
    derived.maxQp = ClampQp(std::max(settings.minQp, settings.maxQp));
    const bool constantQp = derived.mode == RateMode::kConstantQp;
    // Outside constant-QP mode the QP limits win over QP I / QP P.
    derived.qpI = constantQp ? ClampQp(settings.qpI) : std::clamp(ClampQp(settings.qpI), derived.minQp, derived.maxQp);
    derived.qpP = constantQp ? ClampQp(settings.qpP) : std::clamp(ClampQp(settings.qpP), derived.minQp, derived.maxQp);
    // Filler only makes sense at a constant bitrate.
    derived.filler = settings.filler && derived.mode == RateMode::kCbr;
    derived.targetLevel = CbrTargetLevel(derived.bucketSize, derived.initialLevel, derived.inputPerPeriod,
                                         derived.bitrate, derived.filler);
    // A one-second window holds at most ceil(fps) pictures; below one frame per second a window
    // holds one picture and the limit grows to one period's bits.
    derived.windowPeriods = std::max(1, static_cast<int>(std::ceil(derived.fps - 1e-9)));
    const double windowFactor = derived.mode == RateMode::kCbr ? kCbrWindowFactor : kPeakWindowFactor;
    const double windowRate = derived.mode == RateMode::kCbr ? derived.bitrate : derived.peak;
    derived.windowLimit = windowFactor * std::max(windowRate, windowRate / derived.fps);
    return derived;
}

void RateController::ApplyPendingSettings() {
    if (!m_pendingValid) return;
    m_pendingValid = false;
    ApplySettings(m_pending);
}

void RateController::ApplySettings(const RateSettings& settings) {
    const Derived previous = m_derived;
    m_derived = Derive(settings);
    m_level = std::min(m_level, m_derived.bucketSize);
    m_vbrAccount = std::min(m_vbrAccount, m_derived.bitsPerPeriod * (1.0 + m_derived.fps * kVbrCreditCap));
    // Windows of the old limit say nothing about the new one.
    if (previous.windowLimit != m_derived.windowLimit || previous.mode != m_derived.mode) m_recentPeriods.clear();
}

// ---- Bucket, account and windows ----

void RateController::AddInput(int periods) {
    const Derived& d = m_derived;
    const double creditCap = d.bitsPerPeriod + kVbrCreditCap * d.bitrate;
    for (int period = 0; period < periods; ++period) {
        m_level = std::min(d.bucketSize, m_level + d.inputPerPeriod);
        m_vbrAccount = std::min(creditCap, m_vbrAccount + d.bitsPerPeriod);
        // Periods beyond the first had no picture reported (skipped pictures the encoder did not
        // announce through SkippedPicture): they count as empty in the window history.
        if (period > 0) RecordPeriod(0.0);
    }
}

// Bits kept back from the level in maxBits: covers rounding in a decoder's own bucket arithmetic.
double RateController::RemovalMargin() const {
    return 64.0 + 0.01 * m_derived.inputPerPeriod;
}

// Most bits the next picture may take so that every run of windowPeriods periods through it stays
// under the window limit: each run holds some of the latest periods, this picture, and pictures to
// come, counted at `comingPictureBits` each.
double RateController::WindowRoom(double comingPictureBits) const {
    const int laterPictures = m_derived.windowPeriods - 1;
    double room = m_derived.windowLimit - laterPictures * comingPictureBits;
    double pastSum = 0.0;
    const int history = static_cast<int>(m_recentPeriods.size());
    for (int past = 1; past <= std::min(laterPictures, history); ++past) {
        pastSum += m_recentPeriods[history - past];
        room = std::min(room, m_derived.windowLimit - pastSum - (laterPictures - past) * comingPictureBits);
    }
    return room;
}

uint32_t RateController::MaxBitsNow() const {
    const double limit = std::min(m_level - RemovalMargin(), WindowRoom(LeastPictureBits()));
    if (limit <= 0.0) return 0;
    return static_cast<uint32_t>(std::min(limit, static_cast<double>(kNoLimit - 1)));
}

void RateController::Remove(double bits) {
    m_level -= bits;
    m_vbrAccount -= bits;
}

// CBR with filler: whatever the bucket holds above its target level goes out as filler, so the
// stream carries exactly its path.
uint32_t RateController::TakeFiller() {
    if (!m_derived.filler) return 0;
    const double excessBytes = std::floor((m_level - m_derived.targetLevel) / 8.0);
    if (excessBytes < kFillerUnitMinBytes) return 0;
    const uint32_t bytes = static_cast<uint32_t>(std::min(excessBytes, static_cast<double>(kNoLimit / 8)));
    Remove(8.0 * bytes);
    return bytes;
}

void RateController::RecordPeriod(double bits) {
    m_recentPeriods.push_back(bits);
    while (m_recentPeriods.size() > static_cast<size_t>(m_derived.windowPeriods))
        m_recentPeriods.pop_front();
}

// ---- Picture plans ----

PicturePlan RateController::BeginPicture(bool intra, double complexity, int mbCount, int picturesCovered) {
    ApplyPendingSettings();
    m_retried = false;
    // A second BeginPicture without EndPicture replans the same picture: no second input.
    if (!m_pictureOpen) {
        AddInput(m_periodsPending);
        m_periodsPending = 0;
    }
    m_pictureOpen = true;
    m_kind = intra ? kIntraKind : kPredictedKind;
    m_complexity = SanitizedComplexity(complexity);
    m_mbCount = std::max(1, mbCount);
    m_covered = std::clamp(picturesCovered, 1, kMaxPicturesCovered);

    switch (m_derived.mode) {
        case RateMode::kConstantQp:
            m_plan = ConstantQpPlan();
            break;
        case RateMode::kCappedQuality:
            m_plan = CappedQualityPlan();
            break;
        case RateMode::kVbr:
            m_plan = BitratePlan(VbrWantedBits());
            break;
        case RateMode::kCbr:
            m_plan = BitratePlan(CbrWantedBits());
            break;
    }
    return m_plan;
}

int RateController::ModeQp() const {
    return m_kind == kIntraKind ? m_derived.qpI : m_derived.qpP;
}

PicturePlan RateController::ConstantQpPlan() const {
    PicturePlan plan;
    plan.qp = ModeQp();
    plan.targetBits = static_cast<uint32_t>(std::min(PredictBits(plan.qp), static_cast<double>(kNoLimit - 1)));
    plan.maxBits = kNoLimit;
    plan.perMacroblockQp = false;
    return plan;
}

// Capped quality: QP I / QP P unless the peak bucket cannot take the picture at that QP; the
// macroblocks then steer toward the capped budget, never below QP I / QP P.
PicturePlan RateController::CappedQualityPlan() {
    PicturePlan plan;
    plan.maxBits = MaxBitsNow();
    const double budget = std::min(CappedBudget(), kBudgetShareOfMax * plan.maxBits);
    const int modeQp = ModeQp();
    const double atModeQp = PredictBits(modeQp);
    const bool capped = atModeQp > budget;
    plan.qp = capped ? std::max(modeQp, QpForBits(budget)) : modeQp;
    const double target = capped ? budget : atModeQp;
    plan.targetBits = static_cast<uint32_t>(std::max(1.0, target));
    StartAttempt(plan.qp, target, modeQp, capped);
    return plan;
}

PicturePlan RateController::BitratePlan(double wantedBits) {
    PicturePlan plan;
    plan.maxBits = MaxBitsNow();
    const double target = std::max(1.0, std::min(wantedBits, kBudgetShareOfMax * plan.maxBits));
    plan.targetBits = static_cast<uint32_t>(target);
    plan.qp = QpForBits(target);
    // In CBR the QP falls slowly from one picture of a kind to the next: a model that saw cheap
    // pictures would otherwise plan far too low, and the picture would end at a high QP or be coded
    // again. (VBR lets it fall at once: a resting screen goes to "Min QP".)
    if (m_derived.mode == RateMode::kCbr && m_lastQp[m_kind] >= 0.0) {
        const int floor = static_cast<int>(std::floor(m_lastQp[m_kind])) - kMaxQpFallPerPicture;
        plan.qp = std::clamp(std::max(plan.qp, floor), m_derived.minQp, m_derived.maxQp);
    }
    StartAttempt(plan.qp, target, m_derived.minQp, true);
    return plan;
}

// Bits the skipped pictures after this one will take from its budget.
double RateController::SkippedBitsAhead() const {
    return (m_covered - 1) * m_skippedBits;
}

// CBR: the periods' bits, plus what brings the bucket back to its target level: a shortfall is
// paid back over a few pictures, a surplus spent slowly enough to keep the windows steady.
double RateController::CbrWantedBits() const {
    const Derived& d = m_derived;
    const double surplus = m_level - d.inputPerPeriod - d.targetLevel;
    const double payBackPictures = std::clamp(d.fps / 10.0, 2.0, 6.0);
    const double adjustment = surplus > 0.0 ? std::min(surplus, kCbrCreditPerPicture * d.bitsPerPeriod * m_covered)
                                            : surplus / payBackPictures;
    const double base = std::max(0.1 * d.bitsPerPeriod, m_covered * d.bitsPerPeriod - SkippedBitsAhead() + adjustment);
    if (m_kind != kIntraKind) return base;
    return IntraWantedBits(base, (d.filler ? kCbrIntraExtraFiller : kCbrIntraExtra) * d.bitrate);
}

// VBR: the average's share plus the account's credit over half a second (a debt over a few
// pictures), never above what the peak bucket sustains.
double RateController::VbrWantedBits() const {
    const Derived& d = m_derived;
    const double carry = m_vbrAccount - d.bitsPerPeriod;
    const double spreadPictures = carry > 0.0 ? std::max(2.0, d.fps / 2.0) : std::clamp(d.fps / 10.0, 2.0, 6.0);
    const double base =
        std::max(0.1 * d.bitsPerPeriod, m_covered * d.bitsPerPeriod - SkippedBitsAhead() + carry / spreadPictures);
    const double wanted = m_kind == kIntraKind ? IntraWantedBits(base, kVbrIntraExtra * d.bitrate) : base;
    return std::min(wanted, PeakBudget(std::min(d.inputPerPeriod, d.bitsPerPeriod)));
}

// What the peak rate sustains for this picture: its periods' input plus half of what the bucket
// holds beyond one period, within the window room left when the coming pictures take
// `comingPictureBits` each.
double RateController::PeakBudget(double comingPictureBits) const {
    const Derived& d = m_derived;
    const double bucket = m_covered * d.inputPerPeriod + 0.5 * std::max(0.0, m_level - d.inputPerPeriod);
    return std::min(bucket, WindowRoom(comingPictureBits)) - SkippedBitsAhead();
}

// Capped quality: once P pictures were seen, the coming ones keep room for their cost at QP P (at
// most one period of the peak); before that only for their least cost. An I picture while the P
// pictures are capped takes room from them so that it keeps the configured offset over their QP,
// within half the window room left above their least cost.
double RateController::CappedBudget() const {
    const Derived& d = m_derived;
    const double least = LeastPictureBits();
    const bool pSeen = m_referenceQp >= 0.0;
    const double comingAtQpP = std::max(least, PredictBitsFor(kPredictedKind, m_recentComplexity, d.qpP));
    const double budget = PeakBudget(pSeen ? std::min(d.inputPerPeriod, comingAtQpP) : least);
    const bool predictedCapped = m_referenceQp > d.qpP + 0.5;
    if (m_kind != kIntraKind || !predictedCapped) return budget;
    const double atOffset = PredictBits(m_referenceQp + (d.qpI - d.qpP));
    return std::max(budget, std::min(atOffset, 0.5 * PeakBudget(least)));
}

// An I picture asks for the bits that keep it at the quality of the recent P pictures, within
// `extraCap` above the plain budget.
double RateController::IntraWantedBits(double baseBits, double extraCap) const {
    if (m_referenceQp < 0.0) return baseBits;
    const double atReference = PredictBits(m_referenceQp - 1.0);
    return std::clamp(atReference, baseBits, baseBits + extraCap);
}

// ---- Bits model ----

double RateController::PredictBits(double qp) const {
    return PredictBitsFor(m_kind, m_complexity, qp);
}

double RateController::PredictBitsFor(Kind kind, double complexity, double qp) const {
    const double pixels = m_mbCount * kPixelsPerMacroblock;
    const double coefficient = std::exp(m_logCoefficient[kind]);
    return pixels * (kOverheadBitsPerPixel[kind] + coefficient * complexity * QpScale(qp));
}

// The least a coming picture will cost: a P picture of the coming complexity at the highest QP,
// with a margin, and never below a skipped picture.
double RateController::LeastPictureBits() const {
    return std::max(m_skippedBits, 1.25 * PredictBitsFor(kPredictedKind, ComingComplexity(), m_derived.maxQp));
}

// Complexity expected of the coming P pictures: the recent one, or before the first P picture the
// present picture's.
double RateController::ComingComplexity() const {
    return m_referenceQp < 0.0 ? m_complexity : m_recentComplexity;
}

int RateController::QpForBits(double bits) const {
    const Derived& d = m_derived;
    const double pixels = m_mbCount * kPixelsPerMacroblock;
    const double forResidual = bits / pixels - kOverheadBitsPerPixel[m_kind];
    if (forResidual <= 0.0) return d.maxQp;
    if (m_complexity <= 0.0) return d.minQp;
    const double coefficient = std::exp(m_logCoefficient[m_kind]);
    const double qp = 12.0 + 6.0 * std::log2(coefficient * m_complexity / forResidual);
    return static_cast<int>(std::lround(std::clamp(qp, static_cast<double>(d.minQp), static_cast<double>(d.maxQp))));
}

// Moves the picture type's coefficient toward what the coded picture showed. Pictures with next
// to nothing to code (a resting screen) say nothing about it.
void RateController::Learn(double bits, double meanQp) {
    if (m_complexity < kMinLearnComplexity || !std::isfinite(meanQp)) return;
    const double pixels = m_mbCount * kPixelsPerMacroblock;
    const double perPixel = bits / pixels;
    const double residual = std::max(perPixel - kOverheadBitsPerPixel[m_kind], 0.25 * perPixel);
    const double observed = std::clamp(residual / (m_complexity * QpScale(meanQp)), 1e-3, 1e2);
    m_logCoefficient[m_kind] += kLearnRate * (std::log(observed) - m_logCoefficient[m_kind]);
}

// ---- Macroblock QP ----

void RateController::StartAttempt(int qp, double targetBits, int qpFloor, bool tracking) {
    m_attemptQp = qp;
    m_attemptTarget = std::max(1.0, targetBits);
    m_qpFloor = qpFloor;
    m_tracking = tracking;
    m_stride = std::clamp(m_mbCount / 16, 4, 64);
    RestartAttemptCounters();
}

void RateController::RestartAttemptCounters() {
    m_mbQp = m_attemptQp;
    m_qpScaleSum = 0.0;
    m_qpCount = 0;
    m_load = 0.0;
    m_lastSpent = -1.0;
    m_lowestQp = m_attemptQp;
    m_nextCheckpoint = m_stride;
    m_checkpointLoads.clear();
}

int RateController::MacroblockQp(int mbIndex, uint32_t bitsSoFar) {
    if (!m_pictureOpen || !m_plan.perMacroblockQp) return m_plan.qp;
    if (mbIndex <= 0) {
        RestartAttemptCounters();
        m_lastSpent = bitsSoFar;
    } else {
        const double spent = bitsSoFar;
        AddLoad(spent);
        if (mbIndex >= m_nextCheckpoint) {
            m_checkpointLoads.push_back(m_load);
            if (m_tracking) Track(mbIndex, spent);
            while (m_nextCheckpoint <= mbIndex)
                m_nextCheckpoint += m_stride;
        }
        GuardMaxBits(mbIndex, spent);
    }
    m_qpScaleSum += QpScale(m_mbQp);
    ++m_qpCount;
    m_lastMbQp = m_mbQp;
    m_lowestQp = std::min(m_lowestQp, m_mbQp);
    return m_mbQp;
}

// The bits since the last call were spent on the macroblock before at its QP: as load, they count
// what that macroblock would have cost at QP 12, so that the profile of a picture does not depend
// on where its QPs were raised or lowered.
void RateController::AddLoad(double spent) {
    if (m_lastSpent >= 0.0 && spent > m_lastSpent) m_load += (spent - m_lastSpent) / QpScale(m_lastMbQp);
    m_lastSpent = spent;
}

// The uniform QP that would have spent what the macroblocks so far spent at their QPs (bits scale
// with 2^(-qp / 6), so the low-QP macroblocks weigh more than in a plain mean).
double RateController::AttemptEffectiveQp() const {
    if (m_qpCount == 0) return m_attemptQp;
    return 12.0 - 6.0 * std::log2(m_qpScaleSum / m_qpCount);
}

// Share of the picture's bits expected before macroblock `mbIndex`: half the plain share of
// macroblocks, half what the last picture of the type spent there (between its checkpoints on a
// straight line).
double RateController::ExpectedFraction(int mbIndex) const {
    const double plain = std::min(1.0, static_cast<double>(mbIndex) / m_mbCount);
    const std::vector<double>& profile = m_profile[m_kind];
    const size_t checkpoints = static_cast<size_t>((m_mbCount - 1) / m_stride);
    if (profile.size() != checkpoints || checkpoints == 0) return plain;
    const int segment = mbIndex / m_stride;  // between checkpoint segment - 1 and segment (0: the start)
    const double lowMb = static_cast<double>(segment) * m_stride;
    const double lowShare = segment == 0 ? 0.0 : profile[std::min(checkpoints, static_cast<size_t>(segment)) - 1];
    const bool beyondLast = static_cast<size_t>(segment) >= checkpoints;
    const double highMb = beyondLast ? m_mbCount : lowMb + m_stride;
    const double highShare = beyondLast ? 1.0 : profile[segment];
    const double share = lowShare + (highShare - lowShare) * (mbIndex - lowMb) / std::max(1.0, highMb - lowMb);
    return 0.5 * plain + 0.5 * share;
}

// Bits the rest of the picture will take at the QP used so far: its planned share, scaled by how
// fast the picture spends against its plan, (spent / expected)^trust, the pace trusted the more the
// further the picture is.
double RateController::ProjectedRest(int mbIndex, double spent) const {
    const double expectedShare = std::clamp(ExpectedFraction(mbIndex), 0.01, 0.99);
    const double pace = std::clamp(spent / (m_attemptTarget * expectedShare), 0.2, 5.0);
    const double trust = std::min(1.0, 2.0 * expectedShare);
    return m_attemptTarget * (1.0 - expectedShare) * std::pow(pace, trust);
}

int RateController::TrackingStep(double desiredQp) const {
    const double difference = desiredQp - m_mbQp;
    if (std::fabs(difference) < kTrackingDeadBand) return 0;
    return static_cast<int>(
        std::clamp(std::lround(difference), -static_cast<long>(kTrackingMaxStep), static_cast<long>(kTrackingMaxStep)));
}

// At a checkpoint: the QP moves a step toward the QP that makes the projected rest of the picture
// land on the target.
void RateController::Track(int mbIndex, double spent) {
    const Derived& d = m_derived;
    const double left = m_attemptTarget - spent;
    const double desired = left > 0.05 * m_attemptTarget
                               ? AttemptEffectiveQp() + 6.0 * std::log2(ProjectedRest(mbIndex, spent) / left)
                               : static_cast<double>(d.maxQp);
    const int low = std::max({m_qpFloor, d.minQp, m_attemptQp - kTrackingBelowPlan});
    const int high = std::max(low, std::min(d.maxQp, m_attemptQp + kTrackingAbovePlan));
    m_mbQp = std::clamp(m_mbQp + TrackingStep(desired), low, high);
}

// Before every macroblock, whatever the mode: when the projected rest of the picture would pass
// maxBits, the QP rises at once to what avoids it.
void RateController::GuardMaxBits(int mbIndex, double spent) {
    const Derived& d = m_derived;
    const double room = kEmergencyShareOfMax * m_plan.maxBits - spent;
    const double rest = std::max(1.0, ProjectedRest(mbIndex, spent));
    const double needed =
        room > 0.0 ? AttemptEffectiveQp() + 6.0 * std::log2(rest / room) : static_cast<double>(d.maxQp);
    const int ceiling = m_retried ? d.maxQp : std::min(d.maxQp, m_attemptQp + kGuardAbovePlanFirstAttempt);
    if (needed > m_mbQp) m_mbQp = static_cast<int>(std::ceil(std::min(needed, static_cast<double>(ceiling))));
}

int RateController::RetryQp(uint32_t bits) {
    if (!m_pictureOpen || m_derived.mode == RateMode::kConstantQp) return -1;
    const int maxQp = m_derived.maxQp;
    const double effectiveQp = AttemptEffectiveQp();
    Learn(bits, effectiveQp);
    if (m_lowestQp >= maxQp) return -1;  // every macroblock was at the highest QP allowed
    // The QP that brings the attempt's bits to a safe share of maxBits, at least two steps up.
    const double allowed = std::max(1.0, kRetryShareOfMax * m_plan.maxBits);
    const double neededSteps = 6.0 * std::log2(std::max(1.0, bits / allowed));
    const double step = std::clamp(neededSteps, static_cast<double>(kRetryMinStep), static_cast<double>(kRetryMaxStep));
    const int next = std::min(maxQp, static_cast<int>(std::ceil(effectiveQp + step - 1e-9)));
    const double target = std::min(m_attemptTarget, allowed);
    // The retry never goes below its QP: the steering may only raise it further.
    m_retried = true;
    StartAttempt(next, target, next, true);
    return next;
}

// ---- End of a picture ----

uint32_t RateController::EndPicture(uint32_t bits, double meanQp) {
    if (!m_pictureOpen) {
        // No plan: count the picture in the bucket all the same, as a P picture of one period.
        AddInput(m_periodsPending);
        m_kind = kPredictedKind;
        m_complexity = 0.0;
        m_covered = 1;
        m_checkpointLoads.clear();
    }
    m_pictureOpen = false;
    const double pictureBits = bits;
    const bool constantQp = m_derived.mode == RateMode::kConstantQp;
    Remove(pictureBits);
    // Constant QP has no buffer checks: the level only follows the stream, never below empty.
    m_underflowed = !constantQp && m_level < 0.0;
    if (constantQp) m_level = std::max(m_level, 0.0);

    // The controller's own effective QP when it saw every macroblock, else the encoder's mean.
    const bool sawEveryMb = m_plan.perMacroblockQp && m_qpCount == m_mbCount;
    const double usedQp = sawEveryMb || !std::isfinite(meanQp) ? AttemptEffectiveQp() : meanQp;
    Learn(pictureBits, usedQp);
    m_lastQp[m_kind] = usedQp;
    if (m_kind == kPredictedKind) {
        const bool firstP = m_referenceQp < 0.0;
        m_recentComplexity = firstP ? m_complexity : 0.7 * m_recentComplexity + 0.3 * m_complexity;
        m_referenceQp = firstP ? usedQp : 0.7 * m_referenceQp + 0.3 * usedQp;
    }
    UpdateProfile(pictureBits);

    const uint32_t filler = TakeFiller();
    RecordPeriod(pictureBits + 8.0 * filler);
    m_periodsPending = m_covered;
    return filler;
}

uint32_t RateController::SkippedPicture(uint32_t bits) {
    // The skipped picture is a removal of its own, one period after the one before it.
    AddInput(m_periodsPending > 0 ? 1 : 0);
    m_periodsPending = std::max(1, m_periodsPending - 1);
    const double pictureBits = bits;
    Remove(pictureBits);
    if (m_derived.mode == RateMode::kConstantQp) m_level = std::max(m_level, 0.0);
    m_skippedBits = 0.8 * m_skippedBits + 0.2 * pictureBits;
    const uint32_t filler = TakeFiller();
    RecordPeriod(pictureBits + 8.0 * filler);
    return filler;
}

// Keeps where the last attempt of the picture stood at each checkpoint, as a share of its whole
// load (bits taken back to one QP).
void RateController::UpdateProfile(double finalBits) {
    std::vector<double>& profile = m_profile[m_kind];
    const size_t expectedSize = static_cast<size_t>((m_mbCount - 1) / m_stride);
    AddLoad(finalBits);
    if (finalBits <= 0.0 || m_load <= 0.0 || m_checkpointLoads.size() != expectedSize) {
        profile.clear();
        return;
    }
    profile.resize(expectedSize);
    for (size_t i = 0; i < expectedSize; ++i)
        profile[i] = std::clamp(m_checkpointLoads[i] / m_load, 0.0, 1.0);
}

bool RateController::LastPictureUnderflowed() const {
    return m_underflowed;
}

double RateController::BufferLevel() const {
    return m_level;
}

uint32_t RateController::BufferSize() const {
    return static_cast<uint32_t>(std::min(m_derived.bucketSize, static_cast<double>(kNoLimit)));
}

}  // namespace qzt
