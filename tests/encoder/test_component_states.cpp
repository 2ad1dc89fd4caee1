// The encoder's state machine as a host sees it through vqx.dll, against the stand-in drivers:
// every cell of the state table, the failure results and their traces, and the access-mode and
// usage refusals.
#include "standins.h"
#include "../trace/trace_recorder.h"

#include <string>

namespace vqx::test {
namespace {

class EncoderStateTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_standIns.ready) << "the stand-in drivers are not on the path";
        Fresh();
    }
    void TearDown() override {
        m_encoder.reset();
        m_standIns.Reset();
    }
    void Fresh() {
        m_encoder.reset();
        m_standIns.Reset("640x480@60");
        m_encoder = NewEncoder();
        ASSERT_TRUE(m_encoder);
    }
    // Raises the encoder from state 0 to `state` (0 to 3).
    void Reach(int state) {
        for (int step = 1; step <= state; ++step) {
            const VQX_ERROR result = step == 1   ? m_encoder->AcquireDisplay()
                                     : step == 2 ? m_encoder->CreateEncoder()
                                                 : m_encoder->StartEncode();
            ASSERT_EQ(result, VQX_OK) << "raising to state " << step;
        }
    }
    // The state read back through side effects that change nothing: the display the stand-in has
    // lent, whether the timing properties answer, and whether a cancel is accepted.
    int ObservedState() {
        if (m_standIns.DisplayRecord().acquired_now == 0) return 0;
        VQXVariant width;
        if (m_encoder->GetProperty(L"Width", &width) == VQX_NOT_INITIALIZED) return 1;
        return m_encoder->CancelQueryOutput() == VQX_OK ? 3 : 2;
    }

    StandIns m_standIns;
    VQXPtr<VQXEncoderKLTZEP> m_encoder;
};

VQX_ERROR RunOperation(VQXEncoderKLTZEP* encoder, const std::string& operation) {
    if (operation == "AcquireDisplay") return encoder->AcquireDisplay();
    if (operation == "CreateEncoder") return encoder->CreateEncoder();
    if (operation == "StartEncode") return encoder->StartEncode();
    if (operation == "StopEncode") return encoder->StopEncode();
    if (operation == "DestroyEncoder") return encoder->DestroyEncoder();
    if (operation == "ReleaseDisplay") return encoder->ReleaseDisplay();
    if (operation == "CancelQueryOutput") return encoder->CancelQueryOutput();
    if (operation == "UpdateConfig") return encoder->UpdateConfig();
    VQXPtr<VQXZepBuffer> buffer;
    const VQX_ERROR result = encoder->QueryOutput(buffer.put());
    return result == VQX_REPEAT ? VQX_OK : result;  // in state 3 delivering and timing out both succeed
}

TEST_F(EncoderStateTest, EveryCellOfTheStateTable) {
    const VQX_ERROR kOk = VQX_OK, kAlready = VQX_ALREADY_INITIALIZED, kNotInit = VQX_NOT_INITIALIZED;
    struct Cell {
        const char* operation;
        int from;
        VQX_ERROR result;
        int to;
    };
    const Cell cells[] = {
        {"AcquireDisplay", 0, kOk, 1},
        {"AcquireDisplay", 1, kAlready, 1},
        {"AcquireDisplay", 2, kAlready, 2},
        {"AcquireDisplay", 3, kAlready, 3},
        {"CreateEncoder", 0, kNotInit, 0},
        {"CreateEncoder", 1, kOk, 2},
        {"CreateEncoder", 2, kAlready, 2},
        {"CreateEncoder", 3, kAlready, 3},
        {"StartEncode", 0, kNotInit, 0},
        {"StartEncode", 1, kNotInit, 1},
        {"StartEncode", 2, kOk, 3},
        {"StartEncode", 3, kAlready, 3},
        {"StopEncode", 0, kAlready, 0},
        {"StopEncode", 1, kAlready, 1},
        {"StopEncode", 2, kAlready, 2},
        {"StopEncode", 3, kOk, 2},
        {"DestroyEncoder", 0, kAlready, 0},
        {"DestroyEncoder", 1, kAlready, 1},
        {"DestroyEncoder", 2, kOk, 1},
        {"DestroyEncoder", 3, kNotInit, 3},
        {"ReleaseDisplay", 0, kAlready, 0},
        {"ReleaseDisplay", 1, kOk, 0},
        {"ReleaseDisplay", 2, kNotInit, 2},
        {"ReleaseDisplay", 3, kNotInit, 3},
        {"QueryOutput", 0, kNotInit, 0},
        {"QueryOutput", 1, kNotInit, 1},
        {"QueryOutput", 2, kNotInit, 2},
        {"QueryOutput", 3, kOk, 3},
        {"CancelQueryOutput", 0, kNotInit, 0},
        {"CancelQueryOutput", 1, kNotInit, 1},
        {"CancelQueryOutput", 2, kNotInit, 2},
        {"CancelQueryOutput", 3, kOk, 3},
        {"UpdateConfig", 0, kNotInit, 0},
        {"UpdateConfig", 1, kNotInit, 1},
        {"UpdateConfig", 2, kNotInit, 2},
        {"UpdateConfig", 3, kOk, 3},
    };
    for (const Cell& cell : cells) {
        SCOPED_TRACE(std::string(cell.operation) + " from state " + std::to_string(cell.from));
        Fresh();
        SetInt(m_encoder.get(), L"Wait Frame Max", 50);
        Reach(cell.from);
        ASSERT_EQ(ObservedState(), cell.from);
        const uint32_t setConfigsBefore = m_standIns.Calls("ZEPSetConfig");
        EXPECT_EQ(RunOperation(m_encoder.get(), cell.operation), cell.result);
        EXPECT_EQ(ObservedState(), cell.to);
        if (cell.result != kOk) {
            EXPECT_EQ(m_standIns.Calls("ZEPSetConfig"), setConfigsBefore);
        }
    }
}

