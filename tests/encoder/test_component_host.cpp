// The encoder component as a host sees it through vqx.dll, against the stand-in drivers: the
// records the service receives, property behaviour, buffers and teardown.
#include "standins.h"

#include <string>
#include <thread>
#include <vector>

namespace vqx::test {
namespace {

class EncoderHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_standIns.ready) << "the stand-in drivers are not on the path";
        m_standIns.Reset();
        m_encoder = NewEncoder();
        ASSERT_TRUE(m_encoder);
    }
    void TearDown() override {
        m_encoder.reset();
        m_standIns.Reset();
    }
    void StartWithMode(const char* mode) {
        StandIns::SetMode(mode);
        ASSERT_EQ(m_encoder->AcquireDisplay(), VQX_OK);
        ASSERT_EQ(m_encoder->CreateEncoder(), VQX_OK);
        ASSERT_EQ(m_encoder->StartEncode(), VQX_OK);
    }
    int64 Max(const wchar_t* name) { return InfoInt(m_encoder.get(), name, &VQXPropertyInfo::maxValue); }

    StandIns m_standIns;
    VQXPtr<VQXEncoderKLTZEP> m_encoder;
};

class ChangeLog final : public VQXPropertyStorageListener {
public:
    void VQX_CALL OnPropertyChanged(const wchar_t* name) override { names.emplace_back(name); }
    std::vector<std::wstring> names;
};

// The identifiers of VQXInterfaceImpl and of the storage template, as a component built on them answers.
TEST_F(EncoderHostTest, TheFactoryHandsOutOneReferenceAndTheStorageIdentifiers) {
    EXPECT_EQ(m_encoder->Acquire(), 2);
    EXPECT_EQ(m_encoder->Release(), 1);
    const std::pair<const wchar_t*, void*> parts[] = {
        {L"\"VQXUnknown\"", static_cast<VQXInterface*>(m_encoder.get())},
        {L"\"VQXEncoderKLTZEP\"", m_encoder.get()},
        {L"\"VQXPropertyStorage\"", static_cast<VQXPropertyStorage*>(m_encoder.get())},
        {L"\"VQXPropertyStorageEx\"", static_cast<VQXPropertyStorageEx*>(m_encoder.get())}};
    for (const auto& [id, part] : parts) {
        void* found = nullptr;
        ASSERT_EQ(m_encoder->QueryInterface(id, &found), VQX_OK) << std::wstring(id).c_str();
        EXPECT_EQ(found, part);
        EXPECT_EQ(m_encoder->Release(), 1);  // the query added one reference
    }
    VQXPropertyStorageEx* storage = nullptr;
    ASSERT_EQ(m_encoder->QueryInterface(L"\"VQXPropertyStorageEx\"", reinterpret_cast<void**>(&storage)), VQX_OK);
    EXPECT_EQ(storage->GetPropertiesInfoCount(), 31u);
    storage->Release();
    void* none = nullptr;
    EXPECT_EQ(m_encoder->QueryInterface(L"VQXPropertyStorageEx", &none), VQX_NO_INTERFACE);
    EXPECT_EQ(m_encoder->QueryInterface(L"\"vqxunknown\"", &none), VQX_NO_INTERFACE);
    EXPECT_EQ(m_encoder->QueryInterface(L"\"VQXZepBuffer\"", &none), VQX_NO_INTERFACE);
    EXPECT_EQ(none, nullptr);
    VQXCreateEncoderKLTZEP(nullptr);  // creates nothing, does not crash
}

