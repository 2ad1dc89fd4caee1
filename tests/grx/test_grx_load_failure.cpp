// Neither display library file can be found: every acquisition traces the load failure and
// fails with -1, nothing is cached, and once the file is reachable the library binds; unbinding
// then unloads it. Runs in a process of its own, which nothing else has loaded the stand-in into.
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

TEST(GrxLoadFailure, TracedEachTimeThenBindsOnceTheFileIsFound) {
    ASSERT_EQ(nullptr, GetModuleHandleW(L"grxapixx.dll"));
    const std::wstring empty_directory = ProgramDirectory() + L"grx-no-drivers";
    CreateDirectoryW(empty_directory.c_str(), nullptr);
    {
        TraceCapture trace(L"GRXFunctions");
        ScopedEnv path(L"PATH", empty_directory.c_str());
        EXPECT_EQ(-1, AcquireFailureCode());
        EXPECT_EQ(-1, AcquireFailureCode());
        const std::vector<std::wstring> messages = trace.Messages();
        ASSERT_EQ(2u, messages.size());
        EXPECT_EQ(L"LoadLibrary() - Unable to load GRX library, err 126", messages[0]);
        EXPECT_EQ(messages[0], messages[1]);
        EXPECT_EQ(nullptr, GetModuleHandleW(L"grxapixx.dll"));
    }

    TraceCapture trace(L"GRXFunctions");
    auto display = grx::AcquireRemoteDisplay();
    EXPECT_NE(nullptr, GetModuleHandleW(L"grxapixx.dll"));
    EXPECT_TRUE(trace.Messages().empty());
    display.reset();

    grx::detail::UnbindDisplayLibrary();
    EXPECT_EQ(nullptr, GetModuleHandleW(L"grxapixx.dll")) << "unbinding unloads the library";
}
