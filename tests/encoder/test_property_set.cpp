// White-box tests of the encoder's property set: derived defaults and limits, appliers. The
// descriptions, access modes and usages are checked end to end by vqxcap's property table
// (tests/tools/golden), the records reaching the service by test_component_host.
#include "encoder/property_set.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vqx::test {
namespace {

int64 Int64Of(const VQXVARIANT& value) {
    EXPECT_EQ(value.type, VQX_VARIANT_INT64);
    return value.int64Value;
}
int64 DefaultOf(PropertySet& set, const wchar_t* name) {
    return Int64Of(set.FindPropertyInfo(name)->defaultValue);
}
int64 MinOf(PropertySet& set, const wchar_t* name) {
    return Int64Of(set.FindPropertyInfo(name)->minValue);
}
int64 MaxOf(PropertySet& set, const wchar_t* name) {
    return Int64Of(set.FindPropertyInfo(name)->maxValue);
}

void Apply(PropertySet& set, const wchar_t* name, int64 value) {
    set.ApplyProperty(name, VQXVariant::FromInt64(value), false);
}
void ApplyFormat(PropertySet& set, int64 width, int64 height, int64 numerator, int64 denominator) {
    Apply(set, L"Width", width);
    Apply(set, L"Height", height);
    Apply(set, L"FPS Numerator", numerator);
    Apply(set, L"FPS Denominator", denominator);
}

TEST(PropertySetTest, TheFormatDerivesLevelDefaultsAndLimits) {
    struct Case {
        int64 width, height, numerator, denominator;
        uint32 level;
        int64 bitrate, maxBitrate, idr, intraRefresh, macroblocks;
    };
    // The two displays of the golden property tables are left to them.
    const Case cases[] = {
        {1920, 1080, 60, 1, 42, 15000000, 50000000, 300, 68, 8160},
        {1920, 1080, 30, 1, 40, 10000000, 20000000, 150, 68, 8160},
        {1280, 720, 61, 1, 40, 10000000, 20000000, 300, 45, 3600},
        {1280, 720, 69, 1, 42, 10000000, 50000000, 300, 45, 3600},
        {1280, 720, 60, 1, 32, 10000000, 20000000, 300, 45, 3600},
        {1280, 720, 683, 10, 40, 10000000, 20000000, 300, 45, 3600},  // 68.3 x 10 is 683.0
        {1280, 720, 684, 10, 42, 10000000, 50000000, 300, 45, 3600},
        {720, 480, 60, 1, 31, 4000000, 14000000, 300, 30, 1350},
        {720, 480, 30, 1, 30, 2250000, 10000000, 150, 30, 1350},
        {640, 480, 60, 1, 30, 3500000, 10000000, 300, 30, 1200},
        {640, 480, 1, 1, 30, 2000000, 10000000, 150, 30, 1200},
        {640, 480, 60, 143165577, 30, 3500000, 10000000, 300, 30, 1200},  // 30 x D wraps to 14: above 30 fps
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << "@" << c.numerator << "/" << c.denominator);
        PropertySet set;
        ApplyFormat(set, c.width, c.height, c.numerator, c.denominator);
        EXPECT_EQ(set.CreateParams().level, c.level);
        EXPECT_EQ(DefaultOf(set, L"Bitrate"), c.bitrate);
        EXPECT_EQ(MaxOf(set, L"Bitrate"), c.maxBitrate);
        EXPECT_EQ(DefaultOf(set, L"Peak Bitrate"), c.bitrate);
        EXPECT_EQ(MaxOf(set, L"Peak Bitrate"), c.maxBitrate);
        EXPECT_EQ(DefaultOf(set, L"IDR Period"), c.idr);
        EXPECT_EQ(set.Config().derivedIdrPeriod, static_cast<uint32>(c.idr));
        EXPECT_EQ(DefaultOf(set, L"Intra Refresh MBs Number Per Slot"), c.intraRefresh);
        EXPECT_EQ(MaxOf(set, L"Intra Refresh MBs Number Per Slot"), c.macroblocks);
        EXPECT_EQ(MaxOf(set, L"Slices Per Frame"), c.macroblocks);
    }
}

TEST(PropertySetTest, TheBitrateDerivesTheVbvFiguresWithoutDividingByZero) {
    PropertySet unformatted;
    unformatted.Config().changeMask = 0;
    Apply(unformatted, L"Bitrate", 1000);  // no frame rate yet: nothing derived
    EXPECT_EQ(unformatted.Config().vbvBufferSize, 0u);
    EXPECT_EQ(unformatted.Config().changeMask, 0u);
    EXPECT_EQ(DefaultOf(unformatted, L"VBV Buffer Size"), 0);

    struct Case {
        int64 width, height, numerator, denominator, bitrate, vbvMin, vbvDefault, vbvMax;
        uint32 record;
    };
    // The two displays of the golden property tables are left to them.
    const Case cases[] = {
        {640, 480, 1, 2, 1000, 2000, 2500, 2000, 1250},                                    // below one frame per second
        {640, 480, 1, 1000000000, 50000000, 2147483647, 2147483647, 100000000, 62500000},  // saturates
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << "@" << c.numerator << "/" << c.denominator);
        PropertySet set;
        ApplyFormat(set, c.width, c.height, c.numerator, c.denominator);
        set.Config().changeMask = 0;
        Apply(set, L"Bitrate", c.bitrate);
        EXPECT_EQ(set.Config().bitrate, static_cast<uint32>(c.bitrate));
        EXPECT_EQ(MinOf(set, L"VBV Buffer Size"), c.vbvMin);
        EXPECT_EQ(DefaultOf(set, L"VBV Buffer Size"), c.vbvDefault);
        EXPECT_EQ(MaxOf(set, L"VBV Buffer Size"), c.vbvMax);
        EXPECT_EQ(set.Config().vbvBufferSize, c.record);
        EXPECT_EQ(set.Config().changeMask, 4u);
    }
}

