// The built-in outputs: log file, console and debugger.
#include <vqx/trace.h>

#include "debug_capture.h"
#include "recording_listener.h"
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

std::wstring ExecutablePath() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

// The log file's text after the byte-order mark, which must be there.
std::wstring LogText(const std::wstring& path) {
    const std::string bytes = ReadAllBytes(path);
    if (bytes.size() < 2 || static_cast<unsigned char>(bytes[0]) != 0xFF || static_cast<unsigned char>(bytes[1]) != 0xFE) {
        ADD_FAILURE() << "missing byte-order mark";
        return L"";
    }
    EXPECT_EQ(bytes.size() % 2, 0u);
    std::wstring text((bytes.size() - 2) / 2, L'\0');
    memcpy(&text[0], bytes.data() + 2, text.size() * 2);
    return text;
}

// Runs action with the C runtime's standard output sent to a file in text mode, as a console or
// redirected standard output is; returns the bytes that reached the file.
template <class Action>
std::string CaptureStandardOutput(const std::wstring& file, Action action) {
    fflush(stdout);
    const int saved = _dup(1);
    const int target = _wopen(file.c_str(), _O_CREAT | _O_TRUNC | _O_WRONLY | _O_TEXT, 0666);
    _dup2(target, 1);
    action();
    fflush(stdout);
    _dup2(saved, 1);
    _close(saved);
    _close(target);
    return ReadAllBytes(file);
}

}  // namespace

// Must run first in this process: nothing has set a path yet.
TEST(TraceFileOutput, DefaultPathIsTheExecutableWithLogAndNoFileExists) {
    const std::wstring expected = ExecutablePath() + L".log";
    EXPECT_EQ(FilePathOfTrace(), expected);
    vqxTrace(0, L"F", L"before any path");
    EXPECT_FALSE(FileExists(expected));
}

TEST(TraceFileOutput, GetFilePathReportsLengthPlusOneAndCopiesOnlyWhenItFits) {
    const std::wstring path = FilePathOfTrace();
    const vqx::int32 needed = static_cast<vqx::int32>(path.size()) + 1;
    EXPECT_EQ(vqxTraceGetFilePath(nullptr, 0), needed);
    std::wstring tooSmall(static_cast<size_t>(needed), L'#');
    EXPECT_EQ(vqxTraceGetFilePath(&tooSmall[0], needed - 1), needed);
    EXPECT_EQ(tooSmall, std::wstring(static_cast<size_t>(needed), L'#'));  // untouched
    EXPECT_EQ(vqxTraceGetFilePath(&tooSmall[0], -5), needed);
    std::wstring exact(static_cast<size_t>(needed) + 1, L'#');
    EXPECT_EQ(vqxTraceGetFilePath(&exact[0], needed), needed);
    EXPECT_EQ(exact.substr(0, path.size()), path);
    EXPECT_EQ(exact[path.size()], L'\0');
    EXPECT_EQ(exact[path.size() + 1], L'#');  // nothing past the terminator
}

TEST(TraceFileOutput, SetFilePathCreatesFoldersAndWritesOneRecordPerMessage) {
    QuietConsole quiet;
    ScratchFolder scratch(L"trace_file");
    const std::wstring path = scratch / L"logs\\a\\b\\trace.log";
    ASSERT_TRUE(vqxTraceSetFilePath(path.c_str()));
    EXPECT_TRUE(FolderExists(scratch / L"logs\\a\\b"));
    EXPECT_EQ(FilePathOfTrace(), path);
    EXPECT_EQ(ReadAllBytes(path), std::string("\xFF\xFE"));  // flushed at once

    vqxTrace(0, L"Fac", L"first %d", 1);
    vqxTrace(3, L"Fac", L"filtered");
    vqxTrace(1, L"Other", L"second: \x263A");
    const std::wstring text = LogText(path);  // readable before closing: flushed per record
    const std::wregex record(LR"(\S+ \S+ : Fac : first 1\r\n\S+ \S+ : Other : second: )" + std::wstring(1, L'\x263A') +
                             LR"(\r\n)");
    EXPECT_TRUE(std::regex_match(text, record)) << std::string(text.begin(), text.end());
    vqxTraceCloseFile();
}

