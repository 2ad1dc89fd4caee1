// Files through vqx_open_file and friends, and the debugger warnings of the file functions.
#include <vqx/paths.h>

#include "../trace/debug_capture.h"
#include "../trace/scratch_folder.h"

#include <gtest/gtest.h>

#include <string>

using namespace vqx;

namespace {
vqx_wstring W(const std::wstring& text) { return vqx_wstring(text.c_str()); }
}  // namespace

TEST(FileAccess, WriteCreatesOrTruncatesAndReadReadsBack) {
    ScratchFolder scratch(L"files_rw");
    const std::wstring path = scratch / L"data.bin";
    WriteAllBytes(path, "old content that is long");

    vqx_file_handle file = vqx_open_file(W(path), VQX_FileAccessWrite);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(vqx_write_file(file, "abc", 3), 3u);
    vqx_close_file(file);
    EXPECT_EQ(ReadAllBytes(path), "abc");  // CREATE_ALWAYS truncated the old content

    file = vqx_open_file(W(path), VQX_FileAccessRead);
    ASSERT_NE(file, nullptr);
    char buffer[16] = {};
    EXPECT_EQ(vqx_read_file(file, buffer, sizeof(buffer)), 3u);  // what was actually read
    EXPECT_EQ(std::string(buffer, 3), "abc");
    EXPECT_EQ(vqx_read_file(file, buffer, sizeof(buffer)), 0u);  // end of file
    EXPECT_EQ(vqx_write_file(file, "x", 1), 0u);                  // opened for reading only
    vqx_close_file(file);
}

TEST(FileAccess, AppendCreatesAMissingFileAndWritesAtTheEnd) {
    ScratchFolder scratch(L"files_append");
    const std::wstring path = scratch / L"log.txt";
    const auto appendFlags = VQX_FileAccessWrite | VQX_FileAccessAppend;
    vqx_file_handle file = vqx_open_file(W(path), appendFlags);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(vqx_write_file(file, "one", 3), 3u);
    vqx_close_file(file);
    file = vqx_open_file(W(path), appendFlags | VQX_FileAccessRandom);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(vqx_write_file(file, "two", 3), 3u);
    vqx_close_file(file);
    EXPECT_EQ(ReadAllBytes(path), "onetwo");
}

TEST(FileAccess, ReadWriteOpensExistingWithoutTruncatingOnlyWithAppend) {
    ScratchFolder scratch(L"files_both");
    const std::wstring path = scratch / L"both.txt";
    WriteAllBytes(path, "12345");
    vqx_file_handle file = vqx_open_file(W(path), VQX_FileAccessWrite | VQX_FileAccessRead | VQX_FileAccessAppend);
    ASSERT_NE(file, nullptr);
    char buffer[8] = {};
    EXPECT_EQ(vqx_read_file(file, buffer, sizeof(buffer)), 0u);  // positioned at the end
    EXPECT_EQ(vqx_write_file(file, "6", 1), 1u);
    vqx_close_file(file);
    EXPECT_EQ(ReadAllBytes(path), "123456");
}

TEST(FileAccess, OtherReadersAreAllowedButNotWriters) {
    ScratchFolder scratch(L"files_share");
    const std::wstring path = scratch / L"shared.txt";
    vqx_file_handle file = vqx_open_file(W(path), VQX_FileAccessWrite);
    ASSERT_NE(file, nullptr);
    HANDLE reader = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(reader, INVALID_HANDLE_VALUE);
    if (reader != INVALID_HANDLE_VALUE) CloseHandle(reader);
    HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
    if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
    vqx_close_file(file);
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

TEST(FileAccess, DeleteAndStat) {
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
}

TEST(FileAccess, FileOpenIsTheRuntimesWideOpen) {
    ScratchFolder scratch(L"files_fopen");
    const std::wstring path = scratch / L"stream.txt";
    FILE* stream = vqx_file_open(path.c_str(), L"wb");
    ASSERT_NE(stream, nullptr);
    fputs("via stream", stream);
    fclose(stream);
    EXPECT_EQ(ReadAllBytes(path), "via stream");
    EXPECT_EQ(vqx_file_open((scratch / L"none.txt").c_str(), L"rb"), nullptr);
    EXPECT_EQ(vqx_file_open(nullptr, L"rb"), nullptr);
    EXPECT_EQ(vqx_file_open(path.c_str(), nullptr), nullptr);
}
