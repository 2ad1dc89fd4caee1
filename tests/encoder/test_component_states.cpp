// The encoder's state machine as a host sees it through vqx.dll, against the stand-in drivers:
// every cell of the state table, the failure results, and the access-mode and usage refusals.
#include "standins.h"

#include <functional>
#include <string>

namespace vqx::test {
namespace {

class EncoderStateTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(standIns.zepReady && standIns.grxReady) << "the stand-in drivers are not on the path";
        standIns.Reset();
        StandIns::SetMode("640x480@60");
        encoder = NewEncoder();
        ASSERT_TRUE(encoder);
    }
    void TearDown() override {
        encoder.reset();
        standIns.Reset();
    }

    // Raises a fresh encoder to `state` (0 to 3).
    void Reach(int state) {
        if (state >= 1) {
            ASSERT_EQ(encoder->AcquireDisplay(), VQX_OK);
        }
        if (state >= 2) {
            ASSERT_EQ(encoder->CreateEncoder(), VQX_OK);
        }
        if (state >= 3) {
            ASSERT_EQ(encoder->StartEncode(), VQX_OK);
        }
    }

    // The state read back through side effects that change nothing: the display the stand-in has
    // lent, whether the timing properties answer, and whether a cancel is accepted.
    int ObservedState() {
        if (standIns.DisplayRecord().acquired_now == 0) return 0;
        VQXVariant width;
        if (encoder->GetProperty(L"Width", &width) == VQX_NOT_INITIALIZED) return 1;
        return encoder->CancelQueryOutput() == VQX_OK ? 3 : 2;
    }

    StandIns standIns;
    VQXPtr<VQXEncoderKLTZEP> encoder;
};

struct Cell {
    const char* operation;
    int from;
    VQX_ERROR result;
    int to;
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
    // A query in state 3 either delivers or runs out of time; both count as success here.
    return result == VQX_REPEAT ? VQX_OK : result;
}

TEST_F(EncoderStateTest, EveryCellOfTheStateTable) {
    const VQX_ERROR kOk = VQX_OK, kAlready = VQX_ALREADY_INITIALIZED, kNotInit = VQX_NOT_INITIALIZED;
    const Cell cells[] = {
        {"AcquireDisplay", 0, kOk, 1},      {"AcquireDisplay", 1, kAlready, 1},
        {"AcquireDisplay", 2, kAlready, 2}, {"AcquireDisplay", 3, kAlready, 3},
        {"CreateEncoder", 0, kNotInit, 0},  {"CreateEncoder", 1, kOk, 2},
        {"CreateEncoder", 2, kAlready, 2},  {"CreateEncoder", 3, kAlready, 3},
        {"StartEncode", 0, kNotInit, 0},    {"StartEncode", 1, kNotInit, 1},
        {"StartEncode", 2, kOk, 3},         {"StartEncode", 3, kAlready, 3},
        {"StopEncode", 0, kAlready, 0},     {"StopEncode", 1, kAlready, 1},
        {"StopEncode", 2, kAlready, 2},     {"StopEncode", 3, kOk, 2},
        {"DestroyEncoder", 0, kAlready, 0}, {"DestroyEncoder", 1, kAlready, 1},
        {"DestroyEncoder", 2, kOk, 1},      {"DestroyEncoder", 3, kNotInit, 3},
        {"ReleaseDisplay", 0, kAlready, 0}, {"ReleaseDisplay", 1, kOk, 0},
        {"ReleaseDisplay", 2, kNotInit, 2}, {"ReleaseDisplay", 3, kNotInit, 3},
        {"QueryOutput", 0, kNotInit, 0},    {"QueryOutput", 1, kNotInit, 1},
        {"QueryOutput", 2, kNotInit, 2},    {"QueryOutput", 3, kOk, 3},
        {"CancelQueryOutput", 0, kNotInit, 0}, {"CancelQueryOutput", 1, kNotInit, 1},
        {"CancelQueryOutput", 2, kNotInit, 2}, {"CancelQueryOutput", 3, kOk, 3},
        {"UpdateConfig", 0, kNotInit, 0},   {"UpdateConfig", 1, kNotInit, 1},
        {"UpdateConfig", 2, kNotInit, 2},   {"UpdateConfig", 3, kOk, 3},
    };
    for (const Cell& cell : cells) {
        SCOPED_TRACE(std::string(cell.operation) + " from state " + std::to_string(cell.from));
        encoder = NewEncoder();
        standIns.Reset();
        StandIns::SetMode("640x480@60");
        SetInt(encoder.get(), L"Wait Frame Max", 50);
        Reach(cell.from);
        ASSERT_EQ(ObservedState(), cell.from);
        const uint32_t setConfigsBefore = standIns.Calls("ZEPSetConfig");
        EXPECT_EQ(RunOperation(encoder.get(), cell.operation), cell.result);
        EXPECT_EQ(ObservedState(), cell.to);
        if (cell.result != kOk) {
            EXPECT_EQ(standIns.Calls("ZEPSetConfig"), setConfigsBefore);
        }
    }
}

