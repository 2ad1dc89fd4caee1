// A display library that lacks GRX_Display_TargetTiming_Get (a test build of the stand-in): no
// binding, Create is never called, the resolved Destroy is, the module is unloaded, and the
// next acquisition tries again. Runs in a process of its own with PATH set to that build.
#include "grx_test_support.h"

#include "bindings/grx_error.h"
#include "bindings/grx_library.h"
#include "bindings/grx_remote_display.h"

#include <gtest/gtest.h>

using namespace grxtest;

namespace {

std::int32_t AcquireFailureCode() {
    try {
        grx::AcquireRemoteDisplay();
    } catch (const grx::grx_runtime_error& error) {
        return error.code;
    }
    return 0;
}

}  // namespace

TEST(GrxMissingExport, NotBoundAndFinishedWithTheResolvedDestroy) {
    ScopedEnv path(L"PATH", GRX_MISSING_EXPORT_DIR);
    TraceCapture trace(L"GRXFunctions");
    {
        StandIn variant;
        ASSERT_TRUE(variant.Loaded());
        ASSERT_EQ(nullptr, GetProcAddress(variant.Module(), "GRX_Display_TargetTiming_Get"));
        ASSERT_NE(nullptr, GetProcAddress(variant.Module(), "GRX_RemoteDisplay_Display_Release_All"));

        EXPECT_EQ(-1, AcquireFailureCode());
        EXPECT_EQ(-1, AcquireFailureCode());
        const GRXTestRecord record = variant.Record();
        EXPECT_EQ(0, record.create_calls);
        EXPECT_EQ(2, record.destroy_calls);
        EXPECT_EQ(0, record.adapter_count_calls);
        EXPECT_EQ(nullptr, grx::detail::BoundDisplayLibrary());
    }
    EXPECT_EQ(nullptr, GetModuleHandleW(L"grxapixx.dll")) << "the binding kept no reference";
    EXPECT_TRUE(trace.Messages().empty()) << "a missing export is not traced";
}
