// White-box: VQXFilePathParser's split into folder, name and extension.
#include "util/paths_parser.h"

#include <gtest/gtest.h>

using vqx::VQXFilePathParser;

TEST(FilePathParser, FolderNameAndExtension) {
    const struct {
        const wchar_t *path, *folder, *name, *extension;
    } cases[] = {
        {L"C:\\apps\\host.exe", L"C:\\apps\\", L"host", L"exe"},
        {L"C:\\v1.2\\readme", L"C:\\v1.2\\", L"readme", L""},  // dots inside the folder do not count
        {L"archive.tar.gz", L"", L"archive.tar", L"gz"},
        {L"name", L"", L"name", L""},
        {L"C:\\work\\dir\\", L"C:\\work\\dir\\", L"", L""},
        {L"a/b/c.txt", L"a/b\\", L"c", L"txt"},  // '/' separates too
        {L"//x", L"/", L"x", L""},               // already ends with a separator
        {L"C:\\d\\file.", L"C:\\d\\", L"file", L""},
    };
    for (const auto& c : cases) {
        VQXFilePathParser parser;
        EXPECT_TRUE(parser.Parse(c.path)) << c.path;
        EXPECT_EQ(parser.GetFolder(), c.folder) << c.path;
        EXPECT_EQ(parser.GetName(), c.name) << c.path;
        EXPECT_EQ(parser.GetExtension(), c.extension) << c.path;
    }
}

TEST(FilePathParser, EmptyPathFailsAndClearsThePreviousResult) {
    VQXFilePathParser parser;
    ASSERT_TRUE(parser.Parse(L"C:\\a\\b.c"));
    EXPECT_FALSE(parser.Parse(L""));
    EXPECT_EQ(parser.GetFolder(), L"");
    EXPECT_EQ(parser.GetName(), L"");
    EXPECT_EQ(parser.GetExtension(), L"");
}
