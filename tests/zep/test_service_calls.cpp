// The stand-in's answers to well-formed calls through the wrappers: validation of creation
// parameters, handles, states and capabilities. The failure injection, the recorder of the last
// configuration and the output hold are exercised by the encoder tests that rely on them.
#include "bound_service.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

using namespace vqx::test;

namespace {

using ServiceCalls = BoundService;

TEST_F(ServiceCalls, CreateRefusesParametersItCannotEncodeAndRecordsThemByteForByte) {
    const std::pair<uint32_t ZEPCreateParams::*, uint32_t> spoilt[] = {
        {&ZEPCreateParams::width, 0},          {&ZEPCreateParams::height, 0},    {&ZEPCreateParams::width, 65},
        {&ZEPCreateParams::width, 14},         {&ZEPCreateParams::height, 4098}, {&ZEPCreateParams::fpsNumerator, 0},
        {&ZEPCreateParams::fpsDenominator, 0}, {&ZEPCreateParams::usage, 3},     {&ZEPCreateParams::outputType, 0},
        {&ZEPCreateParams::outputType, 5},     {&ZEPCreateParams::profile, 0},   {&ZEPCreateParams::level, 256},
    };
    uint32_t calls = 0;
    for (const auto& [field, value] : spoilt) {
        ZEPCreateParams params = MakeCreateParams();
        params.*field = value;
        ZEPCreateResult result = Sized<ZEPCreateResult>();
        EXPECT_EQ(qzt::kBadParameter, ZEPCreate(&params, &result)) << calls;
        EXPECT_EQ(0u, result.handle);
        EXPECT_EQ(++calls, Calls("ZEPCreate"));
        ZEPCreateParams recorded{};
        ASSERT_EQ(sizeof recorded, s_controls.GetLastCreateParams(&recorded, sizeof recorded));
        EXPECT_EQ(0, std::memcmp(&params, &recorded, sizeof params)) << calls;
    }
    uint8_t firstBytes[8] = {};
    EXPECT_EQ(8u, s_controls.GetLastCreateParams(firstBytes, sizeof firstBytes));
    EXPECT_EQ(68, firstBytes[0]);
}

// A YUV4MPEG2 file of `frames` flat frames (frame n has luma 40 + 50 n), in the current folder.
std::string WriteClip(const char* name, int width, int height, int frames, const char* colourSpace = "C420jpeg") {
    std::FILE* file = std::fopen(name, "wb");
    std::fprintf(file, "YUV4MPEG2 W%d H%d F30:1 Ip A1:1 %s\n", width, height, colourSpace);
    for (int n = 0; n < frames; ++n) {
        std::fputs("FRAME\n", file);
        const std::vector<uint8_t> luma(static_cast<size_t>(width * height), static_cast<uint8_t>(40 + 50 * n));
        const std::vector<uint8_t> chroma(static_cast<size_t>(width * height / 2), 128);
        std::fwrite(luma.data(), 1, luma.size(), file);
        std::fwrite(chroma.data(), 1, chroma.size(), file);
    }
    std::fclose(file);
    return name;
}

// QZTRVX32_SOURCE names a Windows path; ZEPCreate refuses a file it cannot use.
TEST_F(ServiceCalls, TheFileSourceIsCheckedAtCreationAndLoopsOverItsFrames) {
    const struct {
        const char* path;
        int width, height, frames;
        const char* colourSpace;
    } refused[] = {{"missing.y4m", 0, 0, 0, ""},           // cannot be opened
                   {"small.y4m", 48, 48, 2, "C420jpeg"},   // another size than the encoder's
                   {"deep.y4m", 64, 48, 2, "C420p10"},     // not 8-bit samples
                   {"empty.y4m", 64, 48, 0, "C420jpeg"}};  // no frame
    for (const auto& c : refused) {
        if (c.width != 0) WriteClip(c.path, c.width, c.height, c.frames, c.colourSpace);
        SetEnvironmentVariableA("QZTRVX32_SOURCE", c.path);
        EXPECT_EQ(qzt::kBadParameter, TestEncoder(MakeCreateParams(64, 48)).createResult) << c.path;
    }
    // Three frames, looped: pictures 0 and 3 show the same frame, picture 1 another one.
    SetEnvironmentVariableA("QZTRVX32_SOURCE", WriteClip("three.y4m", 64, 48, 3).c_str());
    TestEncoder encoder(MakeCreateParams(64, 48, 1000, 1));
    SetEnvironmentVariableA("QZTRVX32_SOURCE", nullptr);
    ASSERT_EQ(0, encoder.createResult);
    ZEPConfig config = MakeConfig(3);  // IDR every 3 pictures, constant QP 0: near-lossless
    ASSERT_EQ(0, encoder.Configure(config));
    ASSERT_EQ(0, encoder.Start());
    uint32_t crcs[4] = {};
    for (uint32_t picture = 0; picture < 4; ++picture) {
        EXPECT_EQ(0, encoder.Reclaim(encoder.Next().resourceId));
        qzt::QztPictureInfo info{};
        ASSERT_EQ(0, s_controls.GetPictureInfo(encoder.handle, picture, &info));
        crcs[picture] = info.crc;
    }
    EXPECT_EQ(crcs[0], crcs[3]);
    EXPECT_NE(crcs[0], crcs[1]);
    EXPECT_NE(crcs[1], crcs[2]);
}

TEST_F(ServiceCalls, EncodersGetDistinctHandlesUpToTheLimit) {
    EXPECT_EQ(0u, s_controls.GetLastCreateParams(nullptr, 0));
    std::vector<std::unique_ptr<TestEncoder>> encoders;
    for (uint32_t i = 0; i < qzt::kMaxEncoders; ++i) {
        encoders.push_back(std::make_unique<TestEncoder>(MakeCreateParams()));
        ASSERT_EQ(0, encoders.back()->createResult);
        for (size_t j = 0; j + 1 < encoders.size(); ++j) {
            EXPECT_NE(encoders[j]->handle, encoders.back()->handle);
        }
    }
    EXPECT_EQ(qzt::kTooManyEncoders, TestEncoder(MakeCreateParams()).createResult);

    ZEPHandleParams in = MakeHandleParams(encoders[0]->handle);
    ZEPStatus status = Sized<ZEPStatus>();
    EXPECT_EQ(0, ZEPDestroy(&in, &status));
    EXPECT_EQ(qzt::kBadHandle, ZEPDestroy(&in, &status));
    encoders[0]->handle = 0;
    EXPECT_EQ(0, TestEncoder(MakeCreateParams()).createResult);
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
    EXPECT_EQ(qzt::kBadParameter, encoder.Query(3, entries, returned));  // counts other than 1 or 2
    EXPECT_EQ(0, encoder.Stop());
    EXPECT_EQ(qzt::kWrongState, encoder.Query(1, entries, returned));
}

// The default capabilities (all three usages) show in vqxcap's golden property tables.
TEST_F(ServiceCalls, OnlySixtyFourCapabilityValuesAreWritten) {
    ZEPHandleParams in = MakeHandleParams(0);
    ZEPCaps caps = Sized<ZEPCaps>();
    EXPECT_EQ(qzt::kBadHandle, ZEPGetCaps(1000, &in, &caps));

    std::vector<uint32_t> values(70);
    for (uint32_t i = 0; i < values.size(); ++i)
        values[i] = 100 + i;
    s_controls.SetCaps(values.data(), 70);
    struct {
        ZEPCaps caps;
        uint32_t guard[8];
    } guarded{};
    guarded.caps.size = sizeof guarded.caps;
    std::fill(std::begin(guarded.guard), std::end(guarded.guard), 0xA5A5A5A5u);
    ASSERT_EQ(0, ZEPGetCaps(0, &in, &guarded.caps));
    EXPECT_EQ(70u, guarded.caps.count);
    EXPECT_EQ(163u, guarded.caps.values[63]);
    EXPECT_TRUE(std::all_of(std::begin(guarded.guard), std::end(guarded.guard),
                            [](uint32_t word) { return word == 0xA5A5A5A5u; }));
}

}  // namespace
