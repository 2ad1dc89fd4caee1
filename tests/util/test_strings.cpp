// String conversions: UTF-8, multibyte, hexadecimal, letter case, separators, case-insensitive
// search and compare, percent-encoding.
#include <vqx/vqx.h>

#include <gtest/gtest.h>

#include <clocale>

using namespace vqx;

namespace {
vqx_string Bytes(const char* data, size_t size) {
    return vqx_string(data, size);
}
}  // namespace

TEST(StringsUtf8, RoundTripsAndStopsAtTheFirstNul) {
    const vqx_wstring text = L"A\u00e9\u20ac\U0001F600z";
    const vqx_string utf8 = vqx_from_unicode_to_utf8(text);
    EXPECT_EQ(vqx_string("A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z"), utf8);
    EXPECT_EQ(text, vqx_from_utf8_to_unicode(utf8));
    EXPECT_TRUE(vqx_from_unicode_to_utf8(vqx_wstring()).empty());
    EXPECT_TRUE(vqx_from_utf8_to_unicode(vqx_string()).empty());
    EXPECT_EQ(vqx_string("ab"), vqx_from_unicode_to_utf8(vqx_wstring(L"ab\0cd", 5)));
    EXPECT_EQ(vqx_wstring(L"ab"), vqx_from_utf8_to_unicode(Bytes("ab\0cd", 5)));
    EXPECT_TRUE(vqx_from_unicode_to_utf8(vqx_wstring(L"\0x", 2)).empty());
    vqx_wstring longText;  // longer than any fixed buffer
    for (int i = 0; i < 5000; ++i)
        longText.push_back(static_cast<wchar_t>(L'\u0400' + i % 200));
    EXPECT_EQ(10000u, vqx_from_unicode_to_utf8(longText).size());
    EXPECT_EQ(longText, vqx_from_utf8_to_unicode(vqx_from_unicode_to_utf8(longText)));
}

TEST(StringsMultibyte, FollowsTheCurrentCLocale) {
    EXPECT_EQ(vqx_string("plain text"), vqx_from_unicode_to_multibyte(L"plain text"));
    EXPECT_EQ(vqx_wstring(L"plain text"), vqx_from_multibyte_to_unicode("plain text"));
    EXPECT_TRUE(vqx_from_unicode_to_multibyte(vqx_wstring()).empty());
    EXPECT_TRUE(vqx_from_multibyte_to_unicode(vqx_string()).empty());
    // Not representable in the "C" locale: the runtime reports an error, the result is empty.
    EXPECT_TRUE(vqx_from_unicode_to_multibyte(L"a\u20acb").empty());
    if (std::setlocale(LC_ALL, ".1252") == nullptr) GTEST_SKIP() << "code page 1252 not available";
    EXPECT_EQ(vqx_string("\x80x"), vqx_from_unicode_to_multibyte(L"\u20acx"));
    EXPECT_EQ(vqx_wstring(L"\u20acx"), vqx_from_multibyte_to_unicode("\x80x"));
    std::setlocale(LC_ALL, "C");
}