// What the properties read for a display is in vqxcap's property tables (tests/tools/golden), which
// show 1920x1080@60 as well.
TEST_F(EncoderHostTest, TheDisplaysRecordsReachTheServiceByteForByte) {
    struct Case {
        const char* mode;
        std::vector<std::pair<const wchar_t*, int64>> settings;  // made before AcquireDisplay
        std::vector<uint32_t> create, config;
        int64 vbvAfterBitrate;
    };
    const Case cases[] = {
        // The VBV default (250250) is applied after the bitrate's own figure (7500000 / 29 = 258620).
        {"1280x720@29.97",
         {},
         {68, 24, 0, 1, 1280, 720, 66, 31, 36720000, 1225224, 0, 1, 0, 33, 1, 16, 1},
         {100, 64957, 150, 0, 0,    4, 6000000, 6000000, 150, 45, 0, 250250, 64,
          22,  51,    0,   0, 3600, 0, 0,       22,      22,  1,  1, 1},
         258620},
        // Chosen settings reach the creation record.
        {"640x480@60",
         {{L"Usage", 1}, {L"Profile", 100}, {L"Output Type", 1}, {L"Feedbacks", 4}, {L"Insert AUD", 0}},
         {68, 24, 0, 0, 640, 480, 100, 30, 25200000, 420000, 0, 2, 0, 33, 1, 4, 0},
         {100, 64957, 300, 0, 0, 4, 3500000, 3500000, 300, 30, 0, 72917, 64, 22, 51, 0, 0, 1200, 0, 0, 22, 22, 1, 1, 1},
         72916},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        m_encoder = NewEncoder();
        m_standIns.Reset();
        for (const auto& [name, value] : c.settings)
            ASSERT_EQ(SetInt(m_encoder.get(), name, value), VQX_OK);
        StartWithMode(c.mode);
        EXPECT_EQ(m_standIns.LastCreateWords(), c.create);
        EXPECT_EQ(m_standIns.LastConfigWords(), c.config);

        // A new bitrate derives the record's VBV size from whole frames per second; listeners hear
        // only about the bitrate.
        ChangeLog log;
        m_encoder->RegisterListener(&log);
        ASSERT_EQ(SetInt(m_encoder.get(), L"Bitrate", c.config[6]), VQX_OK);
        m_encoder->UnregisterListener(&log);
        EXPECT_EQ(GetInt(m_encoder.get(), L"VBV Buffer Size"), c.vbvAfterBitrate);
        EXPECT_EQ(log.names, std::vector<std::wstring>{L"Bitrate"});
        ASSERT_EQ(m_encoder->UpdateConfig(), VQX_OK);
        const std::vector<uint32_t> pushed = m_standIns.LastConfigWords();
        EXPECT_EQ(pushed.at(1), 4u);
        EXPECT_EQ(pushed.at(6), c.config[6]);
        EXPECT_EQ(pushed.at(11), c.vbvAfterBitrate);
    }
}

TEST_F(EncoderHostTest, UsageForcesTheProfileWithoutTellingListeners) {
    EXPECT_EQ(GetInt(m_encoder.get(), L"Usage"), 2);
    EXPECT_EQ(Max(L"Profile"), 66);
    ChangeLog log;
    m_encoder->RegisterListener(&log);
    ASSERT_EQ(SetInt(m_encoder.get(), L"Usage", 1), VQX_OK);
    EXPECT_EQ(Max(L"Profile"), 100);
    ASSERT_EQ(SetInt(m_encoder.get(), L"Profile", 100), VQX_OK);
    EXPECT_EQ(SetInt(m_encoder.get(), L"Profile", 101), VQX_INVALID_PARAMETER);
    ASSERT_EQ(SetInt(m_encoder.get(), L"Usage", 4), VQX_OK);
    EXPECT_EQ(GetInt(m_encoder.get(), L"Profile"), 100);  // low latency leaves the profile alone
    ASSERT_EQ(SetInt(m_encoder.get(), L"Usage", 2), VQX_OK);
    EXPECT_EQ(GetInt(m_encoder.get(), L"Profile"), 66);
    EXPECT_EQ(Max(L"Profile"), 66);
    m_encoder->UnregisterListener(&log);
    EXPECT_EQ(log.names, (std::vector<std::wstring>{L"Usage", L"Profile", L"Usage", L"Usage"}));
}

TEST_F(EncoderHostTest, CapabilitiesComeFromTheService) {
    VQXVariant value;
    auto capability = [&](const wchar_t* name) {
        value = VQXVariant();
        EXPECT_EQ(m_encoder->GetProperty(name, &value), VQX_OK) << std::wstring(name).c_str();
        EXPECT_EQ(value.type, VQX_VARIANT_BOOL);
        return value.boolValue;
    };
    const uint32_t before = m_standIns.Calls("ZEPGetCaps");
    EXPECT_TRUE(capability(L"Wireless Display Support"));  // state 0: asked with handle 0
    EXPECT_EQ(m_standIns.Calls("ZEPGetCaps"), before + 1);
    const uint32_t listed[] = {0, 1, 4};
    m_standIns.zep.SetCaps(listed, 1);
    EXPECT_TRUE(capability(L"Generic Support"));
    EXPECT_FALSE(capability(L"Wireless Display Support"));  // only the first `count` values count
    m_standIns.zep.SetCaps(listed, 2);
    EXPECT_FALSE(capability(L"Low Latency Support"));
    StartWithMode("640x480@60");
    EXPECT_TRUE(capability(L"Wireless Display Support"));  // with the encoder's handle
    m_standIns.zep.FailOperation("ZEPGetCaps", -1, 1);
    EXPECT_EQ(m_encoder->GetProperty(L"Generic Support", &value), VQX_FAIL);
    EXPECT_EQ(m_encoder->GetProperty(L"Generic Support", nullptr), VQX_NULL_POINTER);
}

