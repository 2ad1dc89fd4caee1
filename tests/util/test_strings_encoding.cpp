// UTF-8, multibyte and hexadecimal conversions.
#include <vqx/vqx.h>

#include <gtest/gtest.h>

#include <clocale>

using namespace vqx;

namespace {

vqx_string Bytes(const char* data, size_t size) { return vqx_string(data, size); }

}  // namespace

TEST(StringsUtf8, RoundTripsEveryPlane) {
    const vqx_wstring text = L"A\u00e9\u20ac\U0001F600z";
    const vqx_string utf8 = vqx_from_unicode_to_utf8(text);
    EXPECT_EQ(vqx_string("A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z"), utf8);
    EXPECT_EQ(text, vqx_from_utf8_to_unicode(utf8));
}

TEST(StringsUtf8, EmptyAndEmbeddedNul) {
    EXPECT_TRUE(vqx_from_unicode_to_utf8(vqx_wstring()).empty());
    EXPECT_TRUE(vqx_from_utf8_to_unicode(vqx_string()).empty());
    const vqx_wstring wide(L"ab\0cd", 5);
    EXPECT_EQ(vqx_string("ab"), vqx_from_unicode_to_utf8(wide));
    EXPECT_EQ(vqx_wstring(L"ab"), vqx_from_utf8_to_unicode(Bytes("ab\0cd", 5)));
    EXPECT_TRUE(vqx_from_unicode_to_utf8(vqx_wstring(L"\0x", 2)).empty());
}

TEST(StringsUtf8, LongTextIsConvertedWhole) {
    vqx_wstring text;
    for (int i = 0; i < 5000; ++i) text.push_back(static_cast<wchar_t>(L'\u0400' + i % 200));
    const vqx_string utf8 = vqx_from_unicode_to_utf8(text);
    EXPECT_EQ(10000u, utf8.size());
    EXPECT_EQ(text, vqx_from_utf8_to_unicode(utf8));
}

TEST(StringsMultibyte, FollowsTheCurrentCLocale) {
    EXPECT_EQ(vqx_string("plain text"), vqx_from_unicode_to_multibyte(L"plain text"));
    EXPECT_EQ(vqx_wstring(L"plain text"), vqx_from_multibyte_to_unicode("plain text"));
    EXPECT_TRUE(vqx_from_unicode_to_multibyte(vqx_wstring()).empty());
    EXPECT_TRUE(vqx_from_multibyte_to_unicode(vqx_string()).empty());
    // A character the "C" locale cannot represent: the runtime reports an error, the result
    // is a valid empty string.
    EXPECT_TRUE(vqx_from_unicode_to_multibyte(L"a\u20acb").empty());
}

TEST(StringsMultibyte, CodePageLocaleTranslatesBytes) {
    if (std::setlocale(LC_ALL, ".1252") == nullptr) GTEST_SKIP() << "code page 1252 not available";
    EXPECT_EQ(vqx_string("\x80x"), vqx_from_unicode_to_multibyte(L"\u20acx"));
    EXPECT_EQ(vqx_wstring(L"\u20acx"), vqx_from_multibyte_to_unicode("\x80x"));
    std::setlocale(LC_ALL, "C");
}

TEST(StringsHex, BytesBecomeUpperCasePairs) {
    EXPECT_EQ(vqx_string("616263"), vqx_from_string_to_hex_string("abc"));
    EXPECT_EQ(vqx_string("FF"), vqx_from_string_to_hex_string("\xFF"));
    EXPECT_EQ(vqx_string("00807F0A"), vqx_from_string_to_hex_string(Bytes("\0\x80\x7F\n", 4)));
    EXPECT_TRUE(vqx_from_string_to_hex_string(vqx_string()).empty());
}

TEST(StringsHex, PairsScanLikeTheRuntime) {
    const struct {
        vqx_string hex;
        vqx_string bytes;
    } cases[] = {
        {"4a6", Bytes("\x4A\x06", 2)},
        {"zz", Bytes("\0", 1)},
        {"616263", "abc"},
        {"fFff", "\xFF\xFF"},
        {"7g", "\x07"},        // only the first digit scans
        {"g7", Bytes("\0", 1)},
        {" 5", "\x05"},        // blanks are skipped
        {"-1", "\xFF"},        // a sign is accepted; the low eight bits are kept
        {"", ""},
        {Bytes("4\0" "41", 4), Bytes("\x04\x41", 2)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hex);
        EXPECT_EQ(c.bytes, vqx_from_hex_string_to_string(c.hex));
    }
    const vqx_string all = [] {
        vqx_string s;
        for (int b = 0; b < 256; ++b) s.push_back(static_cast<char>(b));
        return s;
    }();
    EXPECT_EQ(all, vqx_from_hex_string_to_string(vqx_from_string_to_hex_string(all)));
}
