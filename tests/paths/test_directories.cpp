// Directory existence, creation, listing and removal.
#include <vqx/paths.h>

#include "../trace/scratch_folder.h"

#include <gtest/gtest.h>

#include <locale>
#include <string>

using namespace vqx;

namespace {

vqx_wstring W(const std::wstring& text) { return vqx_wstring(text.c_str()); }

std::vector<std::wstring> Names(const vqx_vector<vqx_file_item_descriptor>& items) {
    std::vector<std::wstring> names;
    for (const auto& item : items) names.emplace_back(item.name);
    return names;
}

}  // namespace

TEST(Directories, ExistsAcceptsOneTrailingSeparator) {
    ScratchFolder scratch(L"dirs_exist");
    EXPECT_TRUE(vqx_dir_exists(W(scratch.Path())));
    EXPECT_TRUE(vqx_dir_exists(W(scratch.Path() + L"\\")));
    EXPECT_TRUE(vqx_dir_exists(W(scratch.Path() + L"/")));
    WriteAllBytes(scratch / L"file", "x");
    EXPECT_FALSE(vqx_dir_exists(W(scratch / L"file")));
    EXPECT_FALSE(vqx_dir_exists(W(scratch / L"missing")));
    EXPECT_FALSE(vqx_dir_exists(W(L"")));
}

TEST(Directories, MakeDirCreatesEveryLevelAndAlwaysSucceeds) {
    ScratchFolder scratch(L"dirs_make");
    EXPECT_TRUE(vqx_make_dir(W(scratch / L"x\\y\\")));
    EXPECT_TRUE(FolderExists(scratch / L"x"));
    EXPECT_TRUE(FolderExists(scratch / L"x\\y"));
    EXPECT_TRUE(vqx_make_dir(W(scratch / L"x\\y\\")));  // already there: still true
    EXPECT_TRUE(vqx_make_dir(W(scratch / L"p\\q\\r")));
    EXPECT_TRUE(FolderExists(scratch / L"p\\q\\r"));
    // Only '\' separates levels: "a/b" is one name the file system refuses with its parent missing.
    EXPECT_TRUE(vqx_make_dir(W(scratch / L"m/n")));
    EXPECT_FALSE(FolderExists(scratch / L"m"));
    WriteAllBytes(scratch / L"blocker", "x");
    EXPECT_TRUE(vqx_make_dir(W(scratch / L"blocker\\sub")));  // failure ignored
    EXPECT_TRUE(vqx_make_dir(W(L"")));
}

TEST(Directories, ListingPutsFoldersFirstThenCollatedNames) {
    ScratchFolder scratch(L"dirs_list");
    WriteAllBytes(scratch / L"b.txt", "bb");
    WriteAllBytes(scratch / L"A.txt", "a");
    CreateDirectoryW((scratch / L"z").c_str(), nullptr);
    CreateDirectoryW((scratch / L"Y").c_str(), nullptr);

    vqx_vector<vqx_file_item_descriptor> items(3);  // cleared first
    ASSERT_TRUE(vqx_enumerate_directory(W(scratch / L"*.*"), items));
    ASSERT_EQ(items.size(), 4u);

    const auto& collate = std::use_facet<std::collate<wchar_t>>(std::locale());
    auto before = [&](const wchar_t* a, const wchar_t* b) {
        return collate.compare(a, a + wcslen(a), b, b + wcslen(b)) < 0;
    };
    const std::vector<std::wstring> folders = before(L"Y", L"z") ? std::vector<std::wstring>{L"Y", L"z"}
                                                                 : std::vector<std::wstring>{L"z", L"Y"};
    const std::vector<std::wstring> files = before(L"A.txt", L"b.txt") ? std::vector<std::wstring>{L"A.txt", L"b.txt"}
                                                                       : std::vector<std::wstring>{L"b.txt", L"A.txt"};
    const std::vector<std::wstring> names = Names(items);
    EXPECT_EQ(std::vector<std::wstring>(names.begin(), names.begin() + 2), folders);
    EXPECT_EQ(std::vector<std::wstring>(names.begin() + 2, names.end()), files);

    for (const auto& item : items) {
        const bool folder = std::wstring(item.name) == L"z" || std::wstring(item.name) == L"Y";
        EXPECT_EQ((item.attributes & 0x10) != 0, folder) << std::string(item.name, item.name + wcslen(item.name));
        if (std::wstring(item.name) == L"b.txt") {
            EXPECT_EQ(item.size, 2);
        }
        EXPECT_GT(item.time_write, 1500000000);  // seconds since 1970, written just now
    }
}

TEST(Directories, ListingFailsForAMissingFolderAndClearsTheList) {
    ScratchFolder scratch(L"dirs_list_missing");
    vqx_vector<vqx_file_item_descriptor> items(2);
    EXPECT_FALSE(vqx_enumerate_directory(W(scratch / L"missing\\*.*"), items));
    EXPECT_TRUE(items.empty());
    EXPECT_TRUE(vqx_enumerate_directory(W(scratch / L"*.*"), items));
    EXPECT_TRUE(items.empty());  // "." and ".." are left out
}

TEST(Directories, DeleteWithoutRecursionOnlyRemovesEmptyFolders) {
    ScratchFolder scratch(L"dirs_delete");
    const std::wstring full = scratch / L"full";
    CreateDirectoryW(full.c_str(), nullptr);
    WriteAllBytes(full + L"\\f.txt", "x");
    EXPECT_FALSE(vqx_delete_dir(W(full), false));
    EXPECT_TRUE(FileExists(full + L"\\f.txt"));
    const std::wstring empty = scratch / L"empty";
    CreateDirectoryW(empty.c_str(), nullptr);
    EXPECT_TRUE(vqx_delete_dir(W(empty), false));
    EXPECT_FALSE(FolderExists(empty));
    EXPECT_FALSE(vqx_delete_dir(W(empty), false));
    EXPECT_FALSE(vqx_delete_dir(W(L""), true));
}

TEST(Directories, RecursiveDeleteRemovesTheWholeTree) {
    ScratchFolder scratch(L"dirs_delete_tree");
    const std::wstring root = scratch / L"tree";
    vqx_make_dir(W(root + L"\\a\\b"));
    WriteAllBytes(root + L"\\top.txt", "1");
    WriteAllBytes(root + L"\\a\\mid.txt", "2");
    WriteAllBytes(root + L"\\a\\b\\low.txt", "3");
    EXPECT_TRUE(vqx_delete_dir(W(root + L"\\"), true));
    EXPECT_FALSE(FolderExists(root));
}

TEST(Directories, RecursiveDeleteStopsAtTheFirstFailure) {
    ScratchFolder scratch(L"dirs_delete_stuck");
    const std::wstring root = scratch / L"stuck";
    CreateDirectoryW(root.c_str(), nullptr);
    WriteAllBytes(root + L"\\held.txt", "x");
    HANDLE held = CreateFileW((root + L"\\held.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(vqx_delete_dir(W(root), true));
    EXPECT_TRUE(FolderExists(root));
    CloseHandle(held);
    EXPECT_TRUE(vqx_delete_dir(W(root), true));
}