TEST_F(EncoderHostTest, AHeldBufferKeepsItsBytesAfterTheNextQueryWhileTheServiceReclaimedThem) {
    StartWithMode("640x480@60");
    VQXPtr<VQXZepBuffer> first, second;
    ASSERT_EQ(m_encoder->QueryOutput(first.put()), VQX_OK);
    void* serviceMemory = nullptr;
    first->GetMemory(&serviceMemory);
    const std::vector<uint8_t> bytes = BytesOf(first.get());
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(first->GetType(), 0);  // picture 0, the parameter sets in front of it
    const std::size_t reclaimedBefore = m_standIns.Reclaimed();

    ASSERT_EQ(m_encoder->QueryOutput(second.put()), VQX_OK);
    EXPECT_EQ(m_standIns.Reclaimed(), reclaimedBefore + 1);  // the first output's resource
    void* copy = nullptr;
    first->GetMemory(&copy);
    EXPECT_NE(copy, serviceMemory);
    EXPECT_EQ(BytesOf(first.get()), bytes);
    EXPECT_EQ(second->GetType(), 3);  // then picture 1, a P picture (the scene moves)
    void* found = nullptr;
    EXPECT_EQ(second->QueryInterface(L"\"VQXUnknown\"", &found), VQX_OK);
    EXPECT_EQ(found, static_cast<void*>(second.get()));
    EXPECT_EQ(second->Release(), 1);  // the answer added a reference
    EXPECT_EQ(second->QueryInterface(L"VQXZepBuffer", &found), VQX_NO_INTERFACE);

    second.reset();  // the host's release reclaims at once
    EXPECT_EQ(m_standIns.Reclaimed(), reclaimedBefore + 2);
    EXPECT_EQ(m_standIns.zep.GetOutstandingCount(), 0u);
    first.reset();
    EXPECT_EQ(m_standIns.Reclaimed(), reclaimedBefore + 2);
}

// "Output Type" 1: each output arrives as two entries of one resource. A short answer and answers
// of empty entries are dropped and asked again; the second entry comes from the queue; only the
// release of the resource's last entry reclaims it; stopping releases an entry still queued.
TEST_F(EncoderHostTest, SplitOutputsArriveWholeAndTheirResourceIsReclaimedOnce) {
    ASSERT_EQ(SetInt(m_encoder.get(), L"Output Type", 1), VQX_OK);
    StartWithMode("640x480@60");
    m_standIns.zep.SetEmptyResults(2);
    m_standIns.zep.SetPartialResults(1);
    const uint32_t queriesBefore = m_standIns.Calls("ZEPQueryOutputs");
    const std::size_t reclaimedBefore = m_standIns.Reclaimed();
    VQXPtr<VQXZepBuffer> first, second;
    ASSERT_EQ(m_encoder->QueryOutput(first.put()), VQX_OK);
    EXPECT_GE(m_standIns.Calls("ZEPQueryOutputs"), queriesBefore + 4);  // two empty, one short, one whole
    EXPECT_EQ(first->GetType(), 0);
    const uint32_t queries = m_standIns.Calls("ZEPQueryOutputs");
    ASSERT_EQ(m_encoder->QueryOutput(second.put()), VQX_OK);
    EXPECT_EQ(m_standIns.Calls("ZEPQueryOutputs"), queries);
    EXPECT_EQ(second->GetType(), -1);  // the continuation
    second.reset();
    EXPECT_EQ(m_standIns.Reclaimed(), reclaimedBefore + 1);
    first.reset();
    EXPECT_EQ(m_standIns.Reclaimed(), reclaimedBefore + 1);

    ASSERT_EQ(m_encoder->QueryOutput(first.put()), VQX_OK);
    const std::vector<uint8_t> bytes = BytesOf(first.get());
    ASSERT_EQ(m_encoder->StopEncode(), VQX_OK);
    EXPECT_EQ(m_standIns.zep.GetOutstandingCount(), 0u);
    EXPECT_EQ(BytesOf(first.get()), bytes);
}

