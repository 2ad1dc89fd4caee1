// Percent-encoding of paths and decoding back.
#include <vqx/vqx.h>

#include <gtest/gtest.h>

using namespace vqx;

TEST(StringsUrl, EncodesReservedCharactersByQueryFlag) {
    EXPECT_EQ(vqx_string("C%3A/my%20file%26x%3D1"), vqx_from_unicode_to_url_utf8(L"C:\\my file&x=1", true));
    EXPECT_EQ(vqx_string("C%3A/my%20file&x=1"), vqx_from_unicode_to_url_utf8(L"C:\\my file&x=1", false));
    EXPECT_EQ(vqx_string("%3A%3F%20%25%2C%3B%40%26%3D%2B%24%3C%3E%23%22"),
              vqx_from_unicode_to_url_utf8(L":? %,;@&=+$<>#\"", true));
    EXPECT_EQ(vqx_string("%3A%3F%20%25%2C%3B%40&=%2B%24%3C%3E%23%22"),
              vqx_from_unicode_to_url_utf8(L":? %,;@&=+$<>#\"", false));
    // Unreserved printable characters pass, '/' included.
    EXPECT_EQ(vqx_string("a/b-c_d.e~f!g*h'i(j)k[l]m{n}o|p^q`r"),
              vqx_from_unicode_to_url_utf8(L"a/b-c_d.e~f!g*h'i(j)k[l]m{n}o|p^q`r", true));
}

TEST(StringsUrl, EscapesControlsDeleteAndNonAsciiBytes) {
    EXPECT_EQ(vqx_string("%01%09%1F%7F"), vqx_from_unicode_to_url_utf8(L"\x01\t\x1F\x7F", true));
    EXPECT_EQ(vqx_string("caf%C3%A9"), vqx_from_unicode_to_url_utf8(L"caf\u00e9", false));
    EXPECT_EQ(vqx_string("%E2%82%AC%F0%9F%98%80"), vqx_from_unicode_to_url_utf8(L"\u20ac\U0001F600", true));
    EXPECT_EQ(vqx_string("%EF%BF%BF"), vqx_from_unicode_to_url_utf8(L"\uFFFF", true));
    EXPECT_TRUE(vqx_from_unicode_to_url_utf8(vqx_wstring(), true).empty());
}

TEST(StringsUrl, DecodesEscapes) {
    EXPECT_EQ(vqx_wstring(L"a b"), vqx_from_url_utf8_to_unicode("a%20b%zzc"));
    EXPECT_EQ(vqx_wstring(L"C:/my file&x=1"), vqx_from_url_utf8_to_unicode("C%3A/my%20file%26x%3D1"));
    EXPECT_EQ(vqx_wstring(L"caf\u00e9"), vqx_from_url_utf8_to_unicode("caf%c3%A9"));
    EXPECT_EQ(vqx_wstring(L"a+b"), vqx_from_url_utf8_to_unicode("a+b"));
    // "%4g" decodes as 4 and consumes the g: decoding resumes three characters after the '%'.
    EXPECT_EQ(vqx_wstring(L"\x04" L"5"), vqx_from_url_utf8_to_unicode("%4g5"));
    // strtol accepts a sign: "-1" gives the byte 0xFF, which is no UTF-8 and reads as U+FFFD.
    EXPECT_EQ(vqx_wstring(L"a\uFFFD"), vqx_from_url_utf8_to_unicode("a%-1"));
    EXPECT_EQ(vqx_wstring(L"x\x04"), vqx_from_url_utf8_to_unicode("x%4"));  // digits present only
    EXPECT_EQ(vqx_wstring(L"x"), vqx_from_url_utf8_to_unicode("x%"));
    EXPECT_EQ(vqx_wstring(L"AB"), vqx_from_url_utf8_to_unicode("%41%42"));
    EXPECT_EQ(vqx_wstring(L"A3"), vqx_from_url_utf8_to_unicode("%413"));  // two digits only
    EXPECT_TRUE(vqx_from_url_utf8_to_unicode(vqx_string()).empty());
}

TEST(StringsUrl, RoundTrip) {
    const vqx_wstring path = L"C:/Program Files/\u00c9t\u00e9 #1/a&b=c;d?.txt";
    EXPECT_EQ(path, vqx_from_url_utf8_to_unicode(vqx_from_unicode_to_url_utf8(path, true)));
}