// Each failed service call is traced under the encoder's facility with its own message and code.
TEST_F(EncoderStateTest, FailedAcquireAndCreateKeepTheStateAFailedDestroyStillLowersIt) {
    TraceRecorder trace(L"VQXEncoderKLTZEPImpl");
    SetEnvironmentVariableA("GRXAPIXX_ADAPTERS", "0");
    EXPECT_EQ(m_encoder->AcquireDisplay(), VQX_ZEP_DISPLAY_FAILED);
    EXPECT_EQ(ObservedState(), 0);
    SetEnvironmentVariableA("GRXAPIXX_ADAPTERS", nullptr);
    EXPECT_EQ(m_encoder->AcquireDisplay(), VQX_OK);  // nothing was cached

    m_standIns.zep.FailOperation("ZEPCreate", -77, 1);
    EXPECT_EQ(m_encoder->CreateEncoder(), VQX_ENCODER_CREATE_FAILED);
    EXPECT_EQ(ObservedState(), 1);
    EXPECT_TRUE(m_encoder->HasProperty(L"Width"));  // stored, though only answered from state 2 on
    EXPECT_EQ(m_encoder->CreateEncoder(), VQX_OK);
    EXPECT_EQ(GetInt(m_encoder.get(), L"Width"), 640);
    m_standIns.zep.FailOperation("ZEPDestroy", -78, 1);  // traced only: the encoder goes either way
    ASSERT_EQ(m_encoder->DestroyEncoder(), VQX_OK);
    EXPECT_TRUE(m_encoder->HasProperty(L"FPS Numerator"));  // kept for the next create, not answered
    EXPECT_EQ(ObservedState(), 1);
    EXPECT_EQ(trace.Messages(), (std::vector<std::wstring>{L"ZEPCreate() - ZEP encoder create failed, err -77",
                                                           L"ZEPDestroy()- ZEP encoder destroying failed, err -78"}));
}

TEST_F(EncoderStateTest, AFailedStartKeepsTheEncoderAndTheMaskOfTheLastSuccessfulPush) {
    TraceRecorder trace(L"VQXEncoderKLTZEPImpl");
    Reach(2);
    m_standIns.zep.FailOperation("ZEPSetConfig", -5, 1);
    EXPECT_EQ(m_encoder->StartEncode(), VQX_DECODER_CREATE_FAILED);
    EXPECT_EQ(ObservedState(), 2);
    EXPECT_EQ(m_standIns.Calls("ZEPStartEncode"), 0u);
    m_standIns.zep.FailOperation("ZEPStartEncode", -9, 1);
    EXPECT_EQ(m_encoder->StartEncode(), VQX_ZEP_START_FAILED);
    EXPECT_EQ(ObservedState(), 2);
    EXPECT_NE(m_standIns.LastConfigWords().at(1), 0u);  // the mask survived the failed push
    EXPECT_EQ(m_encoder->StartEncode(), VQX_OK);
    EXPECT_EQ(m_standIns.LastConfigWords().at(1), 0u);  // cleared by the push before the failed start
    EXPECT_EQ(trace.Messages(), (std::vector<std::wstring>{L"ZEPSetConfig()- ZEP encoder set config failed, err -5",
                                                           L"ZEPStartEncode()- ZEP encoder start failed, err -9"}));
}