TEST(StringsHex, BytesBecomeUpperCasePairsAndPairsScanLikeTheRuntime) {
    EXPECT_EQ(vqx_string("616263"), vqx_from_string_to_hex_string("abc"));
    EXPECT_EQ(vqx_string("FF"), vqx_from_string_to_hex_string("\xFF"));  // no sign extension
    EXPECT_EQ(vqx_string("00807F0A"), vqx_from_string_to_hex_string(Bytes("\0\x80\x7F\n", 4)));
    const struct {
        vqx_string hex, bytes;
    } cases[] = {
        {"4a6", Bytes("\x4A\x06", 2)},
        {"zz", Bytes("\0", 1)},
        {"fFff", "\xFF\xFF"},
        {"7g", "\x07"} /* only the first digit scans */,
        {"g7", Bytes("\0", 1)},
        {" 5", "\x05"},
        {"-1", "\xFF"} /* a sign scans; the low eight bits are kept */,
        {"", ""},
        {Bytes("4\0"
               "41",
               4),
         Bytes("\x04\x41", 2)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.bytes, vqx_from_hex_string_to_string(c.hex)) << c.hex;
    vqx_string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    EXPECT_EQ(all, vqx_from_hex_string_to_string(vqx_from_string_to_hex_string(all)));
}

TEST(StringsCase, ChangesLettersOnlyAndKeepsLength) {
    EXPECT_EQ(vqx_string("mixed case 123_!"), vqx_string_to_lower(vqx_string("MiXeD CaSe 123_!")));
    EXPECT_EQ(vqx_string("MIXED CASE 123_!"), vqx_string_to_upper(vqx_string("MiXeD CaSe 123_!")));
    EXPECT_EQ(vqx_wstring(L"path\\to\\file.txt"), vqx_string_to_lower(vqx_wstring(L"PATH\\To\\File.TXT")));
    EXPECT_EQ(vqx_wstring(L"PATH\\TO\\FILE.TXT"), vqx_string_to_upper(vqx_wstring(L"path\\To\\File.txt")));
    EXPECT_EQ(vqx_string("a\0b", 3), vqx_string_to_lower(Bytes("A\0B", 3)));
    EXPECT_EQ(2u, vqx_string_to_lower(Bytes("\xC9\xFF", 2)).size());
    EXPECT_EQ(vqx_wstring(L"C:\\a\\b\\c"), vqx_convert_path_to_os_accepted_path(L"C:/a\\b/c"));
    EXPECT_EQ(vqx_wstring(L"C:/a/b/c"), vqx_convert_path_to_url_accepted_path(L"C:/a\\b\\c"));
    EXPECT_EQ(vqx_wstring(L"x\u2215y"), vqx_convert_path_to_os_accepted_path(L"x\u2215y"));
}

TEST(StringsCase, InsensitiveCompareFindAndReverseFind) {
    const struct {
        const wchar_t *a, *b;
        unsigned order;
    } compares[] = {
        {L"ABC", L"abc", 0},
        {L"ab", L"abc", 0xFFFFFFFFu},
        {L"abc", L"AB", 1},
        {L"b", L"A", 1},
        {L"A", L"b", 0xFFFFFFFFu},
        {L"", L"", 0},
        {L"_", L"A", 0xFFFFFFFFu} /* ordered after lowering: '_' is below 'a' */,
        {L"\uFFFF", L"a", 1},
    };
    for (const auto& c : compares)
        EXPECT_EQ(c.order, vqx_string_ci_compare(c.a, c.b)) << &c - compares;
    const vqx_wstring text = L"One two ONE two";
    EXPECT_EQ(0u, vqx_string_ci_find(text, L"one", 0));
    EXPECT_EQ(8u, vqx_string_ci_find(text, L"one", 1));
    EXPECT_EQ(vqx_npos, vqx_string_ci_find(text, L"one", 9));
    EXPECT_EQ(vqx_npos, vqx_string_ci_find(L"ab", L"abc", 0));
    EXPECT_EQ(vqx_npos, vqx_string_ci_find(text, L"one", 100));
    EXPECT_EQ(8u, vqx_string_ci_rfind(text, L"ONE", vqx_npos));
    EXPECT_EQ(0u, vqx_string_ci_rfind(text, L"one", 7));
    EXPECT_EQ(vqx_npos, vqx_string_ci_rfind(L"ab", L"abc", vqx_npos));
}

TEST(StringsUrl, EncodesControlsNonAsciiAndTheReservedSetOfTheFlag) {
    const struct {
        const wchar_t* path;
        bool escapeQuery;
        const char* url;
    } cases[] = {
        {L"C:\\my file&x=1", true, "C%3A/my%20file%26x%3D1"},
        {L"C:\\my file&x=1", false, "C%3A/my%20file&x=1"},
        {L":? %,;@&=+$<>#\"", true, "%3A%3F%20%25%2C%3B%40%26%3D%2B%24%3C%3E%23%22"},
        {L":? %,;@&=+$<>#\"", false, "%3A%3F%20%25%2C%3B%40&=%2B%24%3C%3E%23%22"},
        {L"a/b-c_d.e~f!g*h'i(j)k[l]m{n}o|p^q`r", true, "a/b-c_d.e~f!g*h'i(j)k[l]m{n}o|p^q`r"},
        {L"\x01\t\x1F\x7F", true, "%01%09%1F%7F"},
        {L"caf\u00e9", false, "caf%C3%A9"},
        {L"\u20ac\U0001F600", true, "%E2%82%AC%F0%9F%98%80"},
        {L"", true, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(vqx_string(c.url), vqx_from_unicode_to_url_utf8(c.path, c.escapeQuery));
    const vqx_wstring path = L"C:/Program Files/\u00c9t\u00e9 #1/a&b=c;d?.txt";
    EXPECT_EQ(path, vqx_from_url_utf8_to_unicode(vqx_from_unicode_to_url_utf8(path, true)));
}

TEST(StringsUrl, DecodesEscapesWithoutReadingPastTheEnd) {
    const struct {
        const char* url;
        const wchar_t* text;
    } cases[] = {
        {"a%20b%zzc", L"a b"} /* the zero byte from %zz ends the text */,
        {"C%3A/my%20file%26x%3D1", L"C:/my file&x=1"},
        {"caf%c3%A9", L"caf\u00e9"},
        {"a+b", L"a+b"},
        {"%4g5",
         L"\x04"
         L"5"} /* resumes three characters after the '%' */,
        {"a%-1", L"a\uFFFD"} /* strtol takes the sign: byte 0xFF, no UTF-8 */,
        {"x%4", L"x\x04"},
        {"x%", L"x"},
        {"%41%42", L"AB"},
        {"%413", L"A3"},
        {"", L""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(vqx_wstring(c.text), vqx_from_url_utf8_to_unicode(c.url)) << c.url;
}