TEST_F(EncoderStateTest, DisplayFailuresBecomeTheDisplayResult) {
    SetEnvironmentVariableA("GRXAPIXX_ADAPTERS", "0");
    EXPECT_EQ(encoder->AcquireDisplay(), VQX_ZEP_DISPLAY_FAILED);
    EXPECT_EQ(ObservedState(), 0);
    SetEnvironmentVariableA("GRXAPIXX_ADAPTERS", nullptr);
    EXPECT_EQ(encoder->AcquireDisplay(), VQX_OK);  // nothing was cached
}

TEST_F(EncoderStateTest, AFailedCreateLeavesNoEncoderButKeepsTheTiming) {
    Reach(1);
    standIns.zep.FailOperation("ZEPCreate", -77, 1);
    EXPECT_EQ(encoder->CreateEncoder(), VQX_ENCODER_CREATE_FAILED);
    EXPECT_EQ(ObservedState(), 1);
    EXPECT_TRUE(encoder->HasProperty(L"Width"));  // stored, though only answered from state 2 on
    VQXVariant width;
    EXPECT_EQ(encoder->GetProperty(L"Width", &width), VQX_NOT_INITIALIZED);
    EXPECT_EQ(encoder->CreateEncoder(), VQX_OK);
    EXPECT_EQ(GetInt(encoder.get(), L"Width"), 640);
}

TEST_F(EncoderStateTest, AFailedConfigurationPushKeepsTheChangeMask) {
    Reach(2);
    standIns.zep.FailOperation("ZEPSetConfig", -5, 1);
    EXPECT_EQ(encoder->StartEncode(), VQX_DECODER_CREATE_FAILED);
    EXPECT_EQ(ObservedState(), 2);
    EXPECT_EQ(standIns.Calls("ZEPStartEncode"), 0u);
    EXPECT_EQ(encoder->StartEncode(), VQX_OK);
    EXPECT_NE(standIns.LastConfigWords().at(1), 0u);  // the mask survived the failed push
}

TEST_F(EncoderStateTest, AFailedStartKeepsTheEncoderAndTheClearedMask) {
    Reach(2);
    standIns.zep.FailOperation("ZEPStartEncode", -9, 1);
    EXPECT_EQ(encoder->StartEncode(), VQX_ZEP_START_FAILED);
    EXPECT_EQ(ObservedState(), 2);
    EXPECT_EQ(encoder->StartEncode(), VQX_OK);
    EXPECT_EQ(standIns.LastConfigWords().at(1), 0u);  // cleared after the first, successful push
}

TEST_F(EncoderStateTest, ServiceFailuresWhileEncoding) {
    Reach(3);
    standIns.zep.FailOperation("ZEPQueryOutputs", -3, 1);
    VQXPtr<VQXZepBuffer> buffer;
    EXPECT_EQ(encoder->QueryOutput(buffer.put()), VQX_ZEP_QUERY_FAILED);
    EXPECT_FALSE(buffer);
    standIns.zep.FailOperation("ZEPSetConfig", -4, 1);
    SetInt(encoder.get(), L"Bitrate", 1000000);
    EXPECT_EQ(encoder->UpdateConfig(), VQX_DECODER_CREATE_FAILED);
    EXPECT_EQ(encoder->UpdateConfig(), VQX_OK);
    EXPECT_EQ(standIns.LastConfigWords().at(1), 4u);  // only the VBV size changed since the start
    EXPECT_EQ(encoder->UpdateConfig(), VQX_OK);
    EXPECT_EQ(standIns.LastConfigWords().at(1), 0u);
    EXPECT_EQ(encoder->QueryOutput(nullptr), VQX_NULL_POINTER);
    EXPECT_EQ(ObservedState(), 3);
}

