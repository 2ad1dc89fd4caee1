// The encoder component as a host sees it through vqx.dll, against the stand-in drivers: the
// records the service receives, property behaviour, buffers, cancelling and teardown.
#include "standins.h"

#include <vqx/memory.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace vqx::test {
namespace {

class EncoderHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(standIns.zepReady && standIns.grxReady) << "the stand-in drivers are not on the path";
        standIns.Reset();
        encoder = NewEncoder();
        ASSERT_TRUE(encoder);
    }
    void TearDown() override {
        encoder.reset();
        standIns.Reset();
    }

    void StartWithMode(const char* mode) {
        StandIns::SetMode(mode);
        ASSERT_EQ(encoder->AcquireDisplay(), VQX_OK);
        ASSERT_EQ(encoder->CreateEncoder(), VQX_OK);
        ASSERT_EQ(encoder->StartEncode(), VQX_OK);
    }

    StandIns standIns;
    VQXPtr<VQXEncoderKLTZEP> encoder;
};

class ChangeLog final : public VQXPropertyStorageListener {
public:
    void VQX_CALL OnPropertyChanged(const wchar_t* name) override { names.emplace_back(name); }
    std::vector<std::wstring> names;
};

TEST_F(EncoderHostTest, TheFactoryHandsOutOneReferenceAndTheStorageIdentifiers) {
    EXPECT_EQ(encoder->Acquire(), 2);
    EXPECT_EQ(encoder->Release(), 1);
    const wchar_t* const answered[] = {L"\"VQXUnknown\"", L"\"VQXEncoderKLTZEP\"", L"\"VQXPropertyStorage\"",
                                       L"\"VQXPropertyStorageEx\""};
    for (const wchar_t* id : answered) {
        void* found = nullptr;
        ASSERT_EQ(encoder->QueryInterface(id, &found), VQX_OK) << std::wstring(id).c_str();
        EXPECT_NE(found, nullptr);
        EXPECT_EQ(encoder->Release(), 1);  // the query added one reference
    }
    VQXPropertyStorageEx* storage = nullptr;
    ASSERT_EQ(encoder->QueryInterface(L"\"VQXPropertyStorageEx\"", reinterpret_cast<void**>(&storage)), VQX_OK);
    EXPECT_EQ(storage->GetPropertiesInfoCount(), 31u);
    storage->Release();
    void* none = nullptr;
    EXPECT_EQ(encoder->QueryInterface(L"VQXPropertyStorageEx", &none), VQX_NO_INTERFACE);
    EXPECT_EQ(encoder->QueryInterface(L"\"VQXZepBuffer\"", &none), VQX_NO_INTERFACE);
    EXPECT_EQ(none, nullptr);

    VQXCreateEncoderKLTZEP(nullptr);  // creates nothing, does not crash
}

TEST_F(EncoderHostTest, ANewEncoderReadsItsConstructionDefaults) {
    EXPECT_EQ(encoder->GetPropertiesInfoCount(), 31u);
    EXPECT_EQ(encoder->GetPropertyCount(), 0);
    EXPECT_EQ(GetInt(encoder.get(), L"Bitrate"), 2000000);
    EXPECT_EQ(InfoInt(encoder.get(), L"Bitrate", &VQXPropertyInfo::maxValue), 10000000);
    EXPECT_EQ(GetInt(encoder.get(), L"IDR Period"), 150);
    EXPECT_EQ(GetInt(encoder.get(), L"Intra Refresh MBs Number Per Slot"), 30);
    EXPECT_EQ(GetInt(encoder.get(), L"Profile"), 66);
    EXPECT_EQ(InfoInt(encoder.get(), L"Profile", &VQXPropertyInfo::maxValue), 66);
    EXPECT_EQ(GetInt(encoder.get(), L"Wait Frame Max"), 500);
    EXPECT_EQ(GetInt(encoder.get(), L"Usage"), 2);
    VQXVariant width;
    EXPECT_EQ(encoder->GetProperty(L"Width", &width), VQX_NOT_INITIALIZED);
}

