// The stand-in's answers to well-formed calls through the wrappers: validation of creation
// parameters, handles, states, capabilities, the recorder and the failure injection.
#include "bound_service.h"

#include <algorithm>

using namespace zeptest;

namespace {

using ServiceCalls = BoundService;

TEST_F(ServiceCalls, CreateRefusesParametersItCannotEncodeAndRecordsThemByteForByte) {
    struct Case {
        const char* what;
        void (*spoil)(ZEPCreateParams&);
    };
    const Case cases[] = {
        {"width 0", [](ZEPCreateParams& p) { p.width = 0; }},
        {"height 0", [](ZEPCreateParams& p) { p.height = 0; }},
        {"odd width", [](ZEPCreateParams& p) { p.width = 65; }},
        {"width below 16", [](ZEPCreateParams& p) { p.width = 14; }},
        {"height above 4096", [](ZEPCreateParams& p) { p.height = 4098; }},
        {"frame-rate numerator 0", [](ZEPCreateParams& p) { p.fpsNumerator = 0; }},
        {"frame-rate denominator 0", [](ZEPCreateParams& p) { p.fpsDenominator = 0; }},
        {"usage 3", [](ZEPCreateParams& p) { p.usage = 3; }},
        {"output type 0", [](ZEPCreateParams& p) { p.outputType = 0; }},
        {"output type 5", [](ZEPCreateParams& p) { p.outputType = 5; }},
        {"profile 0", [](ZEPCreateParams& p) { p.profile = 0; }},
        {"level 256", [](ZEPCreateParams& p) { p.level = 256; }},
    };
    uint32_t calls = 0;
    for (const Case& c : cases) {
        ZEPCreateParams params = MakeCreateParams();
        c.spoil(params);
        ZEPCreateResult result = MakeCreateResult();
        EXPECT_EQ(qzt::kBadParameter, ZEPCreate(&params, &result)) << c.what;
        EXPECT_EQ(0u, result.handle) << c.what;
        EXPECT_EQ(++calls, Calls("ZEPCreate"));
        ZEPCreateParams recorded{};
        ASSERT_EQ(sizeof recorded, controls.GetLastCreateParams(&recorded, sizeof recorded));
        EXPECT_EQ(0, std::memcmp(&params, &recorded, sizeof params)) << c.what;
    }
    uint8_t firstBytes[8] = {};
    EXPECT_EQ(8u, controls.GetLastCreateParams(firstBytes, sizeof firstBytes));
    EXPECT_EQ(68, firstBytes[0]);
}

TEST_F(ServiceCalls, EncodersGetDistinctHandlesUpToTheLimit) {
    EXPECT_EQ(0u, controls.GetLastCreateParams(nullptr, 0));
    std::vector<std::unique_ptr<TestEncoder>> encoders;
    for (uint32_t i = 0; i < qzt::kMaxEncoders; ++i) {
        encoders.push_back(std::make_unique<TestEncoder>(MakeCreateParams()));
        ASSERT_EQ(0, encoders.back()->createResult);
        ASSERT_NE(0u, encoders.back()->handle);
        for (size_t j = 0; j + 1 < encoders.size(); ++j) {
            EXPECT_NE(encoders[j]->handle, encoders.back()->handle);
        }
    }
    TestEncoder tooMany(MakeCreateParams());
    EXPECT_EQ(qzt::kTooManyEncoders, tooMany.createResult);

    ZEPHandleParams in = MakeHandleParams(encoders[0]->handle);
    ZEPStatus status = MakeStatus();
    EXPECT_EQ(0, ZEPDestroy(&in, &status));
    EXPECT_EQ(qzt::kBadHandle, ZEPDestroy(&in, &status));
    encoders[0]->handle = 0;
    TestEncoder replacement(MakeCreateParams());
    EXPECT_EQ(0, replacement.createResult);
    EXPECT_EQ(2u, Calls("ZEPDestroy"));
}

TEST_F(ServiceCalls, ConfigurationIsRecordedEvenForAnUnknownHandle) {
    ZEPConfig config = MakeConfig(33, 7, 0);
    config.changeMask = 0x8100;
    ZEPConfigHeader header = MakeConfigHeader(&config);
    ZEPStatus status = MakeStatus();
    EXPECT_EQ(qzt::kBadHandle, ZEPSetConfig(0xDEAD, &header, &status));
    ZEPConfig recorded{};
    ASSERT_EQ(sizeof recorded, controls.GetLastConfig(&recorded, 1000));
    EXPECT_EQ(0, std::memcmp(&config, &recorded, sizeof config));

    TestEncoder encoder(MakeCreateParams());
    config.bitrate = 123456;
    EXPECT_EQ(0, encoder.Configure(config));
    ASSERT_EQ(sizeof recorded, controls.GetLastConfig(&recorded, sizeof recorded));
    EXPECT_EQ(123456u, recorded.bitrate);
    EXPECT_EQ(2u, Calls("ZEPSetConfig"));
}

TEST_F(ServiceCalls, StartStopAndQueryFollowTheEncoderState) {
    TestEncoder encoder(MakeCreateParams());
    std::vector<ZEPOutputEntry> entries;
    uint32_t returned = 7;
    EXPECT_EQ(qzt::kWrongState, encoder.Query(1, entries, returned));
    EXPECT_EQ(0u, returned);
    EXPECT_EQ(qzt::kWrongState, encoder.Stop());
    EXPECT_EQ(0, encoder.Start());
    EXPECT_EQ(qzt::kWrongState, encoder.Start());
    EXPECT_EQ(0, encoder.Query(1, entries, returned));
    EXPECT_EQ(0, encoder.Stop());
    EXPECT_EQ(qzt::kWrongState, encoder.Query(1, entries, returned));
    EXPECT_EQ(2u, Calls("ZEPStartEncode"));
    EXPECT_EQ(2u, Calls("ZEPStopEncode"));
    EXPECT_EQ(3u, Calls("ZEPQueryOutputs"));
}

TEST_F(ServiceCalls, QueryRefusesCountsOtherThanOneOrTwo) {
    TestEncoder encoder(MakeCreateParams());
    ASSERT_EQ(0, encoder.Start());
    std::vector<ZEPOutputEntry> entries;
    uint32_t returned = 0;
    EXPECT_EQ(qzt::kBadParameter, encoder.Query(3, entries, returned));
    ZEPQueryParams none = MakeQueryParams(0);
    ZEPQueryResult result{sizeof(ZEPQueryResult), 0, 0, nullptr};
    EXPECT_EQ(qzt::kBadParameter, ZEPQueryOutputs(encoder.handle, &none, &result));
}

TEST_F(ServiceCalls, CapabilitiesDefaultToAllThreeUsagesAndCanBeReplaced) {
    ZEPHandleParams in = MakeHandleParams(0);
    ZEPCaps caps = MakeCaps();
    ASSERT_EQ(0, ZEPGetCaps(0, &in, &caps));
    ASSERT_EQ(3u, caps.count);
    EXPECT_EQ(0u, caps.values[0]);
    EXPECT_EQ(1u, caps.values[1]);
    EXPECT_EQ(4u, caps.values[2]);

    const uint32_t lowLatencyOnly[] = {4};
    controls.SetCaps(lowLatencyOnly, 1);
    TestEncoder encoder(MakeCreateParams());
    caps = MakeCaps();
    ASSERT_EQ(0, ZEPGetCaps(encoder.handle, &in, &caps));
    EXPECT_EQ(1u, caps.count);
    EXPECT_EQ(4u, caps.values[0]);
    EXPECT_EQ(qzt::kBadHandle, ZEPGetCaps(encoder.handle + 1000, &in, &caps));
}

TEST_F(ServiceCalls, AnOversizedCapabilityCountIsReportedButOnlySixtyFourValuesAreWritten) {
    std::vector<uint32_t> values(70);
    for (uint32_t i = 0; i < values.size(); ++i) {
        values[i] = 100 + i;
    }
    controls.SetCaps(values.data(), 70);
    struct {
        ZEPCaps caps;
        uint32_t guard[8];
    } guarded{};
    guarded.caps.size = sizeof guarded.caps;
    std::fill(std::begin(guarded.guard), std::end(guarded.guard), 0xA5A5A5A5u);
    ZEPHandleParams in = MakeHandleParams(0);
    ASSERT_EQ(0, ZEPGetCaps(0, &in, &guarded.caps));
    EXPECT_EQ(70u, guarded.caps.count);
    EXPECT_EQ(100u, guarded.caps.values[0]);
    EXPECT_EQ(163u, guarded.caps.values[63]);
    for (const uint32_t word : guarded.guard) {
        EXPECT_EQ(0xA5A5A5A5u, word);
    }
}

TEST_F(ServiceCalls, TheTwoUnusedOrdinalsAreBoundButNotImplemented) {
    using Reserved = int32_t(__stdcall*)();
    for (const uint32_t ordinal : {1302u, 1306u}) {
        const auto entry = reinterpret_cast<Reserved>(BoundEntryPoint(ordinal));
        ASSERT_NE(nullptr, entry);
        EXPECT_EQ(qzt::kNotImplemented, entry());
    }
    EXPECT_EQ(1u, Calls("Ordinal1302"));
    EXPECT_EQ(1u, Calls("Ordinal1306"));
}

TEST_F(ServiceCalls, InjectedFailuresLastTheirCountOrUntilCleared) {
    ZEPHandleParams in = MakeHandleParams(0);
    ZEPCaps caps = MakeCaps();
    controls.FailOperation("ZEPGetCaps", -7, 2);
    EXPECT_EQ(-7, ZEPGetCaps(0, &in, &caps));
    EXPECT_EQ(-7, ZEPGetCaps(0, &in, &caps));
    EXPECT_EQ(0, ZEPGetCaps(0, &in, &caps));

    controls.FailOperation("ZEPGetCaps", 99, 0);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(99, ZEPGetCaps(0, &in, &caps));
    }
    controls.FailOperation("ZEPGetCaps", 0, 5);
    EXPECT_EQ(0, ZEPGetCaps(0, &in, &caps));
    EXPECT_EQ(7u, Calls("ZEPGetCaps"));

