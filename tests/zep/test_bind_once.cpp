// Once bound, binding returns 0 at once without loading the library again: the library is
// loaded exactly once (one FreeLibrary unloads it) and is no longer searched for.
// A process of its own, because the test unloads the library behind the binding's back.
#include "zep_test_support.h"

#include <gtest/gtest.h>

using namespace zeptest;

TEST(BindOnce, RepeatedBindingsNeitherSearchNorLoadTheLibraryAgain) {
    ASSERT_FALSE(IsServiceLoaded());
    ZEPHandleParams in = MakeHandleParams(0);
    ZEPCaps caps = MakeCaps();
    ASSERT_EQ(0, ZEPGetCaps(0, &in, &caps));  // the first binding
    const HMODULE module = GetModuleHandleW(L"qztrvx32.dll");
    ASSERT_NE(nullptr, module);

    // With no folder holding the library on the search path, binding still succeeds.
    ASSERT_TRUE(SetLibrarySearchPath(WindowsPath(ZEP_EMPTY_DIR)));
    EXPECT_EQ(0u, BindEncodeService());
    EXPECT_EQ(0u, BindEncodeService());
    ZEPCreateParams params = MakeCreateParams();
    ZEPCreateResult result = MakeCreateResult();
    ASSERT_EQ(0, ZEPCreate(&params, &result));
    EXPECT_EQ(0, ZEPGetCaps(result.handle, &in, &caps));
    ZEPHandleParams handle = MakeHandleParams(result.handle);
    ZEPStatus status = MakeStatus();
    EXPECT_EQ(0, ZEPDestroy(&handle, &status));

    // The library carries a single load reference: releasing it once unloads the library.
    ASSERT_TRUE(FreeLibrary(module));
    EXPECT_FALSE(IsServiceLoaded());
}