TEST_F(EncoderHostTest, The1080p60DisplayRecordsReachTheServiceByteForByte) {
    StartWithMode("1920x1080@60");
    const std::vector<uint32_t> create = {68,   24, 0, 1, 1920, 1080, 66, 42, 148500000, 2475000,
                                          0,    1,  0, 33, 1,    16,   1};
    EXPECT_EQ(standIns.LastCreateWords(), create);
    const std::vector<uint32_t> config = {100, 64957, 300, 0,  0, 4,    15000000, 15000000, 300, 68, 0, 312500, 64,
                                          22,  51,    0,   0,  8160, 0, 0,        22,       22,  1,  1,  1};
    EXPECT_EQ(standIns.LastConfigWords(), config);
    EXPECT_EQ(GetInt(encoder.get(), L"Width"), 1920);
    EXPECT_EQ(GetInt(encoder.get(), L"FPS Numerator"), 148500000);
    EXPECT_EQ(GetInt(encoder.get(), L"FPS Denominator"), 2475000);
    EXPECT_EQ(GetInt(encoder.get(), L"Bitrate"), 15000000);
    EXPECT_EQ(InfoInt(encoder.get(), L"Bitrate", &VQXPropertyInfo::maxValue), 50000000);
    EXPECT_EQ(GetInt(encoder.get(), L"VBV Buffer Size"), 312500);
    EXPECT_EQ(InfoInt(encoder.get(), L"VBV Buffer Size", &VQXPropertyInfo::minValue), 250000);
    EXPECT_EQ(InfoInt(encoder.get(), L"VBV Buffer Size", &VQXPropertyInfo::maxValue), 30000000);
    EXPECT_EQ(InfoInt(encoder.get(), L"Slices Per Frame", &VQXPropertyInfo::maxValue), 8160);
}

TEST_F(EncoderHostTest, The720p2997DisplayRecordsReachTheServiceByteForByte) {
    StandIns::SetMode("1280x720@29.97");
    ASSERT_EQ(encoder->AcquireDisplay(), VQX_OK);
    ASSERT_EQ(encoder->CreateEncoder(), VQX_OK);
    // The VBV default (250250) is applied after the bitrate's own figure (7500000 / 29 = 258620).
    EXPECT_EQ(GetInt(encoder.get(), L"VBV Buffer Size"), 250250);
    ASSERT_EQ(encoder->StartEncode(), VQX_OK);
    const std::vector<uint32_t> create = {68, 24, 0, 1, 1280, 720, 66, 31, 36720000, 1225224,
                                          0,  1,  0, 33, 1,   16,  1};
    EXPECT_EQ(standIns.LastCreateWords(), create);
    const std::vector<uint32_t> config = {100, 64957, 150, 0,  0,    4, 6000000, 6000000, 150, 45, 0, 250250, 64,
                                          22,  51,    0,   0,  3600, 0, 0,       22,      22,  1,  1,  1};
    EXPECT_EQ(standIns.LastConfigWords(), config);
    EXPECT_EQ(InfoInt(encoder.get(), L"Bitrate", &VQXPropertyInfo::maxValue), 14000000);
    EXPECT_EQ(InfoInt(encoder.get(), L"VBV Buffer Size", &VQXPropertyInfo::minValue), 200200);
    EXPECT_EQ(InfoInt(encoder.get(), L"VBV Buffer Size", &VQXPropertyInfo::maxValue), 12000000);
    EXPECT_EQ(InfoInt(encoder.get(), L"Intra Refresh MBs Number Per Slot", &VQXPropertyInfo::maxValue), 3600);

    // A new bitrate derives the record's VBV size from whole frames per second, without a listener
    // hearing about the VBV property.
    ChangeLog log;
    encoder->RegisterListener(&log);
    ASSERT_EQ(SetInt(encoder.get(), L"Bitrate", 6000000), VQX_OK);
    encoder->UnregisterListener(&log);
    EXPECT_EQ(GetInt(encoder.get(), L"VBV Buffer Size"), 258620);
    EXPECT_EQ(log.names, std::vector<std::wstring>{L"Bitrate"});
    ASSERT_EQ(encoder->UpdateConfig(), VQX_OK);
    const std::vector<uint32_t> pushed = standIns.LastConfigWords();
    EXPECT_EQ(pushed.at(1), 4u);
    EXPECT_EQ(pushed.at(6), 6000000u);
    EXPECT_EQ(pushed.at(11), 258620u);
}

