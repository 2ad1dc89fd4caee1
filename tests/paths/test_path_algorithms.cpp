// Path text algorithms: absolute test, slashes, canonical form, relative path, parsing.
#include <vqx/paths.h>

#include <gtest/gtest.h>

#include <string>

namespace {

// Runs vqx_get_canonic_path with a guarded destination; returns the text, or "<false>".
std::wstring Canonic(const std::wstring& source) {
    std::wstring destination(source.size() + 2 + 8, L'#');
    if (!vqx_get_canonic_path(source.c_str(), &destination[0])) return L"<false>";
    const size_t end = destination.find(L'\0');
    EXPECT_NE(end, std::wstring::npos);
    EXPECT_LE(end, source.size() + 1);  // the documented room: length + 2 with the terminator
    return destination.substr(0, end);
}

std::wstring Relative(const wchar_t* from, const wchar_t* to) {
    wchar_t destination[260 + 8];
    std::fill(std::begin(destination), std::end(destination), L'#');
    if (!vqx_get_relative_path_to(from, to, destination)) {
        EXPECT_EQ(destination[0], L'#');  // not written
        return L"<false>";
    }
    for (int i = 260; i < 268; ++i) EXPECT_EQ(destination[i], L'#');
    return destination;
}

}  // namespace

TEST(PathIsAbsolute, ColonAnywhereOrTwoLeadingBackslashes) {
    EXPECT_TRUE(vqx_path_is_absolute(L"C:foo"));
    EXPECT_TRUE(vqx_path_is_absolute(L"C:\\x"));
    EXPECT_TRUE(vqx_path_is_absolute(L"rel\\odd:name"));
    EXPECT_TRUE(vqx_path_is_absolute(L"\\\\srv\\x"));
    EXPECT_FALSE(vqx_path_is_absolute(L"\\x"));
    EXPECT_FALSE(vqx_path_is_absolute(L"/x"));
    EXPECT_FALSE(vqx_path_is_absolute(L"//srv/x"));
    EXPECT_FALSE(vqx_path_is_absolute(L"a\\b"));
    EXPECT_FALSE(vqx_path_is_absolute(L""));
    EXPECT_FALSE(vqx_path_is_absolute(nullptr));
}

TEST(PathFixSlashes, TurnsEverySlashInPlace) {
    wchar_t text[] = L"/a//b\\c/";
    vqx_path_fix_os_slashes(text);
    EXPECT_STREQ(text, L"\\a\\\\b\\c\\");
    vqx_path_fix_os_slashes(nullptr);  // no crash
}

TEST(CanonicPath, DocumentedExamples) {
    EXPECT_EQ(Canonic(L"C:/a/b/../c/./d.txt"), L"C:\\a\\c\\d.txt");
    EXPECT_EQ(Canonic(L"\\\\?\\UNC\\srv\\share\\x"), L"\\\\srv\\share\\x");
    EXPECT_EQ(Canonic(L"C:"), L"C:\\");
    EXPECT_EQ(Canonic(L"a\\b\\..\\..\\c"), L"a\\c");
}

TEST(CanonicPath, EachRuleInItsOrder) {
    EXPECT_EQ(Canonic(L""), L"\\");                      // empty text gets the root
    EXPECT_EQ(Canonic(L"C:\\a\\.\\.\\b"), L"C:\\a\\b");  // every "\.\"
    EXPECT_EQ(Canonic(L"C:\\a\\..x\\y"), L"C:x\\y");      // "\.." also matches the start of "..x"
    EXPECT_EQ(Canonic(L"..\\..\\a"), L"a");               // "\.." without '\' before goes alone, then one "..\"
    EXPECT_EQ(Canonic(L".\\a\\.\\b"), L"a\\b");
    EXPECT_EQ(Canonic(L".\\.\\a"), L"a");                // "\.\" first, then one ".\"
    EXPECT_EQ(Canonic(L"a\\.hidden"), L"a\\hidden");     // one "\." becomes "\"
    EXPECT_EQ(Canonic(L"C:\\a\\.."), L"C:\\");           // nothing left: the root
    EXPECT_EQ(Canonic(L"x:y:\\..\\z"), L"x:y:\\z");      // prefix up to the first ':' only
    EXPECT_EQ(Canonic(L"C:\\\\?\\UNC\\s"), L"C:\\\\?\\UNC\\s");  // no UNC rule once a drive was taken
    EXPECT_EQ(Canonic(L"\\\\srv\\share\\..\\x"), L"\\\\srv\\x");
}