    controls.FailOperation("NoSuchOperation", 5, 0);  // ignored
    EXPECT_EQ(0u, Calls("NoSuchOperation"));
    EXPECT_EQ(0u, Calls(nullptr));
    controls.Reset();
    EXPECT_EQ(0u, Calls("ZEPGetCaps"));
}

TEST_F(ServiceCalls, RenderFrameChecksItsArgumentsAndPaintsInVideoRange) {
    constexpr uint32_t width = 96;
    constexpr uint32_t height = 64;
    constexpr uint32_t size = width * height * 3 / 2;
    std::vector<uint8_t> a(size);
    std::vector<uint8_t> b(size);
    EXPECT_EQ(qzt::kBadParameter, controls.RenderFrame(95, height, 0, a.data(), size));
    EXPECT_EQ(qzt::kBadParameter, controls.RenderFrame(width, 8, 0, a.data(), size));
    EXPECT_EQ(qzt::kNullPointer, controls.RenderFrame(width, height, 0, nullptr, size));
    EXPECT_EQ(qzt::kBadSize, controls.RenderFrame(width, height, 0, a.data(), size - 1));

    ASSERT_EQ(0, controls.RenderFrame(width, height, 0, a.data(), size));
    ASSERT_EQ(0, controls.RenderFrame(width, height, 1, b.data(), size));
    EXPECT_NE(a, b);  // the scene moves ...
    ASSERT_EQ(0, controls.RenderFrame(width, height, 95, a.data(), size));
    ASSERT_EQ(0, controls.RenderFrame(width, height, 100, b.data(), size));
    EXPECT_EQ(a, b);  // ... and rests from frame 90 to 119 of every 120
    EXPECT_TRUE(std::all_of(a.begin(), a.end(), [](uint8_t s) { return s >= 16 && s <= 235; }));
}

}  // namespace