// Which properties each usage accepts is in the vqxcap property table (tests/tools/golden).
TEST(PropertySetTest, UsageSetsTheServiceCodeAndTheProfileLimit) {
    struct Case {
        int64 usage;
        uint32 code, profile;
        int64 profileMax;
    };
    const Case cases[] = {
        {1, 0, 100, 100},
        {4, 2, 100, 100},  // low latency leaves the profile alone
        {2, 1, 66, 66},    // wireless display forces Baseline
        {3, 0, 66, 100},   // in range, treated as generic
    };
    PropertySet set;
    Apply(set, L"Profile", 100);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "usage " << c.usage);
        Apply(set, L"Usage", c.usage);
        EXPECT_EQ(set.CreateParams().usage, c.code);
        EXPECT_EQ(set.CreateParams().profile, c.profile);
        EXPECT_EQ(MaxOf(set, L"Profile"), c.profileMax);
    }
    EXPECT_TRUE(set.IsPropertySupported(L"Min QP"));  // usage 3 counts as generic
}

TEST(PropertySetTest, AppliersTranslateValuesAndSetOnlyTheirOwnMaskBit) {
    using C = zep::ZEPConfig;
    const auto B = VQXVariant::FromBool;
    const auto I = VQXVariant::FromInt64;
    struct Case {
        const wchar_t* name;
        uint32 C::*field;
        int maskBit;  // -1: none
        std::vector<std::pair<VQXVariant, uint32>> stored;
    };
    const Case cases[] = {
        {L"Initial VBV Buffer Fullness",
         &C::initialVbvFullness,
         3,
         {{I(0), 8}, {I(50), 36}, {I(100), 64}, {I(1), 9}, {I(99), 63}}},
        {L"De-blocking Filter", &C::deblockingDisabled, 7, {{B(true), 0}, {B(false), 1}}},
        {L"Filler Data", &C::fillerData, 10, {{B(true), 1}}},
        {L"Half Pixel", &C::halfPixel, 13, {{B(false), 0}}},
        {L"Quarter Pixel", &C::quarterPixel, 14, {{B(true), 1}}},
        {L"Timing Info", &C::timingInfo, 15, {{VQXVariant(), 0}}},  // empty reads as false
        {L"Rate Control Method", &C::rateControlMethod, -1, {{I(0), 4}, {I(1), 6}, {I(2), 3}, {I(3), 0}}},
        {L"Intra Refresh MBs Number Per Slot", &C::intraRefreshMbs, 0, {{I(12), 12}}},
        {L"Min QP", &C::minQp, 4, {{I(0x100000000LL + 20), 20}}},         // the low 32 bits
        {L"Max QP", &C::maxQp, 5, {{VQXVariant::FromString("40"), 40}}},  // converted
        {L"QP I", &C::qpI, 11, {{I(25), 25}}},
        {L"QP P", &C::qpP, 12, {{I(30), 30}}},
        {L"IDR Period", &C::idrPeriod, -1, {{I(77), 77}}},
        {L"Skipped PIC Period", &C::skippedPicPeriod, -1, {{I(3), 3}}},
        {L"Peak Bitrate", &C::peakBitrate, -1, {{I(123456), 123456}}},
        {L"VBV Buffer Size", &C::vbvBufferSize, 2, {{I(5000), 5000}}},
        // On 1920x1080, 8160 macroblocks: slices round up.
        {L"Slices Per Frame", &C::mbsPerSlice, 8, {{I(1), 8160}, {I(3), 2720}, {I(7), 1166}, {I(0), 0}}},
    };
    PropertySet set;
    ApplyFormat(set, 1920, 1080, 60, 1);
    for (const Case& c : cases) {
        for (const auto& [value, stored] : c.stored) {
            SCOPED_TRACE(testing::Message() << std::wstring(c.name).c_str() << " = " << value.ToInt64());
            set.Config().changeMask = 0;
            set.ApplyProperty(c.name, value, false);
            EXPECT_EQ(set.Config().*c.field, stored);
            EXPECT_EQ(set.Config().changeMask, c.maskBit < 0 ? 0u : 1u << c.maskBit);
        }
    }

    set.CreateParams().optionalFieldMask = 0;
    for (int64 type = 0; type < 4; ++type) {
        Apply(set, L"Output Type", type);
        EXPECT_EQ(set.CreateParams().outputType, static_cast<uint32>(type + 1));
    }
    set.ApplyProperty(L"Insert AUD", B(false), false);
    EXPECT_EQ(set.CreateParams().insertAud, 0u);
    EXPECT_EQ(set.CreateParams().optionalFieldMask, 16u);  // valid even when off
    Apply(set, L"Feedbacks", 5);
    EXPECT_EQ(set.CreateParams().feedbacks, 5u);
    EXPECT_EQ(set.CreateParams().optionalFieldMask, 24u);
}

TEST(PropertySetTest, WaitFrameMaxReachesTheSharedParametersZeroExtended) {
    PropertySet set;
    const std::shared_ptr<CustomParams> held = set.GetCustomParams();
    Apply(set, L"Wait Frame Max", 4294967295LL);
    EXPECT_EQ(held->waitFrameMax.load(), 4294967295ull);
    EXPECT_EQ(set.GetCustomParams().get(), held.get());
}

}  // namespace
}  // namespace vqx::test
