// White-box: VQXFilePathParser's split into folder, name and extension.
#include "util/paths_parser.h"

#include <gtest/gtest.h>

using vqx::VQXFilePathParser;
using vqx::vqx_wstring;

namespace {
struct Split {
    bool ok;
    vqx_wstring folder, name, extension;
};
Split Parse(const wchar_t* path) {
    VQXFilePathParser parser;
    const bool ok = parser.Parse(path);
    return {ok, parser.GetFolder(), parser.GetName(), parser.GetExtension()};
}
}  // namespace

TEST(FilePathParser, FolderNameAndExtension) {
    const Split s = Parse(L"C:\\apps\\host.exe");
    EXPECT_TRUE(s.ok);
    EXPECT_EQ(s.folder, L"C:\\apps\\");
    EXPECT_EQ(s.name, L"host");
    EXPECT_EQ(s.extension, L"exe");
}

TEST(FilePathParser, DotsInsideTheFolderDoNotCount) {
    const Split s = Parse(L"C:\\v1.2\\readme");
    EXPECT_EQ(s.folder, L"C:\\v1.2\\");
    EXPECT_EQ(s.name, L"readme");
    EXPECT_EQ(s.extension, L"");
}

TEST(FilePathParser, NoSeparator) {
    const Split withDot = Parse(L"archive.tar.gz");
    EXPECT_EQ(withDot.folder, L"");
    EXPECT_EQ(withDot.name, L"archive.tar");
    EXPECT_EQ(withDot.extension, L"gz");
    const Split plain = Parse(L"name");
    EXPECT_EQ(plain.name, L"name");
    EXPECT_EQ(plain.extension, L"");
}

TEST(FilePathParser, TrailingSeparatorGivesNoName) {
    const Split s = Parse(L"C:\\work\\dir\\");
    EXPECT_EQ(s.folder, L"C:\\work\\dir\\");
    EXPECT_EQ(s.name, L"");
}

TEST(FilePathParser, ForwardSlashesSeparateToo) {
    const Split s = Parse(L"a/b/c.txt");
    EXPECT_EQ(s.folder, L"a/b\\");
    EXPECT_EQ(s.name, L"c");
    EXPECT_EQ(s.extension, L"txt");
    const Split root = Parse(L"//x");
    EXPECT_EQ(root.folder, L"/");  // already ends with a separator
    EXPECT_EQ(root.name, L"x");
}

TEST(FilePathParser, TrailingDotIsNoExtension) {
    const Split s = Parse(L"C:\\d\\file.");
    EXPECT_EQ(s.extension, L"");
    EXPECT_EQ(s.name, L"file");
}

TEST(FilePathParser, EmptyPathFailsAndClearsThePreviousResult) {
    VQXFilePathParser parser;
    ASSERT_TRUE(parser.Parse(L"C:\\a\\b.c"));
    EXPECT_FALSE(parser.Parse(L""));
    EXPECT_EQ(parser.GetFolder(), L"");
    EXPECT_EQ(parser.GetName(), L"");
    EXPECT_EQ(parser.GetExtension(), L"");
}