TEST_F(EncoderHostTest, ChosenSettingsReachTheCreationRecord) {
    ASSERT_EQ(SetInt(encoder.get(), L"Usage", 1), VQX_OK);
    ASSERT_EQ(SetInt(encoder.get(), L"Profile", 100), VQX_OK);
    ASSERT_EQ(SetInt(encoder.get(), L"Output Type", 1), VQX_OK);
    ASSERT_EQ(SetInt(encoder.get(), L"Feedbacks", 4), VQX_OK);
    ASSERT_EQ(SetBool(encoder.get(), L"Insert AUD", false), VQX_OK);
    StartWithMode("640x480@60");
    const std::vector<uint32_t> create = {68, 24, 0, 0, 640, 480, 100, 30, 25200000, 420000,
                                          0,  2,  0, 33, 1,  4,   0};
    EXPECT_EQ(standIns.LastCreateWords(), create);
}

TEST_F(EncoderHostTest, UsageForcesTheProfileWithoutTellingListeners) {
    ChangeLog log;
    encoder->RegisterListener(&log);
    ASSERT_EQ(SetInt(encoder.get(), L"Usage", 1), VQX_OK);
    EXPECT_EQ(InfoInt(encoder.get(), L"Profile", &VQXPropertyInfo::maxValue), 100);
    ASSERT_EQ(SetInt(encoder.get(), L"Profile", 100), VQX_OK);
    EXPECT_EQ(SetInt(encoder.get(), L"Profile", 101), VQX_INVALID_PARAMETER);
    ASSERT_EQ(SetInt(encoder.get(), L"Usage", 4), VQX_OK);
    EXPECT_EQ(GetInt(encoder.get(), L"Profile"), 100);  // low latency leaves the profile alone
    ASSERT_EQ(SetInt(encoder.get(), L"Usage", 2), VQX_OK);
    EXPECT_EQ(GetInt(encoder.get(), L"Profile"), 66);
    EXPECT_EQ(InfoInt(encoder.get(), L"Profile", &VQXPropertyInfo::maxValue), 66);
    encoder->UnregisterListener(&log);
    EXPECT_EQ(log.names, (std::vector<std::wstring>{L"Usage", L"Profile", L"Usage", L"Usage"}));
}

TEST_F(EncoderHostTest, TimingPropertiesAnswerOnlyWhileTheEncoderExists) {
    StandIns::SetMode("1280x720@60");
    ASSERT_EQ(encoder->AcquireDisplay(), VQX_OK);
    VQXVariant value;
    EXPECT_EQ(encoder->GetProperty(L"Height", &value), VQX_NOT_INITIALIZED);
    ASSERT_EQ(encoder->CreateEncoder(), VQX_OK);
    EXPECT_EQ(GetInt(encoder.get(), L"Height"), 720);
    EXPECT_EQ(GetInt(encoder.get(), L"FPS Denominator"), 1237500);
    ASSERT_EQ(encoder->DestroyEncoder(), VQX_OK);
    EXPECT_EQ(encoder->GetProperty(L"FPS Numerator", &value), VQX_NOT_INITIALIZED);
    EXPECT_TRUE(encoder->HasProperty(L"FPS Numerator"));  // the value is kept for the next create
}

