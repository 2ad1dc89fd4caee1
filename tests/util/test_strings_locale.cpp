// White-box: the UTF-8 converters switch the calling thread to per-thread locale mode, except for
// empty input; the runtime's switch is replaced by a recorder.
#include <vqx/vqx.h>

#include "util/thread_locale.h"

#include <gtest/gtest.h>

#include <locale.h>
#include <vector>

using namespace vqx;

namespace {
std::vector<int> g_flags;

int __cdecl RecordFlag(int flag) {
    g_flags.push_back(flag);
    return _DISABLE_PER_THREAD_LOCALE;
}
}  // namespace

TEST(ThreadLocale, OnlyTheUtf8ConvertersSwitchAndOnlyForText) {
    const auto previous = thread_locale::ReplaceConfigThreadLocaleForTesting(&RecordFlag);
    EXPECT_TRUE(vqx_from_unicode_to_utf8(vqx_wstring()).empty());
    EXPECT_TRUE(vqx_from_utf8_to_unicode(vqx_string()).empty());
    EXPECT_TRUE(g_flags.empty());
    vqx_from_unicode_to_utf8(L"x");
    vqx_from_utf8_to_unicode("x");
    vqx_from_unicode_to_url_utf8(L"a b", true);
    vqx_from_unicode_to_multibyte(L"x");  // the multibyte converters leave the mode alone
    vqx_from_multibyte_to_unicode("x");
    thread_locale::ReplaceConfigThreadLocaleForTesting(previous);
    EXPECT_EQ(g_flags, std::vector<int>(3, _ENABLE_PER_THREAD_LOCALE));
}
