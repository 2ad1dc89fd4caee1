// Load and unload: a private copy of the library gets its own trace core at load and tears it
// down at unload (built-in outputs unregistered, log file closed, host outputs dropped uncalled).
#include <vqx/trace.h>

#include "scratch_folder.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct CountingListener : vqx::VQXTraceListener {
    int calls = 0;
    void Write(const wchar_t*, const wchar_t*) override { ++calls; }
};

template <class Fn>
Fn Lookup(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

TEST(TraceLifetime, PrivateCopyBuildsAndTearsDownItsOwnCore) {
    ScratchFolder scratch(L"trace_lifetime");
    wchar_t loaded[MAX_PATH] = {};
    GetModuleFileNameW(GetModuleHandleW(L"vqx.dll"), loaded, MAX_PATH);
    const std::wstring copy = scratch / L"vqx_private_copy.dll";
    ASSERT_TRUE(CopyFileW(loaded, copy.c_str(), FALSE));
    const std::wstring log = scratch / L"private.log";

    CountingListener host;
    HMODULE module = LoadLibraryW(copy.c_str());
    ASSERT_NE(module, nullptr);
    const auto registerOutput = Lookup<bool(VQX_CALL*)(vqx::VQXTraceListener*)>(module, "VQXRegisterTraceListener");
    const auto setPath = Lookup<bool(VQX_CALL*)(const wchar_t*)>(module, "vqxTraceSetFilePath");
    const auto getPath = Lookup<vqx::int32(VQX_CALL*)(wchar_t*, vqx::int32)>(module, "vqxTraceGetFilePath");
    const auto trace = Lookup<void(VQX_CDECL*)(vqx::int32, const wchar_t*, const wchar_t*, ...)>(module, "vqxTrace");
    const auto disableConsole = Lookup<bool(VQX_CALL*)()>(module, "vqxTraceDisableConsole");
    ASSERT_TRUE(registerOutput && setPath && getPath && trace && disableConsole);

    EXPECT_TRUE(disableConsole());  // the copy's own console output, enabled since its load
    EXPECT_TRUE(registerOutput(&host));
    ASSERT_TRUE(setPath(log.c_str()));
    trace(0, L"Copy", L"%s %d", L"from the copy", 1);
    EXPECT_EQ(host.calls, 1);
    // The copy's state is its own: this process's core still has its default path.
    EXPECT_NE(vqxTraceGetFilePath(nullptr, 0), getPath(nullptr, 0));
    EXPECT_TRUE(FreeLibrary(module));

    EXPECT_EQ(host.calls, 1);  // dropped from the list without being called
    const std::wstring text = ReadLogText(log);
    const std::wstring tail = L" : Copy : from the copy 1\r\n";
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    EXPECT_TRUE(DeleteFileW(log.c_str()));  // the unload closed the file
}