TEST_F(EncoderHostTest, CapabilitiesComeFromTheService) {
    auto readCapability = [this](const wchar_t* name, VQXVariant& value) {
        return encoder->GetProperty(name, &value);
    };
    VQXVariant value;
    const uint32_t before = standIns.Calls("ZEPGetCaps");
    ASSERT_EQ(readCapability(L"Wireless Display Support", value), VQX_OK);  // state 0: handle 0
    EXPECT_EQ(value.type, VQX_VARIANT_BOOL);
    EXPECT_TRUE(value.boolValue);
    EXPECT_EQ(standIns.Calls("ZEPGetCaps"), before + 1);

    const uint32_t onlyGeneric[] = {0};
    standIns.zep.SetCaps(onlyGeneric, 1);
    ASSERT_EQ(readCapability(L"Low Latency Support", value), VQX_OK);
    EXPECT_FALSE(value.boolValue);
    ASSERT_EQ(readCapability(L"Generic Support", value), VQX_OK);
    EXPECT_TRUE(value.boolValue);
    // Only the first `count` values count.
    const uint32_t listed[] = {0, 1, 4};
    standIns.zep.SetCaps(listed, 2);
    ASSERT_EQ(readCapability(L"Low Latency Support", value), VQX_OK);
    EXPECT_FALSE(value.boolValue);

    StartWithMode("640x480@60");
    ASSERT_EQ(readCapability(L"Wireless Display Support", value), VQX_OK);  // with the encoder's handle
    EXPECT_TRUE(value.boolValue);
    standIns.zep.FailOperation("ZEPGetCaps", -1, 1);
    EXPECT_EQ(readCapability(L"Generic Support", value), VQX_FAIL);
    EXPECT_EQ(encoder->GetProperty(L"Generic Support", nullptr), VQX_NULL_POINTER);
}

TEST_F(EncoderHostTest, AHeldBufferKeepsItsBytesAfterTheNextQueryWhileTheServiceReclaimedThem) {
    StartWithMode("640x480@60");
    VQXPtr<VQXZepBuffer> first;
    ASSERT_EQ(encoder->QueryOutput(first.put()), VQX_OK);
    void* serviceMemory = nullptr;
    first->GetMemory(&serviceMemory);
    const uint32_t size = first->GetSize();
    ASSERT_GT(size, 0u);
    const std::vector<uint8_t> bytes(static_cast<uint8_t*>(serviceMemory), static_cast<uint8_t*>(serviceMemory) + size);
    EXPECT_EQ(first->GetType(), 0);  // picture 0, the parameter sets in front of it
    const std::size_t reclaimedBefore = standIns.ReclaimedIds().size();

    VQXPtr<VQXZepBuffer> second;
    ASSERT_EQ(encoder->QueryOutput(second.put()), VQX_OK);
    EXPECT_EQ(standIns.ReclaimedIds().size(), reclaimedBefore + 1);  // the first output's resource
    void* copy = nullptr;
    first->GetMemory(&copy);
    EXPECT_NE(copy, serviceMemory);
    ASSERT_EQ(first->GetSize(), size);
    EXPECT_EQ(std::vector<uint8_t>(static_cast<uint8_t*>(copy), static_cast<uint8_t*>(copy) + size), bytes);
    EXPECT_EQ(second->GetType(), 3);  // then picture 1, a P picture (the scene moves)

    second.reset();  // the host's release reclaims at once
    EXPECT_EQ(standIns.ReclaimedIds().size(), reclaimedBefore + 2);
    EXPECT_EQ(standIns.zep.GetOutstandingCount(), 0u);
    first.reset();
    EXPECT_EQ(standIns.ReclaimedIds().size(), reclaimedBefore + 2);
}

TEST_F(EncoderHostTest, ACancelFromAnotherThreadEndsAWaitingQuery) {
    StartWithMode("640x480@60");
    ASSERT_EQ(SetInt(encoder.get(), L"Wait Frame Max", 60000), VQX_OK);
    standIns.zep.HoldOutputs(1);
    std::atomic<VQX_ERROR> cancelResult{VQX_FAIL};
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        cancelResult = encoder->CancelQueryOutput();
    });
    const int64 before = vqx_high_precision_clock();
    VQXPtr<VQXZepBuffer> buffer;
    EXPECT_EQ(encoder->QueryOutput(buffer.put()), VQX_REPEAT);
    canceller.join();
    EXPECT_EQ(cancelResult.load(), VQX_OK);
    EXPECT_FALSE(buffer);
    EXPECT_LT(vqx_high_precision_clock() - before, 30000LL * 10000);  // far below the 60 s limit
    standIns.zep.HoldOutputs(0);
    EXPECT_EQ(encoder->QueryOutput(buffer.put()), VQX_OK);  // the cancel does not stick
}

