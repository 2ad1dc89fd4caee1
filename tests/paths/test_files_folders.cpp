// Files, directories and the well-known folders, checked against the file system directly.
#include <vqx/paths.h>

#include "../trace/debug_capture.h"
#include "../trace/scratch_folder.h"

#include <gtest/gtest.h>

#include <locale>
#include <string>

using namespace vqx;

namespace {

vqx_wstring W(const std::wstring& text) {
    return vqx_wstring(text.c_str());
}
std::wstring S(const vqx_wstring& text) {
    return std::wstring(text.c_str());
}

// Writes `data` through a file opened with `access`; returns what the write reported.
unsigned WriteThrough(const std::wstring& path, int access, const std::string& data) {
    vqx_file_handle file = vqx_open_file(W(path), static_cast<VQX_FileAccess>(access));
    EXPECT_NE(file, nullptr);
    const unsigned written = vqx_write_file(file, data.data(), static_cast<unsigned>(data.size()));
    vqx_close_file(file);
    return written;
}

}  // namespace

TEST(FileAccess, WriteTruncatesAppendCreatesAndReadReadsBack) {
    ScratchFolder scratch(L"files_rw");
    const std::wstring path = scratch / L"data.bin";
    WriteAllBytes(path, "old content that is long");
    EXPECT_EQ(WriteThrough(path, VQX_FileAccessWrite, "abc"), 3u);
    EXPECT_EQ(ReadAllBytes(path), "abc");  // CREATE_ALWAYS truncated the old content

    vqx_file_handle file = vqx_open_file(W(path), VQX_FileAccessRead);
    ASSERT_NE(file, nullptr);
    char buffer[16] = {};
    EXPECT_EQ(vqx_read_file(file, buffer, sizeof(buffer)), 3u);  // what was actually read
    EXPECT_EQ(std::string(buffer, 3), "abc");
    EXPECT_EQ(vqx_read_file(file, buffer, sizeof(buffer)), 0u);  // end of file
    EXPECT_EQ(vqx_write_file(file, "x", 1), 0u);                 // opened for reading only
    vqx_close_file(file);

    const std::wstring log = scratch / L"log.txt";
    EXPECT_EQ(WriteThrough(log, VQX_FileAccessWrite | VQX_FileAccessAppend, "one"), 3u);
    EXPECT_EQ(WriteThrough(log, VQX_FileAccessWrite | VQX_FileAccessAppend | VQX_FileAccessRandom, "two"), 3u);
    EXPECT_EQ(ReadAllBytes(log), "onetwo");

    // Read, write and append: positioned at the end of the existing content.
    file = vqx_open_file(W(log), VQX_FileAccessWrite | VQX_FileAccessRead | VQX_FileAccessAppend);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(vqx_read_file(file, buffer, sizeof(buffer)), 0u);
    // Other readers are allowed, writers are not.
    HANDLE reader =
        CreateFileW(log.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(reader, INVALID_HANDLE_VALUE);
    CloseHandle(reader);
    HANDLE writer =
        CreateFileW(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
    if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
    EXPECT_EQ(vqx_write_file(file, "3", 1), 1u);
    vqx_close_file(file);
    EXPECT_EQ(ReadAllBytes(log), "onetwo3");
}

TEST(FileAccess, TheFiveWarningsGoToTheDebugger) {
    ScratchFolder scratch(L"files_warn");
    DebugOutputCapture debugger;
    char byte = 0;
    EXPECT_EQ(vqx_open_file(W(L""), VQX_FileAccessRead), nullptr);
    EXPECT_EQ(vqx_open_file(W(scratch / L"missing.txt"), VQX_FileAccessRead), nullptr);
    EXPECT_EQ(vqx_read_file(nullptr, &byte, 1), 0u);
    EXPECT_EQ(vqx_write_file(nullptr, &byte, 1), 0u);
    vqx_close_file(nullptr);
    EXPECT_EQ(debugger.Texts(), (std::vector<std::wstring>{
                                    L"(WARNING) Invalid file name for open.",
                                    L"(WARNING) Failed to open file",
                                    L"(WARNING) Invalid file handle specified for file read.",
                                    L"(WARNING) Invalid file handle specified for file write.",
                                    L"(WARNING) Invalid file handle specified for file close.",
                                }));
    EXPECT_FALSE(FileExists(scratch / L"missing.txt"));  // reading never creates
}

TEST(FileAccess, StatDeleteAndTheRuntimesWideOpen) {
    ScratchFolder scratch(L"files_stat");
    const std::wstring path = scratch / L"sized.bin";
    WriteAllBytes(path, std::string(1234, 'z'));
    struct _stat64 info {};
    ASSERT_TRUE(vqx_file_stat(W(path), &info));
    EXPECT_EQ(info.st_size, 1234);
    EXPECT_EQ(info.st_mode & 0x4000, 0);
    EXPECT_TRUE(vqx_file_stat(W(scratch.Path()), &info));
    EXPECT_NE(info.st_mode & 0x4000, 0);
    EXPECT_FALSE(vqx_file_stat(W(path), nullptr));
    EXPECT_TRUE(vqx_delete_file(W(path)));
    EXPECT_FALSE(vqx_delete_file(W(path)));
    EXPECT_FALSE(vqx_file_stat(W(path), &info));

    FILE* stream = vqx_file_open(path.c_str(), L"wb");
    ASSERT_NE(stream, nullptr);
    fputs("via stream", stream);
    fclose(stream);
    EXPECT_EQ(ReadAllBytes(path), "via stream");
    EXPECT_EQ(vqx_file_open((scratch / L"none.txt").c_str(), L"rb"), nullptr);
    EXPECT_EQ(vqx_file_open(nullptr, L"rb"), nullptr);
    EXPECT_EQ(vqx_file_open(path.c_str(), nullptr), nullptr);
}

TEST(Directories, ExistsAndMakeDir) {
    ScratchFolder scratch(L"dirs_make");
    for (const wchar_t* suffix : {L"", L"\\", L"/"})
        EXPECT_TRUE(vqx_dir_exists(W(scratch.Path() + suffix)));
    WriteAllBytes(scratch / L"file", "x");
    EXPECT_FALSE(vqx_dir_exists(W(scratch / L"file")));
    EXPECT_FALSE(vqx_dir_exists(W(scratch / L"missing")));
    EXPECT_FALSE(vqx_dir_exists(W(L"")));

    EXPECT_TRUE(vqx_make_dir(W(scratch / L"x\\y\\")));
    EXPECT_TRUE(FolderExists(scratch / L"x\\y"));
    EXPECT_TRUE(vqx_make_dir(W(scratch / L"x\\y\\")));  // already there: still true
    EXPECT_TRUE(vqx_make_dir(W(scratch / L"p\\q\\r")));
    EXPECT_TRUE(FolderExists(scratch / L"p\\q\\r"));
    // Only '\' separates levels: "m/n" is one name the file system refuses with its parent missing.
    EXPECT_TRUE(vqx_make_dir(W(scratch / L"m/n")));
    EXPECT_FALSE(FolderExists(scratch / L"m"));
    EXPECT_TRUE(vqx_make_dir(W(scratch / L"file\\sub")));  // failure ignored
    EXPECT_TRUE(vqx_make_dir(W(L"")));
}

TEST(Directories, ListingPutsFoldersFirstThenCollatedNames) {
    ScratchFolder scratch(L"dirs_list");
    vqx_vector<vqx_file_item_descriptor> items(2);  // cleared first
    EXPECT_FALSE(vqx_enumerate_directory(W(scratch / L"missing\\*.*"), items));
    EXPECT_TRUE(items.empty());
    EXPECT_TRUE(vqx_enumerate_directory(W(scratch / L"*.*"), items));
    EXPECT_TRUE(items.empty());  // "." and ".." are left out

    WriteAllBytes(scratch / L"b.txt", "bb");
    WriteAllBytes(scratch / L"A.txt", "a");
    CreateDirectoryW((scratch / L"z").c_str(), nullptr);
    CreateDirectoryW((scratch / L"Y").c_str(), nullptr);
    ASSERT_TRUE(vqx_enumerate_directory(W(scratch / L"*.*"), items));
    const auto& collate = std::use_facet<std::collate<wchar_t>>(std::locale());
    auto ordered = [&](std::wstring a, std::wstring b) {
        if (collate.compare(a.data(), a.data() + a.size(), b.data(), b.data() + b.size()) > 0) std::swap(a, b);
        return std::vector<std::wstring>{a, b};
    };
    std::vector<std::wstring> expected = ordered(L"Y", L"z");
    for (const std::wstring& file : ordered(L"A.txt", L"b.txt"))
        expected.push_back(file);
    std::vector<std::wstring> names;
    for (const auto& item : items) {
        names.emplace_back(item.name);
        EXPECT_EQ((item.attributes & 0x10) != 0, names.size() <= 2) << names.size();
        if (names.back() == L"b.txt") {
            EXPECT_EQ(item.size, 2);
        }
        EXPECT_GT(item.time_write, 1500000000);  // seconds since 1970, written just now
    }
    EXPECT_EQ(names, expected);
}

TEST(Directories, DeleteOnlyEmptyFoldersOrWholeTreesStoppingAtTheFirstFailure) {
    ScratchFolder scratch(L"dirs_delete");
    const std::wstring root = scratch / L"tree";
    vqx_make_dir(W(root + L"\\a\\b"));
    WriteAllBytes(root + L"\\top.txt", "1");
    WriteAllBytes(root + L"\\a\\b\\low.txt", "3");
    EXPECT_FALSE(vqx_delete_dir(W(root), false));
    EXPECT_TRUE(FileExists(root + L"\\top.txt"));
    EXPECT_FALSE(vqx_delete_dir(W(L""), true));

    HANDLE held = CreateFileW((root + L"\\top.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(vqx_delete_dir(W(root), true));
    EXPECT_TRUE(FolderExists(root));
    CloseHandle(held);
    EXPECT_TRUE(vqx_delete_dir(W(root + L"\\"), true));
    EXPECT_FALSE(FolderExists(root));

    CreateDirectoryW(root.c_str(), nullptr);
    EXPECT_TRUE(vqx_delete_dir(W(root), false));  // empty now
    EXPECT_FALSE(vqx_delete_dir(W(root), false));
}

TEST(Folders, ProcessCurrentAndApplicationDataFolders) {
    wchar_t executable[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, executable, MAX_PATH);
    EXPECT_EQ(S(vqx_get_process_path()), executable);
    EXPECT_EQ(S(vqx_get_process_folder()), std::wstring(executable).substr(0, std::wstring(executable).rfind(L'\\')));

    ScratchFolder scratch(L"folders_current");
    wchar_t saved[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, saved);
    ASSERT_TRUE(SetCurrentDirectoryW(scratch.Path().c_str()));
    const std::wstring path = S(vqx_get_current_path()), folder = S(vqx_get_current_folder());
    SetCurrentDirectoryW(saved);
    EXPECT_EQ(path, scratch.Path());
    EXPECT_EQ(folder, std::wstring(saved));  // the scratch folder's last component counts as a name

    SetEnvironmentVariableW(L"APPDATA", L"C:\\Users\\me\\AppData\\Roaming");  // this process's copy only
    const std::wstring expected = L"C:\\Users\\me\\AppData\\Roaming\\QZT\\";
    std::wstring buffer(expected.size() + 4, L'#');
    EXPECT_FALSE(vqx_get_application_data_path(&buffer[0], static_cast<unsigned>(expected.size())));
    EXPECT_EQ(buffer, std::wstring(expected.size() + 4, L'#'));  // one character too small: untouched
    ASSERT_TRUE(vqx_get_application_data_path(&buffer[0], static_cast<unsigned>(expected.size() + 1)));
    EXPECT_EQ(buffer, expected + L'\0' + L"###");
    EXPECT_FALSE(vqx_get_application_data_path(nullptr, 100));
    EXPECT_FALSE(FolderExists(expected));  // not created
    SetEnvironmentVariableW(L"APPDATA", nullptr);
    wchar_t keep[64] = L"keep";
    EXPECT_FALSE(vqx_get_application_data_path(keep, 64));
    EXPECT_STREQ(keep, L"keep");
}
