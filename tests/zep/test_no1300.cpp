// A qztrvx32.dll that lacks ordinal 1300 is refused and unloaded, and no address of it remains
// callable. A process of its own, because a successful binding lasts for the life of the process.
#include "zep_test_support.h"

#include <gtest/gtest.h>

using namespace zeptest;

namespace {

class LibraryWithoutCreate : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(SetLibrarySearchPath(WindowsPath(ZEP_NO1300_DIR))); }
};

TEST_F(LibraryWithoutCreate, TheLibraryExistsAndLacksOnlyOrdinal1300) {
    const HMODULE module = LoadLibraryW(L"qztrvx32.dll");
    ASSERT_NE(nullptr, module);
    EXPECT_EQ(nullptr, GetProcAddress(module, MAKEINTRESOURCEA(1300)));
    for (int ordinal = 1301; ordinal <= 1309; ++ordinal) {
        EXPECT_NE(nullptr, GetProcAddress(module, MAKEINTRESOURCEA(ordinal))) << ordinal;
    }
    FreeLibrary(module);
    EXPECT_FALSE(IsServiceLoaded());
}

TEST_F(LibraryWithoutCreate, BindingFailsWithNotBoundAndUnloadsTheLibrary) {
    ZEPCreateParams params = MakeCreateParams();
    ZEPCreateResult result = MakeCreateResult();
    EXPECT_EQ(kNotBound, ZEPCreate(&params, &result));
    EXPECT_EQ(0u, result.handle);
    EXPECT_FALSE(IsServiceLoaded());
}

TEST_F(LibraryWithoutCreate, NoAddressOfTheUnloadedLibraryStaysCallable) {
    EXPECT_EQ(static_cast<uint32_t>(kNotBound), BindEncodeService());
    for (uint32_t ordinal = 1300; ordinal <= 1309; ++ordinal) {
        EXPECT_EQ(nullptr, BoundEntryPoint(ordinal)) << ordinal;
    }
    ZEPHandleParams handle = MakeHandleParams(1);
    ZEPStatus status = MakeStatus();
    ZEPControlParams control = MakeControlParams();
    ZEPCaps caps = MakeCaps();
    ZEPHandleParams capsIn = MakeHandleParams(0);
    EXPECT_EQ(kNotBound, ZEPDestroy(&handle, &status));
    EXPECT_EQ(kNotBound, ZEPStartEncode(1, &control, &status));
    EXPECT_EQ(kNotBound, ZEPReclaimOutputResource(1, &handle, &status));
    EXPECT_EQ(kNotBound, ZEPGetCaps(0, &capsIn, &caps));
    EXPECT_FALSE(IsServiceLoaded());
}

TEST_F(LibraryWithoutCreate, ZZ_TheCompleteLibraryBindsOnceItIsFound) {
    ASSERT_TRUE(SetLibrarySearchPath(WindowsPath(ZEP_DRIVER_DIR)));
    ZEPCreateParams params = MakeCreateParams();
    ZEPCreateResult result = MakeCreateResult();
    ASSERT_EQ(0, ZEPCreate(&params, &result));
    EXPECT_NE(0u, result.handle);
    ZEPHandleParams handle = MakeHandleParams(result.handle);
    ZEPStatus status = MakeStatus();
    EXPECT_EQ(0, ZEPDestroy(&handle, &status));
}

}  // namespace
