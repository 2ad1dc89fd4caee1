// The property set's derived values: H.264 level, resolution-dependent defaults and limits, and
// the VBV figures that follow the bitrate and the frame rate.
#include "encoder/property_set.h"

#include <limits>

namespace vqx {

namespace {

// The 32-bit build computes in the x87 unit's extended precision; a store through a volatile
// double rounds every intermediate result to double precision, as the derivation requires.
double AsDouble(double value) {
    volatile double rounded = value;
    return rounded;
}

struct FormatDefaults {
    uint32 intraRefresh;
    uint32 bitrate;
    uint32 level;
};

// Class by frame height (and 720x480), then frame rate: at most 30 fps counts as low.
FormatDefaults DeriveFormatDefaults(uint32 width, uint32 height, uint32 numerator, uint32 denominator) {
    const bool low = numerator <= 30u * denominator;  // products modulo 2^32
    if (height == 1080) return low ? FormatDefaults{68, 10000000, 40} : FormatDefaults{68, 15000000, 42};
    if (height == 720) {
        if (low) return FormatDefaults{45, 6000000, 31};
        if (numerator <= 60u * denominator) return FormatDefaults{45, 10000000, 32};
        const bool above68 = AsDouble(68.3 * static_cast<double>(denominator)) < static_cast<double>(numerator);
        return FormatDefaults{45, 10000000, above68 ? 42u : 40u};
    }
    if (width == 720 && height == 480) {
        return low ? FormatDefaults{30, 2250000, 30} : FormatDefaults{30, 4000000, 31};
    }
    return FormatDefaults{30, low ? 2000000u : 3500000u, 30};
}

// The maximum bit rate of the level (H.264 Table A-1, the levels this encoder picks).
uint32 MaxBitrateForLevel(uint32 level) {
    switch (level) {
        case 31:
            return 14000000;
        case 32:
        case 40:
            return 20000000;
        case 41:
        case 42:
            return 50000000;
        default:
            return 10000000;
    }
}

// Round half up by adding 0.5 and truncating; values beyond the signed 32-bit range saturate.
int64 RoundToInt32(double value) {
    const double rounded = AsDouble(value + 0.5);
    if (!(rounded > static_cast<double>(std::numeric_limits<int32>::min()))) {
        return rounded != rounded ? 0 : std::numeric_limits<int32>::min();
    }
    if (rounded >= 2147483648.0) return std::numeric_limits<int32>::max();
    return static_cast<int32>(rounded);
}

// Truncation toward zero into an unsigned 32-bit field, saturating above its range.
uint32 TruncateToUint32(double value) {
    if (!(value > 0.0)) return 0;
    if (value >= 4294967296.0) return std::numeric_limits<uint32>::max();
    return static_cast<uint32>(value);
}

}  // namespace

void PropertySet::RecomputeFromFormat() {
    const zep::ZEPCreateParams& format = m_createParams;
    const bool low = format.fpsNumerator <= 30u * format.fpsDenominator;
    const uint32 idrPeriod = low ? 150 : 300;
    const FormatDefaults derived =
        DeriveFormatDefaults(format.width, format.height, format.fpsNumerator, format.fpsDenominator);
    m_createParams.level = derived.level;

    const int64 maxBitrate = MaxBitrateForLevel(derived.level);
    const int64 macroblocks = MacroblockCount();
    SetInfoInt64(property_name::kBitrate, &VQXPropertyInfo::maxValue, maxBitrate);
    SetInfoInt64(property_name::kBitrate, &VQXPropertyInfo::defaultValue, derived.bitrate);
    SetInfoInt64(property_name::kPeakBitrate, &VQXPropertyInfo::maxValue, maxBitrate);
    SetInfoInt64(property_name::kPeakBitrate, &VQXPropertyInfo::defaultValue, derived.bitrate);
    SetInfoInt64(property_name::kIdrPeriod, &VQXPropertyInfo::defaultValue, idrPeriod);
    SetInfoInt64(property_name::kSlicesPerFrame, &VQXPropertyInfo::maxValue, macroblocks);
    SetInfoInt64(property_name::kIntraRefreshPerSlot, &VQXPropertyInfo::maxValue, macroblocks);
    SetInfoInt64(property_name::kIntraRefreshPerSlot, &VQXPropertyInfo::defaultValue, derived.intraRefresh);

    m_config.derivedIdrPeriod = idrPeriod;
}

void PropertySet::RecomputeVbv() {
    const uint32 numerator = m_createParams.fpsNumerator;
    const uint32 denominator = m_createParams.fpsDenominator;
    if (numerator == 0 || denominator == 0) return;

    const uint32 bitrate = m_config.bitrate;
    const double fps = AsDouble(static_cast<double>(numerator) / static_cast<double>(denominator));
    const double bitsPerFrame = AsDouble(static_cast<double>(bitrate) / fps);
    SetInfoInt64(property_name::kVbvBufferSize, &VQXPropertyInfo::minValue, RoundToInt32(bitsPerFrame));
    SetInfoInt64(property_name::kVbvBufferSize, &VQXPropertyInfo::defaultValue,
                 RoundToInt32(AsDouble(1.25 * bitsPerFrame)));
    SetInfoInt64(property_name::kVbvBufferSize, &VQXPropertyInfo::maxValue,
                 RoundToInt32(static_cast<double>(static_cast<uint32>(2u * bitrate))));

    // The record uses the whole frames per second (29 for 30000/1001); below one frame per second
    // it counts as one.
    const uint32 wholeFps = numerator / denominator;
    const double divisor = wholeFps == 0 ? 1.0 : static_cast<double>(wholeFps);
    m_config.vbvBufferSize = TruncateToUint32(AsDouble(AsDouble(1.25 * static_cast<double>(bitrate)) / divisor));
    m_config.changeMask |= zep::kChangeVbvBufferSize;
}

}  // namespace vqx
