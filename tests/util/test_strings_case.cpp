// Letter case, separators, and case-insensitive search and compare.
#include <vqx/vqx.h>

#include <gtest/gtest.h>

using namespace vqx;

TEST(StringsCase, ChangesLettersOnlyAndKeepsLength) {
    EXPECT_EQ(vqx_string("mixed case 123_!"), vqx_string_to_lower(vqx_string("MiXeD CaSe 123_!")));
    EXPECT_EQ(vqx_string("MIXED CASE 123_!"), vqx_string_to_upper(vqx_string("MiXeD CaSe 123_!")));
    EXPECT_EQ(vqx_wstring(L"path\\to\\file.txt"), vqx_string_to_lower(vqx_wstring(L"PATH\\To\\File.TXT")));
    EXPECT_EQ(vqx_wstring(L"PATH\\TO\\FILE.TXT"), vqx_string_to_upper(vqx_wstring(L"path\\To\\File.txt")));
    const vqx_string withNul("A\0B", 3);
    EXPECT_EQ(vqx_string("a\0b", 3), vqx_string_to_lower(withNul));
    EXPECT_TRUE(vqx_string_to_upper(vqx_wstring()).empty());
    const vqx_string high("\xC9\xFF", 2);
    EXPECT_EQ(2u, vqx_string_to_lower(high).size());
}

TEST(StringsSeparators, SwapOnlyTheSeparator) {
    EXPECT_EQ(vqx_wstring(L"C:\\a\\b\\c"), vqx_convert_path_to_os_accepted_path(L"C:/a\\b/c"));
    EXPECT_EQ(vqx_wstring(L"C:/a/b/c"), vqx_convert_path_to_url_accepted_path(L"C:/a\\b\\c"));
    EXPECT_EQ(vqx_wstring(L"x\u2215y"), vqx_convert_path_to_os_accepted_path(L"x\u2215y"));
}

TEST(StringsCaseInsensitive, Compare) {
    EXPECT_EQ(0u, vqx_string_ci_compare(L"ABC", L"abc"));
    EXPECT_EQ(0xFFFFFFFFu, vqx_string_ci_compare(L"ab", L"abc"));
    EXPECT_EQ(1u, vqx_string_ci_compare(L"abc", L"AB"));
    EXPECT_EQ(1u, vqx_string_ci_compare(L"b", L"A"));
    EXPECT_EQ(0xFFFFFFFFu, vqx_string_ci_compare(L"A", L"b"));
    EXPECT_EQ(0u, vqx_string_ci_compare(L"", L""));
    // Order is taken after lowering: '_' (0x5F) is below 'a' (0x61) though above 'A' (0x41).
    EXPECT_EQ(0xFFFFFFFFu, vqx_string_ci_compare(L"_", L"A"));
    EXPECT_EQ(1u, vqx_string_ci_compare(L"\uFFFF", L"a"));
}

TEST(StringsCaseInsensitive, FindAndReverseFind) {
    const vqx_wstring text = L"One two ONE two";
    EXPECT_EQ(0u, vqx_string_ci_find(text, L"one", 0));
    EXPECT_EQ(8u, vqx_string_ci_find(text, L"one", 1));
    EXPECT_EQ(vqx_npos, vqx_string_ci_find(text, L"one", 9));
    EXPECT_EQ(vqx_npos, vqx_string_ci_find(L"ab", L"abc", 0));
    EXPECT_EQ(vqx_npos, vqx_string_ci_find(text, L"one", 100));
    EXPECT_EQ(3u, vqx_string_ci_find(text, L"", 3));
    EXPECT_EQ(8u, vqx_string_ci_rfind(text, L"ONE", vqx_npos));
    EXPECT_EQ(0u, vqx_string_ci_rfind(text, L"one", 7));
    EXPECT_EQ(12u, vqx_string_ci_rfind(text, L"TWO", vqx_npos));
    EXPECT_EQ(vqx_npos, vqx_string_ci_rfind(L"ab", L"abc", vqx_npos));
    EXPECT_EQ(vqx_npos, vqx_string_ci_rfind(text, L"xyz", vqx_npos));
}