TEST_F(EncoderStateTest, AccessModesDecideWhenAPropertyMayBeSet) {
    // Mode 1: reported by the driver, never settable.
    EXPECT_EQ(SetBool(encoder.get(), L"Generic Support", true), VQX_ZEP_PROPERTY_READ_ONLY);
    // Mode 3 before CreateEncoder, mode 4 after it, mode 5 always.
    EXPECT_EQ(SetInt(encoder.get(), L"Feedbacks", 8), VQX_OK);
    EXPECT_EQ(SetInt(encoder.get(), L"IDR Period", 30), VQX_NOT_INITIALIZED);
    EXPECT_EQ(SetInt(encoder.get(), L"Wait Frame Max", 100), VQX_OK);
    EXPECT_EQ(SetInt(encoder.get(), L"Width", 640), VQX_INVALID_PARAMETER);  // empty range
    Reach(1);
    EXPECT_EQ(SetInt(encoder.get(), L"Feedbacks", 9), VQX_OK);
    EXPECT_EQ(SetInt(encoder.get(), L"IDR Period", 30), VQX_NOT_INITIALIZED);
    EXPECT_EQ(SetInt(encoder.get(), L"Wait Frame Max", 101), VQX_OK);
    ASSERT_EQ(encoder->CreateEncoder(), VQX_OK);
    EXPECT_EQ(SetInt(encoder.get(), L"Feedbacks", 10), VQX_WRONG_STATE);
    EXPECT_EQ(SetInt(encoder.get(), L"Width", 640), VQX_WRONG_STATE);
    EXPECT_EQ(SetInt(encoder.get(), L"IDR Period", 30), VQX_OK);
    EXPECT_EQ(SetInt(encoder.get(), L"Wait Frame Max", 102), VQX_OK);
    EXPECT_EQ(SetBool(encoder.get(), L"Low Latency Support", false), VQX_ZEP_PROPERTY_READ_ONLY);
    ASSERT_EQ(encoder->StartEncode(), VQX_OK);
    EXPECT_EQ(SetInt(encoder.get(), L"Usage", 1), VQX_WRONG_STATE);
    EXPECT_EQ(SetInt(encoder.get(), L"IDR Period", 60), VQX_OK);
    EXPECT_EQ(SetInt(encoder.get(), L"Wait Frame Max", 4294967295LL), VQX_OK);
    EXPECT_EQ(SetInt(encoder.get(), L"Wait Frame Max", 4294967296LL), VQX_INVALID_PARAMETER);
    EXPECT_EQ(GetInt(encoder.get(), L"Wait Frame Max"), 4294967295LL);
    EXPECT_EQ(GetInt(encoder.get(), L"Feedbacks"), 9);  // refused values store nothing
    EXPECT_EQ(SetInt(encoder.get(), L"No Such Property", 1), VQX_PARAMETER_NOT_FOUND);
    EXPECT_EQ(SetInt(encoder.get(), L"idr period", 1), VQX_PARAMETER_NOT_FOUND);
}

TEST_F(EncoderStateTest, TheUsageDecidesWhichPropertiesMayBeSet) {
    // Wireless display (the default): Generic-only and Generic/Low-latency properties are refused.
    EXPECT_EQ(SetInt(encoder.get(), L"Profile", 77), VQX_WRONG_STATE);
    EXPECT_FALSE(encoder->HasProperty(L"Profile"));
    Reach(2);
    EXPECT_EQ(SetInt(encoder.get(), L"Rate Control Method", 1), VQX_WRONG_STATE);
    EXPECT_EQ(SetInt(encoder.get(), L"Slices Per Frame", 2), VQX_WRONG_STATE);
    EXPECT_EQ(SetInt(encoder.get(), L"Bitrate", 3000000), VQX_OK);

    encoder = NewEncoder();
    standIns.Reset();
    StandIns::SetMode("640x480@60");
    EXPECT_EQ(SetInt(encoder.get(), L"Usage", 4), VQX_OK);  // low latency
    EXPECT_EQ(SetInt(encoder.get(), L"Profile", 77), VQX_OK);
    Reach(2);
    EXPECT_EQ(SetInt(encoder.get(), L"Slices Per Frame", 2), VQX_OK);
    EXPECT_EQ(SetInt(encoder.get(), L"Min QP", 20), VQX_WRONG_STATE);
    EXPECT_EQ(SetBool(encoder.get(), L"Half Pixel", false), VQX_WRONG_STATE);

    encoder = NewEncoder();
    standIns.Reset();
    StandIns::SetMode("640x480@60");
    EXPECT_EQ(SetInt(encoder.get(), L"Usage", 3), VQX_OK);  // in range, treated as generic
    Reach(2);
    EXPECT_EQ(SetInt(encoder.get(), L"Min QP", 20), VQX_OK);
    EXPECT_EQ(SetInt(encoder.get(), L"Rate Control Method", 2), VQX_OK);
}

}  // namespace
}  // namespace vqx::test