TEST(CanonicPath, NullArgumentsAndOverlongInputAreRefused) {
    wchar_t destination[8] = L"keep";
    EXPECT_FALSE(vqx_get_canonic_path(nullptr, destination));
    EXPECT_STREQ(destination, L"keep");
    EXPECT_FALSE(vqx_get_canonic_path(L"a", nullptr));

    const std::wstring longest(259, L'a');
    EXPECT_EQ(Canonic(longest), longest);
    const std::wstring tooLong(260, L'a');
    EXPECT_EQ(Canonic(tooLong), L"<false>");
    EXPECT_EQ(Canonic(L"C:\\" + std::wstring(5000, L'b')), L"<false>");
}

TEST(RelativePath, DocumentedExamples) {
    EXPECT_EQ(Relative(L"C:\\a\\b", L"C:\\a\\c\\f.txt"), L"..\\c\\f.txt");
    EXPECT_EQ(Relative(L"C:\\a", L"C:\\a\\x\\f"), L".\\x\\f");
    EXPECT_EQ(Relative(L"C:\\a", L"D:\\a\\f"), L"<false>");
    EXPECT_EQ(Relative(L"C:\\a", L"C:\\a\\f"), L".\\f");
}

TEST(RelativePath, SlashesCaseAndEmptyComponents) {
    EXPECT_EQ(Relative(L"c:/A/B/", L"C:\\a\\b\\f"), L".\\f");       // trailing '\' of the folder drops out
    EXPECT_EQ(Relative(L"C:\\a\\b\\c", L"C:\\a\\f"), L"..\\..\\f");  // every extra folder level
    EXPECT_EQ(Relative(L"C:\\a\\\\b", L"C:\\a\\b\\f"), L"..\\a\\b\\f");  // the first "\\" is removed: "C:\ab"
    EXPECT_EQ(Relative(L"\\\\srv\\share\\a", L"\\\\srv\\share\\b\\f"), L"..\\b\\f");
    EXPECT_EQ(Relative(L"\\\\srv\\a", L"\\\\other\\a\\f"), L"<false>");
    EXPECT_EQ(Relative(L"C:\\a", L"f.txt"), L"<false>");  // a target without folder shares nothing
}

TEST(RelativePath, NullOverlongAndOversizedResultsAreRefused) {
    wchar_t destination[260];
    EXPECT_FALSE(vqx_get_relative_path_to(nullptr, L"C:\\f", destination));
    EXPECT_FALSE(vqx_get_relative_path_to(L"C:\\", nullptr, destination));
    EXPECT_FALSE(vqx_get_relative_path_to(L"C:\\", L"C:\\f", nullptr));
    const std::wstring tooLong = L"C:\\" + std::wstring(300, L'a');
    EXPECT_EQ(Relative(tooLong.c_str(), L"C:\\f"), L"<false>");
    EXPECT_EQ(Relative(L"C:\\a", (tooLong + L"\\f").c_str()), L"<false>");

    // 120 one-letter levels fit the 259-character input but need 360 characters of "..\".
    std::wstring deep = L"C:";
    for (int i = 0; i < 120; ++i) deep += L"\\d";
    ASSERT_LT(deep.size(), 260u);
    EXPECT_EQ(Relative(deep.c_str(), L"C:\\f"), L"<false>");

    // 85 levels need 255 characters plus "f": still fits.
    std::wstring fits = L"C:";
    for (int i = 0; i < 85; ++i) fits += L"\\d";
    std::wstring expected;
    for (int i = 0; i < 85; ++i) expected += L"..\\";
    EXPECT_EQ(Relative(fits.c_str(), L"C:\\f"), expected + L"f");
}
