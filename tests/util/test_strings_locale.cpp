// The UTF-8 converters switch the calling thread to per-thread locale mode, except for empty
// input (white-box: the runtime's switch is replaced by a recorder).
#include <vqx/vqx.h>

#include "util/thread_locale.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <locale.h>
#include <thread>
#include <vector>

using namespace vqx;

namespace {

std::vector<int> g_flags;

int __cdecl RecordFlag(int flag) {
    g_flags.push_back(flag);
    return _DISABLE_PER_THREAD_LOCALE;
}

class ThreadLocaleRecorder : public ::testing::Test {
protected:
    void SetUp() override {
        g_flags.clear();
        m_previous = thread_locale::ReplaceConfigThreadLocaleForTesting(&RecordFlag);
    }
    void TearDown() override { thread_locale::ReplaceConfigThreadLocaleForTesting(m_previous); }

private:
    thread_locale::ConfigThreadLocaleFn m_previous = nullptr;
};

}  // namespace

TEST_F(ThreadLocaleRecorder, EmptyInputDoesNotSwitch) {
    EXPECT_TRUE(vqx_from_unicode_to_utf8(vqx_wstring()).empty());
    EXPECT_TRUE(vqx_from_utf8_to_unicode(vqx_string()).empty());
    EXPECT_TRUE(g_flags.empty());
}

TEST_F(ThreadLocaleRecorder, ConversionsSwitchToPerThreadMode) {
    vqx_from_unicode_to_utf8(L"x");
    vqx_from_utf8_to_unicode("x");
    vqx_from_unicode_to_url_utf8(L"a b", true);
    ASSERT_EQ(3u, g_flags.size());
    for (int flag : g_flags) EXPECT_EQ(_ENABLE_PER_THREAD_LOCALE, flag);
    // The multibyte converters leave the locale mode alone.
    vqx_from_unicode_to_multibyte(L"x");
    vqx_from_multibyte_to_unicode("x");
    EXPECT_EQ(3u, g_flags.size());
}

// With the real runtime: where msvcrt.dll offers the switch, a fresh thread ends up in
// per-thread mode after a conversion and not after an empty one.
TEST(ThreadLocaleRuntime, FreshThreadSwitchesWhenTheRuntimeCan) {
    using Fn = int(__cdecl*)(int);
    const Fn query = reinterpret_cast<Fn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"msvcrt.dll"), "_configthreadlocale")));
    if (query == nullptr) {
        GTEST_SKIP() << "this msvcrt.dll has no _configthreadlocale; the switch is a no-op";
    }
    int afterEmpty = 0;
    int afterText = 0;
    std::thread([&] {
        vqx_from_unicode_to_utf8(vqx_wstring());
        afterEmpty = query(0);
        vqx_from_unicode_to_utf8(L"x");
        afterText = query(0);
    }).join();
    EXPECT_EQ(_DISABLE_PER_THREAD_LOCALE, afterEmpty);
    EXPECT_EQ(_ENABLE_PER_THREAD_LOCALE, afterText);
}
