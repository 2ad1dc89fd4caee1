// Fixture of the tests that run against the stand-in display library: clean settings and
// recorder before each test, and after it nothing acquired and no marker mutex left.
#pragma once

#include "grx_test_support.h"

#include "bindings/grx_error.h"
#include "bindings/grx_remote_display.h"

#include <gtest/gtest.h>

namespace grxtest {

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

    // The code of the grx_runtime_error that AcquireRemoteDisplay throws, or 0 when it acquires.
    static std::int32_t AcquireFailureCode(const std::wstring& name = std::wstring()) {
        try {
            grx::AcquireRemoteDisplay(name);
        } catch (const grx::grx_runtime_error& error) {
            return error.code;
        }
        return 0;
    }

    CleanStandInSettings m_settings;
};

}  // namespace grxtest