// A cancel while the query waits for the next frame to be due ends it before it polls.
TEST_F(EncoderHostTest, ACancelDuringThePacingWaitEndsTheQueryBeforeItPolls) {
    StartWithMode("320,240,400,250,10");  // one frame a second
    VQXPtr<VQXZepBuffer> buffer;
    ASSERT_EQ(m_encoder->QueryOutput(buffer.put()), VQX_OK);  // picture 0 is due at once
    const uint32_t queries = m_standIns.Calls("ZEPQueryOutputs");
    std::thread canceller([this] {
        Sleep(100);
        m_encoder->CancelQueryOutput();
    });
    EXPECT_EQ(m_encoder->QueryOutput(buffer.put()), VQX_REPEAT);
    canceller.join();
    EXPECT_EQ(m_standIns.Calls("ZEPQueryOutputs"), queries);
}

TEST_F(EncoderHostTest, WaitFrameMaxReachesARunningQuery) {
    StartWithMode("640x480@60");
    m_standIns.zep.HoldOutputs(1);
    ASSERT_EQ(SetInt(m_encoder.get(), L"Wait Frame Max", 0), VQX_OK);
    const uint32_t queriesBefore = m_standIns.Calls("ZEPQueryOutputs");
    VQXPtr<VQXZepBuffer> buffer;
    EXPECT_EQ(m_encoder->QueryOutput(buffer.put()), VQX_REPEAT);
    EXPECT_EQ(m_standIns.Calls("ZEPQueryOutputs"), queriesBefore + 1);  // one poll, no wait
    ASSERT_EQ(SetInt(m_encoder.get(), L"Wait Frame Max", 40), VQX_OK);
    EXPECT_EQ(m_encoder->QueryOutput(buffer.put()), VQX_REPEAT);
    EXPECT_GT(m_standIns.Calls("ZEPQueryOutputs"), queriesBefore + 2);  // polled for 40 ms
}

TEST_F(EncoderHostTest, ClearWhileEncodingRestoresDefaultsAndPushesThem) {
    StartWithMode("1920x1080@30");
    ASSERT_EQ(SetInt(m_encoder.get(), L"Bitrate", 3000000), VQX_OK);
    ASSERT_EQ(SetInt(m_encoder.get(), L"IDR Period", 10), VQX_OK);
    const uint32_t pushesBefore = m_standIns.Calls("ZEPSetConfig");
    m_standIns.zep.FailOperation("ZEPSetConfig", -8, 1);
    EXPECT_EQ(m_encoder->Clear(), VQX_OK);  // even though the push failed
    EXPECT_EQ(m_standIns.Calls("ZEPSetConfig"), pushesBefore + 1);
    EXPECT_EQ(m_encoder->GetPropertyCount(), 0);
    // The defaults pass ran with a frame-rate denominator of 0: 1080 lines above 30 fps.
    EXPECT_EQ(GetInt(m_encoder.get(), L"Bitrate"), 15000000);
    EXPECT_EQ(Max(L"Bitrate"), 50000000);
    EXPECT_EQ(GetInt(m_encoder.get(), L"IDR Period"), 300);
    EXPECT_EQ(m_encoder->Clear(), VQX_OK);
    const std::vector<uint32_t> pushed = m_standIns.LastConfigWords();
    EXPECT_EQ(pushed.at(2), 300u);
    EXPECT_EQ(pushed.at(6), 15000000u);
    EXPECT_EQ(pushed.at(8), 300u);
    EXPECT_EQ(GetInt(m_encoder.get(), L"Width"), 0);  // the map is empty: the description default
}

TEST_F(EncoderHostTest, TheLastReleaseUndoesEveryStep) {
    StartWithMode("640x480@60");
    VQXPtr<VQXZepBuffer> held;
    ASSERT_EQ(m_encoder->QueryOutput(held.put()), VQX_OK);
    m_encoder.reset();
    EXPECT_EQ(m_standIns.Calls("ZEPStopEncode"), 1u);
    EXPECT_EQ(m_standIns.Calls("ZEPDestroy"), 1u);
    const GRXTestRecord display = m_standIns.DisplayRecord();
    EXPECT_EQ(display.release_calls, 1);
    EXPECT_EQ(display.acquired_now, 0);
    EXPECT_EQ(m_standIns.zep.GetOutstandingCount(), 0u);
    void* memory = nullptr;
    held->GetMemory(&memory);  // still readable: it was copied when the encoder stopped
    EXPECT_NE(memory, nullptr);
    EXPECT_GT(held->GetSize(), 0u);
}

}  // namespace
}  // namespace vqx::test