TEST_F(EncoderHostTest, WaitFrameMaxReachesARunningQuery) {
    StartWithMode("640x480@60");
    standIns.zep.HoldOutputs(1);
    ASSERT_EQ(SetInt(encoder.get(), L"Wait Frame Max", 0), VQX_OK);
    const uint32_t queriesBefore = standIns.Calls("ZEPQueryOutputs");
    VQXPtr<VQXZepBuffer> buffer;
    EXPECT_EQ(encoder->QueryOutput(buffer.put()), VQX_REPEAT);
    EXPECT_EQ(standIns.Calls("ZEPQueryOutputs"), queriesBefore + 1);  // one poll, no wait
    ASSERT_EQ(SetInt(encoder.get(), L"Wait Frame Max", 40), VQX_OK);
    EXPECT_EQ(encoder->QueryOutput(buffer.put()), VQX_REPEAT);
    EXPECT_GT(standIns.Calls("ZEPQueryOutputs"), queriesBefore + 2);  // polled for 40 ms
}

TEST_F(EncoderHostTest, ClearWhileEncodingRestoresDefaultsAndPushesThem) {
    StartWithMode("1920x1080@30");
    ASSERT_EQ(SetInt(encoder.get(), L"Bitrate", 3000000), VQX_OK);
    ASSERT_EQ(SetInt(encoder.get(), L"IDR Period", 10), VQX_OK);
    EXPECT_EQ(GetInt(encoder.get(), L"IDR Period"), 10);
    const uint32_t pushesBefore = standIns.Calls("ZEPSetConfig");
    standIns.zep.FailOperation("ZEPSetConfig", -8, 1);
    EXPECT_EQ(encoder->Clear(), VQX_OK);  // even though the push failed
    EXPECT_EQ(standIns.Calls("ZEPSetConfig"), pushesBefore + 1);
    EXPECT_EQ(encoder->GetPropertyCount(), 0);
    // The defaults pass ran with a frame-rate denominator of 0: 1080 lines above 30 fps.
    EXPECT_EQ(GetInt(encoder.get(), L"Bitrate"), 15000000);
    EXPECT_EQ(InfoInt(encoder.get(), L"Bitrate", &VQXPropertyInfo::maxValue), 50000000);
    EXPECT_EQ(GetInt(encoder.get(), L"IDR Period"), 300);
    EXPECT_EQ(encoder->Clear(), VQX_OK);
    const std::vector<uint32_t> pushed = standIns.LastConfigWords();
    EXPECT_EQ(pushed.at(2), 300u);
    EXPECT_EQ(pushed.at(6), 15000000u);
    EXPECT_EQ(pushed.at(8), 300u);
    // The value map is empty now: the display's width reads as its description default while the
    // creation record keeps it.
    EXPECT_EQ(GetInt(encoder.get(), L"Width"), 0);
}

TEST_F(EncoderHostTest, TheLastReleaseUndoesEveryStep) {
    StartWithMode("640x480@60");
    VQXPtr<VQXZepBuffer> held;
    ASSERT_EQ(encoder->QueryOutput(held.put()), VQX_OK);
    encoder.reset();
    EXPECT_EQ(standIns.Calls("ZEPStopEncode"), 1u);
    EXPECT_EQ(standIns.Calls("ZEPDestroy"), 1u);
    const GRXTestRecord display = standIns.DisplayRecord();
    EXPECT_EQ(display.release_calls, 1);
    EXPECT_EQ(display.acquired_now, 0);
    EXPECT_EQ(standIns.zep.GetOutstandingCount(), 0u);
    void* memory = nullptr;
    held->GetMemory(&memory);  // still readable: it was copied when the encoder stopped
    EXPECT_NE(memory, nullptr);
    EXPECT_GT(held->GetSize(), 0u);
}

}  // namespace
}  // namespace vqx::test
