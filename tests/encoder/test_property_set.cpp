// White-box tests of the encoder's property set: records, derived defaults and limits, appliers.
#include "encoder/property_set.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace vqx {
namespace {

using zep::ZEPConfig;
using zep::ZEPCreateParams;

std::vector<uint32> Words(const void* record, std::size_t size) {
    std::vector<uint32> words(size / 4);
    std::memcpy(words.data(), record, size);
    return words;
}

int64 Int64Of(const VQXVARIANT& value) {
    EXPECT_EQ(value.type, VQX_VARIANT_INT64);
    return value.int64Value;
}
int64 DefaultOf(PropertySet& set, const wchar_t* name) { return Int64Of(set.FindPropertyInfo(name)->defaultValue); }
int64 MinOf(PropertySet& set, const wchar_t* name) { return Int64Of(set.FindPropertyInfo(name)->minValue); }
int64 MaxOf(PropertySet& set, const wchar_t* name) { return Int64Of(set.FindPropertyInfo(name)->maxValue); }

void Apply(PropertySet& set, const wchar_t* name, int64 value) {
    set.ApplyProperty(name, VQXVariant::FromInt64(value), false);
}
void ApplyFormat(PropertySet& set, int64 width, int64 height, int64 numerator, int64 denominator) {
    Apply(set, L"Width", width);
    Apply(set, L"Height", height);
    Apply(set, L"FPS Numerator", numerator);
    Apply(set, L"FPS Denominator", denominator);
}

TEST(PropertySetTest, ConstructionFillsTheRecordsAndDescriptions) {
    PropertySet set;
    const std::vector<uint32> create = {68, 24, 0, 1, 0, 0, 66, 30, 0, 0, 0, 1, 0, 33, 1, 16, 1};
    EXPECT_EQ(Words(&set.CreateParams(), sizeof(ZEPCreateParams)), create);
    const std::vector<uint32> config = {100, 64953, 150, 0,  0,  4, 2000000, 2000000, 150, 30, 0, 0, 64,
                                        22,  51,    0,   0,  0,  0, 0,       22,      22,  1,  1, 1};
    EXPECT_EQ(Words(&set.Config(), sizeof(ZEPConfig)), config);
    const zep::ZEPConfigHeader& header = set.ConfigHeader();
    EXPECT_EQ(Words(&header, sizeof(header)),
              (std::vector<uint32>{16, 0, static_cast<uint32>(reinterpret_cast<uintptr_t>(&set.Config())), 0}));
    EXPECT_EQ(set.GetCustomParams()->waitFrameMax.load(), 500u);

    ASSERT_EQ(set.InfoCount(), 31u);
    EXPECT_STREQ(set.Infos()[0].name, L"Generic Support");
    EXPECT_STREQ(set.Infos()[3].name, L"Width");
    EXPECT_STREQ(set.Infos()[30].name, L"Wait Frame Max");
    for (uint32 i = 0; i < set.InfoCount(); ++i) {
        const VQXPropertyInfoImpl& info = set.Infos()[i];
        EXPECT_STREQ(info.name, info.desc);
        EXPECT_EQ(set.FindEntry(info.name)->infoIndex, static_cast<int32>(i));
        EXPECT_EQ(set.FindPropertyInfo(info.name), &info);
        EXPECT_EQ(info.allowChange, set.FindEntry(info.name)->accessMode >= PropertySet::kModeAfterCreate);
    }
    EXPECT_EQ(set.FindEntry(L"Generic Support")->accessMode, PropertySet::kModeDriver);
    EXPECT_EQ(set.Infos()[0].minValue.type, VQX_VARIANT_EMPTY);
    EXPECT_EQ(set.FindEntry(L"Wait Frame Max")->accessMode, PropertySet::kModeAlways);
    EXPECT_EQ(set.FindEntry(L"width"), nullptr);  // names are case-sensitive
    EXPECT_EQ(set.FindPropertyInfo(L"Nope"), nullptr);
    EXPECT_EQ(MinOf(set, L"Width"), 2147483647);  // no caller value passes the range check
    EXPECT_EQ(MaxOf(set, L"Width"), 0);
    EXPECT_EQ(MaxOf(set, L"Wait Frame Max"), 4294967295LL);
    EXPECT_EQ(MaxOf(set, L"Profile"), 66);
    // The defaults pass derived these from an all-zero format.
    EXPECT_EQ(DefaultOf(set, L"Bitrate"), 2000000);
    EXPECT_EQ(MaxOf(set, L"Bitrate"), 10000000);
    EXPECT_EQ(MaxOf(set, L"Peak Bitrate"), 10000000);
    EXPECT_EQ(DefaultOf(set, L"IDR Period"), 150);
    EXPECT_EQ(DefaultOf(set, L"Intra Refresh MBs Number Per Slot"), 30);
    EXPECT_EQ(MaxOf(set, L"Intra Refresh MBs Number Per Slot"), 0);
    EXPECT_EQ(MaxOf(set, L"Slices Per Frame"), 0);
}

TEST(PropertySetTest, TheFormatDerivesLevelDefaultsAndLimits) {
    struct Case {
        int64 width, height, numerator, denominator;
        uint32 level;
        int64 bitrate, maxBitrate, idr, intraRefresh, macroblocks;
    };
    const Case cases[] = {
        {1920, 1080, 60, 1, 42, 15000000, 50000000, 300, 68, 8160},
        {1920, 1080, 148500000, 2475000, 42, 15000000, 50000000, 300, 68, 8160},
        {1920, 1080, 30, 1, 40, 10000000, 20000000, 150, 68, 8160},
        {1280, 720, 61, 1, 40, 10000000, 20000000, 300, 45, 3600},
        {1280, 720, 69, 1, 42, 10000000, 50000000, 300, 45, 3600},
        {1280, 720, 60, 1, 32, 10000000, 20000000, 300, 45, 3600},
        {1280, 720, 30000, 1001, 31, 6000000, 14000000, 150, 45, 3600},
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
    const Case cases[] = {
        {1920, 1080, 148500000, 2475000, 15000000, 250000, 312500, 30000000, 312500},
        {1280, 720, 30000, 1001, 6000000, 200200, 250250, 12000000, 258620},  // 7500000 / 29 whole frames
        {640, 480, 1, 2, 1000, 2000, 2500, 2000, 1250},                       // below one frame per second
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

TEST(PropertySetTest, UsageSetsTheCodeTheProfileLimitAndWhatIsSupported) {
    struct Case {
        int64 usage;
        uint32 code, profile;
        int64 profileMax;
        bool profileSupported, genericOnlySupported;
    };
    const Case cases[] = {
        {1, 0, 100, 100, true, true},
        {4, 2, 100, 100, true, false},   // low latency leaves the profile alone
        {2, 1, 66, 66, false, false},    // wireless display forces Baseline
        {3, 0, 66, 100, true, true},     // in range, treated as generic
    };
    PropertySet set;
    EXPECT_FALSE(set.IsPropertySupported(L"Profile"));  // wireless display by default
    Apply(set, L"Profile", 100);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "usage " << c.usage);
        Apply(set, L"Usage", c.usage);
        EXPECT_EQ(set.CreateParams().usage, c.code);
        EXPECT_EQ(set.CreateParams().profile, c.profile);
        EXPECT_EQ(MaxOf(set, L"Profile"), c.profileMax);
        EXPECT_TRUE(set.IsPropertySupported(L"Bitrate"));
        EXPECT_FALSE(set.IsPropertySupported(L"Unknown"));
        for (const wchar_t* name : {L"Profile", L"Slices Per Frame"}) {
            EXPECT_EQ(set.IsPropertySupported(name), c.profileSupported) << name;
        }
        for (const wchar_t* name : {L"Rate Control Method", L"Min QP", L"De-blocking Filter", L"Half Pixel"}) {
            EXPECT_EQ(set.IsPropertySupported(name), c.genericOnlySupported) << name;
        }
    }
    for (uint32 i = 0; i < set.InfoCount(); ++i) EXPECT_TRUE(set.IsPropertySupported(set.Infos()[i].name));
}

TEST(PropertySetTest, AppliersTranslateValuesAndSetOnlyTheirOwnMaskBit) {
    using C = ZEPConfig;
    const auto B = VQXVariant::FromBool;
    const auto I = VQXVariant::FromInt64;
    struct Case {
        const wchar_t* name;
        uint32 C::*field;
        int maskBit;  // -1: none
        std::vector<std::pair<VQXVariant, uint32>> stored;
    };
    const Case cases[] = {
        {L"Initial VBV Buffer Fullness", &C::initialVbvFullness, 3,
         {{I(0), 8}, {I(50), 36}, {I(100), 64}, {I(1), 9}, {I(99), 63}}},
        {L"De-blocking Filter", &C::deblockingDisabled, 7, {{B(true), 0}, {B(false), 1}}},
        {L"Filler Data", &C::fillerData, 10, {{B(true), 1}}},
        {L"Half Pixel", &C::halfPixel, 13, {{B(false), 0}}},
        {L"Quarter Pixel", &C::quarterPixel, 14, {{B(true), 1}}},
        {L"Timing Info", &C::timingInfo, 15, {{VQXVariant(), 0}}},  // empty reads as false
        {L"Rate Control Method", &C::rateControlMethod, -1, {{I(0), 4}, {I(1), 6}, {I(2), 3}, {I(3), 0}}},
        {L"Intra Refresh MBs Number Per Slot", &C::intraRefreshMbs, 0, {{I(12), 12}}},
        {L"Min QP", &C::minQp, 4, {{I(0x100000000LL + 20), 20}}},        // the low 32 bits
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

TEST(PropertySetTest, DefaultsAfterAFormatUseADenominatorOfZero) {
    PropertySet set;
    ApplyFormat(set, 1920, 1080, 30, 1);
    Apply(set, L"Bitrate", 10000000);
    const uint32 vbv = set.Config().vbvBufferSize;
    set.ApplyDefaults();  // the Width, Height, FPS Numerator and VBV appliers ignore this pass
    const std::vector<uint32> create = Words(&set.CreateParams(), sizeof(ZEPCreateParams));
    const std::vector<uint32> format = {1920, 1080, 66, 42, 30, 0};  // width .. denominator
    EXPECT_EQ(std::vector<uint32>(create.begin() + 4, create.begin() + 10), format);
    EXPECT_EQ(DefaultOf(set, L"Bitrate"), 15000000);
    EXPECT_EQ(MaxOf(set, L"Bitrate"), 50000000);
    EXPECT_EQ(set.Config().bitrate, 15000000u);  // later appliers of the pass take the new defaults
    EXPECT_EQ(set.Config().idrPeriod, 300u);
    EXPECT_EQ(set.Config().vbvBufferSize, vbv);  // no VBV recomputation without a denominator
}

}  // namespace
}  // namespace vqx
