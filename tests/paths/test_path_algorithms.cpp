// Path text algorithms: absolute test, slashes, canonical form and relative path, with guarded
// destinations so that a write past the documented room shows.
#include <vqx/paths.h>

#include <gtest/gtest.h>

#include <string>

namespace {

// Runs vqx_get_canonic_path with a guarded destination; returns the text, or "<false>".
std::wstring Canonic(const std::wstring& source) {
    std::wstring destination(source.size() + 2 + 8, L'#');
    if (!vqx_get_canonic_path(source.c_str(), &destination[0])) return L"<false>";
    const size_t end = destination.find(L'\0');
    EXPECT_LE(end, source.size() + 1);  // the documented room: length + 2 with the terminator
    return destination.substr(0, end);
}

std::wstring Relative(const std::wstring& from, const std::wstring& to) {
    wchar_t destination[260 + 8];
    std::fill(std::begin(destination), std::end(destination), L'#');
    if (!vqx_get_relative_path_to(from.c_str(), to.c_str(), destination)) {
        EXPECT_EQ(destination[0], L'#');  // not written
        return L"<false>";
    }
    EXPECT_EQ(std::wstring(destination + 260, 8), std::wstring(8, L'#'));
    return destination;
}

std::wstring Levels(const wchar_t* level, int count) {
    std::wstring text;
    for (int i = 0; i < count; ++i)
        text += level;
    return text;
}

}  // namespace

TEST(PathIsAbsolute, ColonAnywhereOrTwoLeadingBackslashes) {
    for (const wchar_t* path : {L"C:foo", L"C:\\x", L"rel\\odd:name", L"\\\\srv\\x"}) {
        EXPECT_TRUE(vqx_path_is_absolute(path)) << path;
    }
    for (const wchar_t* path : {L"\\x", L"/x", L"//srv/x", L"a\\b", L"", static_cast<const wchar_t*>(nullptr)}) {
        EXPECT_FALSE(vqx_path_is_absolute(path));
    }
    wchar_t text[] = L"/a//b\\c/";
    vqx_path_fix_os_slashes(text);
    EXPECT_STREQ(text, L"\\a\\\\b\\c\\");
    vqx_path_fix_os_slashes(nullptr);  // no crash
}

TEST(CanonicPath, EachRuleInItsOrder) {
    const struct {
        std::wstring source, canonic;
    } cases[] = {
        {L"C:/a/b/../c/./d.txt", L"C:\\a\\c\\d.txt"},
        {L"\\\\?\\UNC\\srv\\share\\x", L"\\\\srv\\share\\x"},
        {L"C:", L"C:\\"},
        {L"a\\b\\..\\..\\c", L"a\\c"},     // the second "\.." has no '\' before it and goes alone
        {L"", L"\\"},                      // empty text gets the root
        {L"C:\\a\\.\\.\\b", L"C:\\a\\b"},  // every "\.\"
        {L"C:\\a\\..x\\y", L"C:x\\y"},     // "\.." also matches the start of "..x"
        {L"..\\..\\a", L"a"},              // a lone "\..", then one "..\"
        {L".\\a\\.\\b", L"a\\b"},
        {L".\\.\\a", L"a"},                        // "\.\" first, then one ".\"
        {L"a\\.hidden", L"a\\hidden"},             // one "\." becomes "\"
        {L"C:\\a\\..", L"C:\\"},                   // nothing left: the root
        {L"x:y:\\..\\z", L"x:y:\\z"},              // prefix up to the first ':' only
        {L"C:\\\\?\\UNC\\s", L"C:\\\\?\\UNC\\s"},  // no UNC rule once a drive was taken
        {L"\\\\srv\\share\\..\\x", L"\\\\srv\\x"},
        {std::wstring(259, L'a'), std::wstring(259, L'a')},  // the longest input that fits
        {std::wstring(260, L'a'), L"<false>"},
        {L"C:\\" + std::wstring(5000, L'b'), L"<false>"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Canonic(c.source), c.canonic) << c.source.substr(0, 40);
    wchar_t destination[8] = L"keep";
    EXPECT_FALSE(vqx_get_canonic_path(nullptr, destination));
    EXPECT_STREQ(destination, L"keep");
    EXPECT_FALSE(vqx_get_canonic_path(L"a", nullptr));
}

TEST(RelativePath, ComponentsAfterTheSharedOnes) {
    const std::wstring tooLong = L"C:\\" + std::wstring(300, L'a');
    const std::wstring deep = L"C:" + Levels(L"\\d", 120);  // fits the input, needs 360 characters of "..\"
    const struct {
        std::wstring from, to, relative;
    } cases[] = {
        {L"C:\\a\\b", L"C:\\a\\c\\f.txt", L"..\\c\\f.txt"},
        {L"C:\\a", L"C:\\a\\x\\f", L".\\x\\f"},
        {L"C:\\a", L"D:\\a\\f", L"<false>"},
        {L"C:\\a", L"C:\\a\\f", L".\\f"},
        {L"c:/A/B/", L"C:\\a\\b\\f", L".\\f"},  // slashes, case, a trailing separator
        {L"C:\\a\\b\\c", L"C:\\a\\f", L"..\\..\\f"},
        {L"C:\\a\\\\b", L"C:\\a\\b\\f", L"..\\a\\b\\f"},  // the first "\\" is removed: "C:\ab"
        {L"\\\\srv\\share\\a", L"\\\\srv\\share\\b\\f", L"..\\b\\f"},
        {L"\\\\srv\\a", L"\\\\other\\a\\f", L"<false>"},
        {L"C:\\a", L"f.txt", L"<false>"},  // a target without folder shares nothing
        {tooLong, L"C:\\f", L"<false>"},
        {L"C:\\a", tooLong + L"\\f", L"<false>"},
        {deep, L"C:\\f", L"<false>"},
        {L"C:" + Levels(L"\\d", 85), L"C:\\f", Levels(L"..\\", 85) + L"f"},  // 256 characters: fits
    };
    for (const auto& c : cases)
        EXPECT_EQ(Relative(c.from, c.to), c.relative) << c.from.substr(0, 40);
    wchar_t destination[260];
    EXPECT_FALSE(vqx_get_relative_path_to(nullptr, L"C:\\f", destination));
    EXPECT_FALSE(vqx_get_relative_path_to(L"C:\\", nullptr, destination));
    EXPECT_FALSE(vqx_get_relative_path_to(L"C:\\", L"C:\\f", nullptr));
}
