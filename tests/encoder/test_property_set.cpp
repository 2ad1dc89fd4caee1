// White-box tests of the encoder's property set: records, derived defaults and limits, appliers.
#include "encoder/property_set.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace vqx {
namespace {

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
void ApplyBool(PropertySet& set, const wchar_t* name, bool value) {
    set.ApplyProperty(name, VQXVariant::FromBool(value), false);
}
void ApplyFormat(PropertySet& set, int64 width, int64 height, int64 numerator, int64 denominator) {
    Apply(set, L"Width", width);
    Apply(set, L"Height", height);
    Apply(set, L"FPS Numerator", numerator);
    Apply(set, L"FPS Denominator", denominator);
}

TEST(PropertySetTest, ConstructionFillsTheRecordsByteForByte) {
    PropertySet set;
    const std::vector<uint32> create = {68, 24, 0, 1, 0, 0, 66, 30, 0, 0, 0, 1, 0, 33, 1, 16, 1};
    EXPECT_EQ(Words(&set.CreateParams(), sizeof(zep::ZEPCreateParams)), create);
    const std::vector<uint32> config = {100, 64953, 150, 0,  0,  4, 2000000, 2000000, 150, 30, 0, 0, 64,
                                        22,  51,    0,   0,  0,  0, 0,       22,      22,  1,  1, 1};
    EXPECT_EQ(Words(&set.Config(), sizeof(zep::ZEPConfig)), config);
    EXPECT_EQ(set.ConfigHeader().size, 16u);
    EXPECT_EQ(set.ConfigHeader().reserved4, 0u);
    EXPECT_EQ(set.ConfigHeader().config, &set.Config());
    EXPECT_EQ(set.ConfigHeader().reserved12, 0u);
    EXPECT_EQ(set.GetCustomParams()->waitFrameMax.load(), 500u);
}

TEST(PropertySetTest, DescriptionsFollowTheTableAndTheConstructionTimeDerivation) {
    PropertySet set;
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
    EXPECT_EQ(MinOf(set, L"Width"), 2147483647);  // no caller value passes the range check
    EXPECT_EQ(MaxOf(set, L"Width"), 0);
    EXPECT_EQ(MaxOf(set, L"Wait Frame Max"), 4294967295LL);
    EXPECT_EQ(DefaultOf(set, L"Bitrate"), 2000000);
    EXPECT_EQ(MaxOf(set, L"Bitrate"), 10000000);
    EXPECT_EQ(MaxOf(set, L"Peak Bitrate"), 10000000);
    EXPECT_EQ(DefaultOf(set, L"IDR Period"), 150);
    EXPECT_EQ(DefaultOf(set, L"Intra Refresh MBs Number Per Slot"), 30);
    EXPECT_EQ(MaxOf(set, L"Intra Refresh MBs Number Per Slot"), 0);
    EXPECT_EQ(MaxOf(set, L"Slices Per Frame"), 0);
    EXPECT_EQ(MaxOf(set, L"Profile"), 66);
    EXPECT_EQ(set.Infos()[0].type, VQX_VARIANT_BOOL);
    EXPECT_EQ(set.Infos()[0].minValue.type, VQX_VARIANT_EMPTY);
    EXPECT_EQ(set.FindEntry(L"Generic Support")->accessMode, PropertySet::kModeDriver);
    EXPECT_EQ(set.FindEntry(L"Wait Frame Max")->accessMode, PropertySet::kModeAlways);
    EXPECT_EQ(set.FindEntry(L"width"), nullptr);  // names are case-sensitive
    EXPECT_EQ(set.FindPropertyInfo(L"Nope"), nullptr);
}

struct LevelCase {
    int64 width, height, numerator, denominator, level;
};

TEST(PropertySetTest, TheLevelFollowsSizeAndFrameRate) {
    const LevelCase cases[] = {
        {1920, 1080, 60, 1, 42},   {1920, 1080, 30, 1, 40},   {1280, 720, 61, 1, 40},
        {1280, 720, 69, 1, 42},    {1280, 720, 60, 1, 32},    {1280, 720, 30000, 1001, 31},
        {1280, 720, 683, 10, 40},  {1280, 720, 684, 10, 42},  // 68.3 x 10 rounds to 683.0
        {720, 480, 60, 1, 31},     {720, 480, 30, 1, 30},     {640, 480, 60, 1, 30},
        {640, 480, 1, 1, 30},
    };
    for (const LevelCase& c : cases) {
        PropertySet set;
        ApplyFormat(set, c.width, c.height, c.numerator, c.denominator);
        EXPECT_EQ(set.CreateParams().level, static_cast<uint32>(c.level))
            << c.width << "x" << c.height << "@" << c.numerator << "/" << c.denominator;
    }
}

TEST(PropertySetTest, FrameRateProductsWrapAtThirtyTwoBits) {
    PropertySet set;
    // 30 x 143165577 = 2^32 + 14: "60 <= 14" is false, so the frame rate counts as high.
    ApplyFormat(set, 640, 480, 60, 143165577);
    EXPECT_EQ(DefaultOf(set, L"Bitrate"), 3500000);
    EXPECT_EQ(DefaultOf(set, L"IDR Period"), 300);
    EXPECT_EQ(set.Config().derivedIdrPeriod, 300u);
}

TEST(PropertySetTest, A1080p60DisplayDerivesItsDefaultsLimitsAndVbv) {
    PropertySet set;
    ApplyFormat(set, 1920, 1080, 148500000, 2475000);
    EXPECT_EQ(set.CreateParams().level, 42u);
    EXPECT_EQ(DefaultOf(set, L"Bitrate"), 15000000);
    EXPECT_EQ(MaxOf(set, L"Bitrate"), 50000000);
    EXPECT_EQ(DefaultOf(set, L"Peak Bitrate"), 15000000);
    EXPECT_EQ(MaxOf(set, L"Peak Bitrate"), 50000000);
    EXPECT_EQ(DefaultOf(set, L"IDR Period"), 300);
    EXPECT_EQ(DefaultOf(set, L"Intra Refresh MBs Number Per Slot"), 68);
    EXPECT_EQ(MaxOf(set, L"Intra Refresh MBs Number Per Slot"), 8160);
    EXPECT_EQ(MaxOf(set, L"Slices Per Frame"), 8160);
    EXPECT_EQ(set.Config().derivedIdrPeriod, 300u);

    set.Config().changeMask = 0;
    Apply(set, L"Bitrate", 15000000);
    EXPECT_EQ(set.Config().bitrate, 15000000u);
    EXPECT_EQ(MinOf(set, L"VBV Buffer Size"), 250000);
    EXPECT_EQ(DefaultOf(set, L"VBV Buffer Size"), 312500);
    EXPECT_EQ(MaxOf(set, L"VBV Buffer Size"), 30000000);
    EXPECT_EQ(set.Config().vbvBufferSize, 312500u);
    EXPECT_EQ(set.Config().changeMask, 4u);

    Apply(set, L"Slices Per Frame", 1);
    EXPECT_EQ(set.Config().mbsPerSlice, 8160u);
    Apply(set, L"Slices Per Frame", 3);
    EXPECT_EQ(set.Config().mbsPerSlice, 2720u);
    Apply(set, L"Slices Per Frame", 7);
    EXPECT_EQ(set.Config().mbsPerSlice, 1166u);  // ceil(8160 / 7)
    Apply(set, L"Slices Per Frame", 0);
    EXPECT_EQ(set.Config().mbsPerSlice, 0u);
}

TEST(PropertySetTest, A720pDisplayAt2997UsesWholeFramesForTheRecordedVbv) {
    PropertySet set;
    ApplyFormat(set, 1280, 720, 30000, 1001);
    EXPECT_EQ(set.CreateParams().level, 31u);
    EXPECT_EQ(DefaultOf(set, L"Bitrate"), 6000000);
    EXPECT_EQ(MaxOf(set, L"Bitrate"), 14000000);
    EXPECT_EQ(DefaultOf(set, L"IDR Period"), 150);
    EXPECT_EQ(DefaultOf(set, L"Intra Refresh MBs Number Per Slot"), 45);
    EXPECT_EQ(MaxOf(set, L"Intra Refresh MBs Number Per Slot"), 3600);
    Apply(set, L"Bitrate", 6000000);
    EXPECT_EQ(MinOf(set, L"VBV Buffer Size"), 200200);
    EXPECT_EQ(DefaultOf(set, L"VBV Buffer Size"), 250250);
    EXPECT_EQ(MaxOf(set, L"VBV Buffer Size"), 12000000);
    EXPECT_EQ(set.Config().vbvBufferSize, 258620u);  // 7500000 / 29
}

TEST(PropertySetTest, VbvNeedsAFrameRateAndNeverDividesByZero) {
    PropertySet set;
    set.Config().changeMask = 0;
    Apply(set, L"Bitrate", 1000);  // no format yet
    EXPECT_EQ(set.Config().vbvBufferSize, 0u);
    EXPECT_EQ(set.Config().changeMask, 0u);
    EXPECT_EQ(DefaultOf(set, L"VBV Buffer Size"), 0);

    ApplyFormat(set, 640, 480, 1, 2);  // half a frame per second
    Apply(set, L"Bitrate", 1000);
    EXPECT_EQ(MinOf(set, L"VBV Buffer Size"), 2000);
    EXPECT_EQ(set.Config().vbvBufferSize, 1250u);

    ApplyFormat(set, 640, 480, 1, 1000000000);  // far below one frame per second: saturates
    Apply(set, L"Bitrate", 50000000);
    EXPECT_EQ(MinOf(set, L"VBV Buffer Size"), 2147483647);
    EXPECT_EQ(MaxOf(set, L"VBV Buffer Size"), 100000000);
}

TEST(PropertySetTest, UsageSetsTheCodeAndTheProfileLimit) {
    PropertySet set;
    Apply(set, L"Profile", 100);
    Apply(set, L"Usage", 1);
    EXPECT_EQ(set.CreateParams().usage, 0u);
    EXPECT_EQ(MaxOf(set, L"Profile"), 100);
    EXPECT_EQ(set.CreateParams().profile, 100u);  // unchanged
    Apply(set, L"Usage", 4);
    EXPECT_EQ(set.CreateParams().usage, 2u);
    EXPECT_EQ(MaxOf(set, L"Profile"), 100);
    Apply(set, L"Usage", 2);
    EXPECT_EQ(set.CreateParams().usage, 1u);
    EXPECT_EQ(set.CreateParams().profile, 66u);
    EXPECT_EQ(MaxOf(set, L"Profile"), 66);
    Apply(set, L"Usage", 3);
    EXPECT_EQ(set.CreateParams().usage, 0u);
}

TEST(PropertySetTest, SupportFollowsTheUsageMask) {
    PropertySet set;  // wireless display by default
    EXPECT_TRUE(set.IsPropertySupported(L"Bitrate"));
    EXPECT_TRUE(set.IsPropertySupported(L"Usage"));
    EXPECT_FALSE(set.IsPropertySupported(L"Profile"));
    EXPECT_FALSE(set.IsPropertySupported(L"Slices Per Frame"));
    EXPECT_FALSE(set.IsPropertySupported(L"Rate Control Method"));
    EXPECT_FALSE(set.IsPropertySupported(L"Unknown"));
    Apply(set, L"Usage", 4);
    EXPECT_TRUE(set.IsPropertySupported(L"Profile"));
    EXPECT_TRUE(set.IsPropertySupported(L"Slices Per Frame"));
    EXPECT_FALSE(set.IsPropertySupported(L"Min QP"));
    EXPECT_FALSE(set.IsPropertySupported(L"De-blocking Filter"));
    Apply(set, L"Usage", 3);
    for (uint32 i = 0; i < set.InfoCount(); ++i) EXPECT_TRUE(set.IsPropertySupported(set.Infos()[i].name));
}

TEST(PropertySetTest, AppliersTranslateValuesAndSetTheirMaskBits) {
    PropertySet set;
    set.Config().changeMask = 0;
    set.CreateParams().optionalFieldMask = 0;

    const std::pair<int64, uint32> fullness[] = {{0, 8}, {50, 36}, {100, 64}, {1, 9}, {99, 63}};
    for (const auto& f : fullness) {
        Apply(set, L"Initial VBV Buffer Fullness", f.first);
        EXPECT_EQ(set.Config().initialVbvFullness, f.second) << f.first;
    }
    ApplyBool(set, L"De-blocking Filter", true);
    EXPECT_EQ(set.Config().deblockingDisabled, 0u);
    ApplyBool(set, L"De-blocking Filter", false);
    EXPECT_EQ(set.Config().deblockingDisabled, 1u);
    ApplyBool(set, L"Filler Data", true);
    EXPECT_EQ(set.Config().fillerData, 1u);
    ApplyBool(set, L"Half Pixel", false);
    EXPECT_EQ(set.Config().halfPixel, 0u);
    EXPECT_EQ(set.Config().changeMask, (1u << 3) | (1u << 7) | (1u << 10) | (1u << 13));

    const uint32 rateCodes[] = {4, 6, 3, 0};
    for (int64 method = 0; method < 4; ++method) {
        Apply(set, L"Rate Control Method", method);
        EXPECT_EQ(set.Config().rateControlMethod, rateCodes[method]);
    }
    for (int64 type = 0; type < 4; ++type) {
        Apply(set, L"Output Type", type);
        EXPECT_EQ(set.CreateParams().outputType, static_cast<uint32>(type + 1));
    }
    Apply(set, L"QP P", 30);
    EXPECT_EQ(set.Config().qpP, 30u);
    EXPECT_NE(set.Config().changeMask & (1u << 12), 0u);
    Apply(set, L"IDR Period", 77);
    Apply(set, L"Skipped PIC Period", 3);
    Apply(set, L"Peak Bitrate", 123456);
    EXPECT_EQ(set.Config().idrPeriod, 77u);
    EXPECT_EQ(set.Config().skippedPicPeriod, 3u);
    EXPECT_EQ(set.Config().peakBitrate, 123456u);

    ApplyBool(set, L"Insert AUD", false);
    EXPECT_EQ(set.CreateParams().insertAud, 0u);
    EXPECT_EQ(set.CreateParams().optionalFieldMask, 16u);  // valid even when off
    Apply(set, L"Feedbacks", 5);
    EXPECT_EQ(set.CreateParams().feedbacks, 5u);
    EXPECT_EQ(set.CreateParams().optionalFieldMask, 24u);

    // Integer appliers take the low 32 bits; other variant kinds are converted.
    Apply(set, L"Min QP", 0x100000000LL + 20);
    EXPECT_EQ(set.Config().minQp, 20u);
    set.ApplyProperty(L"Max QP", VQXVariant::FromString("40"), false);
    EXPECT_EQ(set.Config().maxQp, 40u);
    set.ApplyProperty(L"Timing Info", VQXVariant(), false);  // empty reads as false
    EXPECT_EQ(set.Config().timingInfo, 0u);
}

TEST(PropertySetTest, FormatAndVbvAppliersIgnoreTheDefaultsPass) {
    PropertySet set;
    set.ApplyProperty(L"Width", VQXVariant::FromInt64(1920), true);
    set.ApplyProperty(L"VBV Buffer Size", VQXVariant::FromInt64(5000), true);
    EXPECT_EQ(set.CreateParams().width, 0u);
    EXPECT_EQ(set.Config().vbvBufferSize, 0u);
    Apply(set, L"VBV Buffer Size", 5000);
    EXPECT_EQ(set.Config().vbvBufferSize, 5000u);
    EXPECT_NE(set.Config().changeMask & 4u, 0u);
}

TEST(PropertySetTest, WaitFrameMaxReachesTheSharedParameters) {
    PropertySet set;
    const std::shared_ptr<CustomParams> held = set.GetCustomParams();
    Apply(set, L"Wait Frame Max", 4294967295LL);
    EXPECT_EQ(held->waitFrameMax.load(), 4294967295ull);
    Apply(set, L"Wait Frame Max", 4294967296LL + 5);
    EXPECT_EQ(held->waitFrameMax.load(), 5u);
    EXPECT_EQ(set.GetCustomParams().get(), held.get());
}

TEST(PropertySetTest, DefaultsAfterAFormatUseADenominatorOfZero) {
    PropertySet set;
    ApplyFormat(set, 1920, 1080, 30, 1);
    Apply(set, L"Bitrate", 10000000);
    const uint32 vbv = set.Config().vbvBufferSize;
    set.ApplyDefaults();
    EXPECT_EQ(set.CreateParams().width, 1920u);
    EXPECT_EQ(set.CreateParams().height, 1080u);
    EXPECT_EQ(set.CreateParams().fpsNumerator, 30u);
    EXPECT_EQ(set.CreateParams().fpsDenominator, 0u);
    EXPECT_EQ(set.CreateParams().level, 42u);
    EXPECT_EQ(DefaultOf(set, L"Bitrate"), 15000000);
    EXPECT_EQ(MaxOf(set, L"Bitrate"), 50000000);
    EXPECT_EQ(DefaultOf(set, L"IDR Period"), 300);
    EXPECT_EQ(set.Config().bitrate, 15000000u);  // later appliers of the pass take the new defaults
    EXPECT_EQ(set.Config().idrPeriod, 300u);
    EXPECT_EQ(set.Config().vbvBufferSize, vbv);  // no VBV recomputation without a denominator
}

}  // namespace
}  // namespace vqx