TEST(TraceFileOutput, ReopeningTruncatesAndCloseStopsWriting) {
    QuietConsole quiet;
    ScratchFolder scratch(L"trace_reopen");
    const std::wstring path = scratch / L"trace.log";
    ASSERT_TRUE(vqxTraceSetFilePath(path.c_str()));
    vqxTrace(0, L"F", L"old");
    ASSERT_TRUE(vqxTraceSetFilePath(path.c_str()));
    EXPECT_EQ(LogText(path), L"");
    vqxTrace(0, L"F", L"new");
    EXPECT_NE(LogText(path).find(L" : F : new\r\n"), std::wstring::npos);

    vqxTraceCloseFile();
    vqxTraceCloseFile();  // closing twice is harmless
    vqxTrace(0, L"F", L"after close");
    EXPECT_EQ(LogText(path).find(L"after close"), std::wstring::npos);
    EXPECT_TRUE(DeleteFileW(path.c_str()));  // not held open any more

    ASSERT_TRUE(vqxTraceSetFilePath(nullptr));  // the same path again
    EXPECT_EQ(FilePathOfTrace(), path);
    vqxTrace(0, L"F", L"reopened");
    const std::wstring text = LogText(path);
    EXPECT_NE(text.find(L" : F : reopened\r\n"), std::wstring::npos);
    EXPECT_EQ(text.find(L"new"), std::wstring::npos);
    vqxTraceCloseFile();
}

TEST(TraceFileOutput, FailedOpenLeavesTheOutputClosedButKeepsThePath) {
    QuietConsole quiet;
    ScratchFolder scratch(L"trace_fail");
    const std::wstring good = scratch / L"good.log";
    ASSERT_TRUE(vqxTraceSetFilePath(good.c_str()));
    const std::wstring bad = scratch / L"folder_in_the_way";
    ASSERT_TRUE(CreateDirectoryW(bad.c_str(), nullptr));
    EXPECT_FALSE(vqxTraceSetFilePath(bad.c_str()));
    EXPECT_EQ(FilePathOfTrace(), bad);
    vqxTrace(0, L"F", L"lost");
    EXPECT_EQ(LogText(good), L"");  // the old file was closed before the new one was tried
}

TEST(TraceFileOutput, MultiLineMessagesSpanSeveralLines) {
    QuietConsole quiet;
    ScratchFolder scratch(L"trace_dump");
    const std::wstring path = scratch / L"dump.log";
    ASSERT_TRUE(vqxTraceSetFilePath(path.c_str()));
    const vqx::uint8 bytes[] = {0xDE, 0xAD};
    vqxTraceBuffer(0, L"Dump", bytes, 2);
    vqxTraceCloseFile();
    const std::wstring text = LogText(path);
    const size_t head = text.find(L" : Dump : \r\n0xDE, 0xAD, \r\n\r\n");
    EXPECT_NE(head, std::wstring::npos);
    EXPECT_EQ(head + std::wstring(L" : Dump : \r\n0xDE, 0xAD, \r\n\r\n").size(), text.size());
}

TEST(TraceConsoleOutput, SwitchReturnsThePreviousState) {
    EXPECT_TRUE(vqxTraceDisableConsole());
    EXPECT_FALSE(vqxTraceDisableConsole());
    EXPECT_FALSE(vqxTraceEnableConsole());
    EXPECT_TRUE(vqxTraceEnableConsole());
}

TEST(TraceConsoleOutput, WritesFacilityAndMessageAsPlainTextWithoutTime) {
    ScratchFolder scratch(L"trace_console");
    const std::string written = CaptureStandardOutput(scratch / L"stdout.txt", [] {
        vqxTrace(0, L"Con", L"%s", L"100%");
        vqxTrace(0, L"Con", L"%d%%", 50);
        vqxTraceDisableConsole();
        vqxTrace(0, L"Con", L"silent");
        vqxTraceEnableConsole();
    });
    // Text mode turns the '\n' of each "\r\n" into "\r\n".
    EXPECT_EQ(written, "Con : 100%\r\r\nCon : 50%\r\r\n");
}

TEST(TraceDebugOutput, WritesFacilityAndMessageWithoutTime) {
    QuietConsole quiet;
    DebugOutputCapture debugger;
    vqxTrace(0, L"Dbg", L"value %d", 7);
    vqxTrace(5, L"Dbg", L"filtered");
    EXPECT_EQ(debugger.Texts(), (std::vector<std::wstring>{L"Dbg : value 7\r\n"}));
}

TEST(TraceBuiltins, FileIsWrittenBeforeTheHostOutputIsCalled) {
    QuietConsole quiet;
    ScratchFolder scratch(L"trace_order");
    const std::wstring path = scratch / L"order.log";
    ASSERT_TRUE(vqxTraceSetFilePath(path.c_str()));
    struct Checker : vqx::VQXTraceListener {
        std::wstring path;
        bool fileHadRecord = false;
        void Write(const wchar_t*, const wchar_t*) override {
            fileHadRecord = ReadAllBytes(path).find("o\0r\0d\0e\0r\0", 0, 10) != std::string::npos;
        }
    } checker;
    checker.path = path;
    vqx::VQXRegisterTraceListener(&checker);
    vqxTrace(0, L"F", L"order");
    vqx::VQXUnregisterTraceListener(&checker);
    vqxTraceCloseFile();
    EXPECT_TRUE(checker.fileHadRecord);
}
