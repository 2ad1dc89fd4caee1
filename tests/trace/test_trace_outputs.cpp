// The built-in outputs: log file, console and debugger.
#include <vqx/trace.h>

#include "debug_capture.h"
#include "trace_recorder.h"
#include "scratch_folder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <regex>
#include <string>

namespace {

std::wstring FilePathOfTrace() {
    const vqx::int32 needed = vqxTraceGetFilePath(nullptr, 0);
    std::wstring path(static_cast<size_t>(needed), L'\0');
    vqxTraceGetFilePath(&path[0], needed);
    path.resize(static_cast<size_t>(needed - 1));
    return path;
}

// A host output that looks at the log file each time it is called, after the built-in outputs.
struct FileWatcher : vqx::VQXTraceListener {
    explicit FileWatcher(std::wstring path) : path(std::move(path)) { vqx::VQXRegisterTraceListener(this); }
    ~FileWatcher() override { vqx::VQXUnregisterTraceListener(this); }
    void Write(const wchar_t*, const wchar_t* message) override {
        lastHadRecord = ReadLogText(path).find(message) != std::wstring::npos;
    }
    std::wstring path;
    bool lastHadRecord = false;
};

}  // namespace

// Must run first in this process: nothing has set a path yet.
TEST(TraceFileOutput, DefaultPathIsTheExecutableWithLogAndIsCopiedOnlyWhenItFits) {
    wchar_t executable[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, executable, MAX_PATH);
    const std::wstring path = std::wstring(executable) + L".log";
    vqxTrace(0, L"F", L"before any path");
    EXPECT_FALSE(FileExists(path));

    const vqx::int32 needed = static_cast<vqx::int32>(path.size()) + 1;
    EXPECT_EQ(vqxTraceGetFilePath(nullptr, 0), needed);
    std::wstring buffer(static_cast<size_t>(needed) + 1, L'#');
    EXPECT_EQ(vqxTraceGetFilePath(&buffer[0], needed - 1), needed);
    EXPECT_EQ(vqxTraceGetFilePath(&buffer[0], -5), needed);
    EXPECT_EQ(buffer, std::wstring(buffer.size(), L'#'));  // untouched
    EXPECT_EQ(vqxTraceGetFilePath(&buffer[0], needed), needed);
    EXPECT_EQ(buffer, path + L'\0' + L'#');  // nothing past the terminator
}

TEST(TraceFileOutput, SetFilePathCreatesFoldersAndWritesOneFlushedRecordPerMessage) {
    QuietConsole quiet;
    ScratchFolder scratch(L"trace_file");
    const std::wstring path = scratch / L"logs\\a\\b\\trace.log";
    ASSERT_TRUE(vqxTraceSetFilePath(path.c_str()));
    EXPECT_TRUE(FolderExists(scratch / L"logs\\a\\b"));
    EXPECT_EQ(FilePathOfTrace(), path);
    EXPECT_EQ(ReadAllBytes(path), std::string("\xFF\xFE"));  // flushed at once

    FileWatcher watcher(path);
    vqxTrace(0, L"Fac", L"first %d", 1);
    EXPECT_TRUE(watcher.lastHadRecord);  // the file output runs before host outputs
    vqxTrace(3, L"Fac", L"filtered");
    vqxTrace(1, L"Other", L"second: \x263A");
    const vqx::uint8 bytes[] = {0xDE, 0xAD};
    vqxTraceBuffer(0, L"Dump", bytes, 2);  // a multi-line message spans several lines
    const std::wregex records(LR"(\S+ \S+ : Fac : first 1\r\n\S+ \S+ : Other : second: )" + std::wstring(1, L'\x263A') +
                              LR"(\r\n\S+ \S+ : Dump : \r\n0xDE, 0xAD, \r\n\r\n)");
    const std::wstring text = ReadLogText(path);  // readable before closing: flushed per record
    EXPECT_TRUE(std::regex_match(text, records)) << std::string(text.begin(), text.end());
    vqxTraceCloseFile();
}

TEST(TraceFileOutput, ReopeningTruncatesAndCloseStopsWriting) {
    QuietConsole quiet;
    ScratchFolder scratch(L"trace_reopen");
    const std::wstring path = scratch / L"trace.log";
    ASSERT_TRUE(vqxTraceSetFilePath(path.c_str()));
    vqxTrace(0, L"F", L"old");
    ASSERT_TRUE(vqxTraceSetFilePath(path.c_str()));
    EXPECT_EQ(ReadLogText(path), L"");
    vqxTrace(0, L"F", L"new");
    EXPECT_NE(ReadLogText(path).find(L" : F : new\r\n"), std::wstring::npos);

    vqxTraceCloseFile();
    vqxTraceCloseFile();  // closing twice is harmless
    vqxTrace(0, L"F", L"after close");
    EXPECT_EQ(ReadLogText(path).find(L"after close"), std::wstring::npos);
    EXPECT_TRUE(DeleteFileW(path.c_str()));  // not held open any more

    ASSERT_TRUE(vqxTraceSetFilePath(nullptr));  // the same path again
    EXPECT_EQ(FilePathOfTrace(), path);
    vqxTrace(0, L"F", L"reopened");
    const std::wstring text = ReadLogText(path);
    EXPECT_NE(text.find(L" : F : reopened\r\n"), std::wstring::npos);
    EXPECT_EQ(text.find(L"new"), std::wstring::npos);

    // A failed open closes the old file first and keeps the new path.
    const std::wstring bad = scratch / L"folder_in_the_way";
    ASSERT_TRUE(CreateDirectoryW(bad.c_str(), nullptr));
    EXPECT_FALSE(vqxTraceSetFilePath(bad.c_str()));
    EXPECT_EQ(FilePathOfTrace(), bad);
    vqxTrace(0, L"F", L"lost");
    EXPECT_EQ(ReadLogText(path).find(L"lost"), std::wstring::npos);
}

// Console and debugger lines are the facility and the message, without time.
TEST(TraceConsoleAndDebuggerOutputs, WriteFacilityAndMessageAsPlainText) {
    EXPECT_TRUE(vqxTraceDisableConsole());
    EXPECT_FALSE(vqxTraceDisableConsole());
    EXPECT_FALSE(vqxTraceEnableConsole());
    EXPECT_TRUE(vqxTraceEnableConsole());

    // Standard output goes to a file in text mode, as a console or a redirection does.
    ScratchFolder scratch(L"trace_console");
    const std::wstring file = scratch / L"stdout.txt";
    fflush(stdout);
    const int saved = _dup(1);
    const int target = _wopen(file.c_str(), _O_CREAT | _O_TRUNC | _O_WRONLY | _O_TEXT, 0666);
    _dup2(target, 1);
    DebugOutputCapture debugger;
    vqxTrace(0, L"Con", L"%s", L"100%");
    vqxTrace(0, L"Con", L"%d%%", 50);
    vqxTraceDisableConsole();
    vqxTrace(0, L"Con", L"silent");
    vqxTraceEnableConsole();
    vqxTrace(5, L"Con", L"filtered");
    fflush(stdout);
    _dup2(saved, 1);
    _close(saved);
    _close(target);
    // Text mode turns the '\n' of each "\r\n" into "\r\n".
    EXPECT_EQ(ReadAllBytes(file), "Con : 100%\r\r\nCon : 50%\r\r\n");
    EXPECT_EQ(debugger.Texts(), (std::vector<std::wstring>{L"Con : 100%\r\n", L"Con : 50%\r\n", L"Con : silent\r\n"}));
}
