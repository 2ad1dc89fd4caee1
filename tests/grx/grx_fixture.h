// Fixture of the tests against the stand-in display library (clean settings and recorder before
// each test; afterwards nothing acquired and no marker left) and the failure codes of the binding.
#pragma once

#include "grx_test_support.h"

#include "bindings/grx_error.h"
#include "bindings/grx_remote_display.h"

#include <gtest/gtest.h>

namespace vqx::test {

// The code of the grx_runtime_error that `call` throws, or 0 when it returns.
template <class Call>
int32_t GrxErrorCode(Call call) {
    try {
        call();
    } catch (const grx::grx_runtime_error& error) {
        return error.code;
    }
    return 0;
}

inline int32_t AcquireFailureCode(const std::wstring& name = std::wstring()) {
    return GrxErrorCode([&] { grx::AcquireRemoteDisplay(name); });
}

inline StandIn& TheStandIn() {
    static StandIn stand_in;
    return stand_in;
}

class GrxTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(TheStandIn().Loaded()) << "grxapixx.dll not found on PATH";
        TheStandIn().Reset();
    }
    void TearDown() override {
        EXPECT_EQ(0, TheStandIn().Record().acquired_now) << "a display stayed acquired";
        EXPECT_FALSE(MarkerExists()) << "the marker mutex stayed open";
    }
    static GRXTestRecord Record() { return TheStandIn().Record(); }

    CleanStandInSettings m_settings;
};

}  // namespace vqx::test
