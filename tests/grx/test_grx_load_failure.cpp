// Binding in a fresh process, in order: neither library file can be found (each acquisition
// traces the load failure and fails with -1), then a build lacking GRX_Display_TargetTiming_Get
// (no binding, Create never called, the resolved Destroy is, the module unloaded, nothing traced),
// then the complete stand-in binds, and unbinding unloads it. Nothing failed is cached.
#include "grx_fixture.h"
#include "../trace/trace_recorder.h"

#include "bindings/grx_library.h"

using namespace vqx::test;

TEST(GrxLoadFailure, TracedEachTimeThenAMissingExportThenBindsOnceTheLibraryIsComplete) {
    ASSERT_EQ(nullptr, GetModuleHandleW(L"grxapixx.dll"));
    const std::wstring empty_directory = ProgramDirectory() + L"grx-no-drivers";
    CreateDirectoryW(empty_directory.c_str(), nullptr);
    {
        TraceRecorder trace(L"GRXFunctions");
        ScopedEnv path(L"PATH", empty_directory.c_str());
        EXPECT_EQ(-1, AcquireFailureCode());
        EXPECT_EQ(-1, AcquireFailureCode());
        const std::vector<std::wstring> expected(2, L"LoadLibrary() - Unable to load GRX library, err 126");
        EXPECT_EQ(expected, trace.Messages());
        EXPECT_EQ(nullptr, GetModuleHandleW(L"grxapixx.dll"));
    }
    {
        TraceRecorder trace(L"GRXFunctions");
        ScopedEnv path(L"PATH", GRX_MISSING_EXPORT_DIR);
        StandIn variant;
        ASSERT_TRUE(variant.Loaded());
        ASSERT_EQ(nullptr, GetProcAddress(variant.Module(), "GRX_Display_TargetTiming_Get"));
        EXPECT_EQ(-1, AcquireFailureCode());
        EXPECT_EQ(-1, AcquireFailureCode());
        const GRXTestRecord record = variant.Record();
        EXPECT_EQ(0, record.create_calls);
        EXPECT_EQ(2, record.destroy_calls);
        EXPECT_EQ(0, record.adapter_count_calls);
        EXPECT_EQ(nullptr, grx::detail::BoundDisplayLibrary());
        EXPECT_TRUE(trace.Messages().empty()) << "a missing export is not traced";
    }
    EXPECT_EQ(nullptr, GetModuleHandleW(L"grxapixx.dll")) << "the binding kept no reference";

    TraceRecorder trace(L"GRXFunctions");
    grx::AcquireRemoteDisplay().reset();
    EXPECT_NE(nullptr, GetModuleHandleW(L"grxapixx.dll"));
    EXPECT_TRUE(trace.Messages().empty());
    grx::detail::UnbindDisplayLibrary();
    EXPECT_EQ(nullptr, GetModuleHandleW(L"grxapixx.dll")) << "unbinding unloads the library";
}