TEST_F(EncoderStateTest, ServiceFailuresWhileEncoding) {
    TraceRecorder trace(L"VQXEncoderKLTZEPImpl");
    Reach(3);
    m_standIns.zep.FailOperation("ZEPQueryOutputs", -3, 1);
    VQXPtr<VQXZepBuffer> buffer;
    EXPECT_EQ(m_encoder->QueryOutput(buffer.put()), VQX_ZEP_QUERY_FAILED);
    EXPECT_FALSE(buffer);
    m_standIns.zep.FailOperation("ZEPSetConfig", -4, 1);
    SetInt(m_encoder.get(), L"Bitrate", 1000000);
    EXPECT_EQ(m_encoder->UpdateConfig(), VQX_DECODER_CREATE_FAILED);
    EXPECT_EQ(m_encoder->UpdateConfig(), VQX_OK);
    EXPECT_EQ(m_standIns.LastConfigWords().at(1), 4u);  // only the VBV size changed since the start
    EXPECT_EQ(m_encoder->UpdateConfig(), VQX_OK);
    EXPECT_EQ(m_standIns.LastConfigWords().at(1), 0u);
    EXPECT_EQ(m_encoder->QueryOutput(nullptr), VQX_NULL_POINTER);
    EXPECT_EQ(ObservedState(), 3);

    // Failures to reclaim and to stop are traced only: the encoder goes either way.
    ASSERT_EQ(m_encoder->QueryOutput(buffer.put()), VQX_OK);
    m_standIns.zep.FailOperation("ZEPReclaimOutputResource", -6, 1);
    buffer.reset();
    m_standIns.zep.FailOperation("ZEPStopEncode", -7, 1);
    m_encoder.reset();
    EXPECT_EQ(m_standIns.DisplayRecord().acquired_now, 0);
    EXPECT_EQ(trace.Messages(), (std::vector<std::wstring>{
                                    L"ZEPQueryOutputs()- ZEP encoder query output failed, err -3",
                                    L"ZEPSetConfig()- ZEP encoder set config failed, err -4",
                                    L"ZEPReclaimOutputResource()- ZEP encoder reclaim output failed, err -6",
                                    L"ZEPStopEncode()- ZEP encoder stop failed, err -7",
                                }));
}

TEST_F(EncoderStateTest, AccessModesAndTheUsageDecideWhenAPropertyMayBeSet) {
    const VQX_ERROR kOk = VQX_OK, kReadOnly = VQX_ZEP_PROPERTY_READ_ONLY, kWrongState = VQX_WRONG_STATE,
                    kNotInit = VQX_NOT_INITIALIZED, kRange = VQX_INVALID_PARAMETER;
    struct Case {
        int64 usage;  // 2, wireless display, is the default
        int state;
        const wchar_t* name;
        int64 value;
        VQX_ERROR result;
    };
    // Which usage accepts which property, and each property's access mode as an idle encoder
    // answers it, are in vqxcap's property table (tests/tools/golden); here the modes in every state.
    const Case cases[] = {
        // Mode 1: never. Mode 3: before CreateEncoder. Mode 4: after it. Mode 5: always.
        {2, 0, L"Generic Support", 1, kReadOnly},
        {2, 2, L"Low Latency Support", 0, kReadOnly},
        {2, 0, L"Feedbacks", 8, kOk},
        {2, 1, L"Feedbacks", 9, kOk},
        {2, 2, L"Feedbacks", 10, kWrongState},
        {2, 3, L"Usage", 1, kWrongState},
        {2, 0, L"IDR Period", 30, kNotInit},
        {2, 1, L"IDR Period", 30, kNotInit},
        {2, 2, L"IDR Period", 30, kOk},
        {2, 3, L"IDR Period", 60, kOk},
        {2, 0, L"Wait Frame Max", 100, kOk},
        {2, 3, L"Wait Frame Max", 4294967295LL, kOk},
        {2, 3, L"Wait Frame Max", 4294967296LL, kRange},
        {2, 0, L"Width", 640, kRange},
        {2, 2, L"Width", 640, kWrongState},
        {2, 3, L"No Such Property", 1, VQX_PARAMETER_NOT_FOUND},
        {2, 3, L"idr period", 1, VQX_PARAMETER_NOT_FOUND},
        // 3, outside the listed usages, counts as Generic.
        {3, 2, L"Min QP", 20, kOk},
        {3, 2, L"Rate Control Method", 2, kOk},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "usage " << c.usage << ", state " << c.state << ", "
                                        << std::wstring(c.name).c_str() << " = " << c.value);
        Fresh();
        if (c.usage != 2) {
            ASSERT_EQ(SetInt(m_encoder.get(), L"Usage", c.usage), VQX_OK);
        }
        Reach(c.state);
        VQXVariant before, after;
        const VQX_ERROR readBefore = m_encoder->GetProperty(c.name, &before);
        const bool present = m_encoder->HasProperty(c.name);
        EXPECT_EQ(SetInt(m_encoder.get(), c.name, c.value), c.result);
        const VQX_ERROR readAfter = m_encoder->GetProperty(c.name, &after);
        if (c.result == VQX_OK) {
            EXPECT_EQ(readAfter, VQX_OK);
            EXPECT_EQ(after.ToInt64(), c.value);
        } else {  // a refusal stores nothing
            EXPECT_EQ(readAfter, readBefore);
            EXPECT_EQ(after.ToInt64(), before.ToInt64());
            EXPECT_EQ(m_encoder->HasProperty(c.name), present);
        }
    }
}

}  // namespace
}  // namespace vqx::test
