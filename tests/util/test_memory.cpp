// The three allocators and the debugger text output.
#include <vqx/vqx.h>

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>

TEST(Memory, HeapAllocatorIsTheRuntimeHeap) {
    void* block = vqx_alloc(100);
    ASSERT_NE(nullptr, block);
    std::memset(block, 0xAB, 100);
    // Same heap as the runtime's malloc/free, so either side may release.
    void* grown = realloc(block, 200);
    ASSERT_NE(nullptr, grown);
    EXPECT_EQ(0xAB, static_cast<unsigned char*>(grown)[99]);
    vqx_free(grown);
    vqx_free(nullptr);
    void* fromHost = malloc(16);
    vqx_free(fromHost);
}

TEST(Memory, StringsCrossTheBoundary) {
    vqx::vqx_string text = vqx::vqx_from_string_to_hex_string(vqx::vqx_string(64, 'x'));
    EXPECT_EQ(128u, text.size());
    text.append(1000, 'y');  // reallocated by the host, released by the host's allocator
    EXPECT_EQ(1128u, text.size());
}

TEST(Memory, AlignedAllocatorHonoursTheAlignment) {
    for (size_t alignment : {16u, 64u, 4096u}) {
        void* block = vqx_aligned_alloc(1000, alignment);
        ASSERT_NE(nullptr, block);
        EXPECT_EQ(0u, reinterpret_cast<std::uintptr_t>(block) % alignment);
        std::memset(block, 1, 1000);
        vqx_aligned_free(block);
    }
    vqx_aligned_free(nullptr);
}

TEST(Memory, VirtualAllocatorCommitsReadWritePages) {
    char* block = static_cast<char*>(vqx_virtual_alloc(10000));
    ASSERT_NE(nullptr, block);
    EXPECT_EQ(0u, reinterpret_cast<std::uintptr_t>(block) % 4096);
    EXPECT_EQ(0, block[9999]);  // committed pages read as zero
    block[0] = 1;
    block[9999] = 2;
    MEMORY_BASIC_INFORMATION info{};
    ASSERT_NE(0u, VirtualQuery(block, &info, sizeof info));
    EXPECT_EQ(static_cast<DWORD>(MEM_COMMIT), info.State);
    EXPECT_EQ(static_cast<DWORD>(PAGE_READWRITE), info.Protect);
    vqx_virtual_free(block);
    ASSERT_NE(0u, VirtualQuery(block, &info, sizeof info));
    EXPECT_EQ(static_cast<DWORD>(MEM_FREE), info.State);
}

namespace {

std::string g_debugText;

LONG CALLBACK CaptureDebugText(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    if (record->ExceptionCode == DBG_PRINTEXCEPTION_C && record->NumberParameters >= 2) {
        g_debugText.append(reinterpret_cast<const char*>(record->ExceptionInformation[1]),
                           static_cast<size_t>(record->ExceptionInformation[0]));
        return EXCEPTION_CONTINUE_EXECUTION;
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

TEST(Memory, DebugTraceAddsNothing) {
    void* handler = AddVectoredExceptionHandler(1, &CaptureDebugText);
    ASSERT_NE(nullptr, handler);
    g_debugText.clear();
    vqx_debug_trace(L"vqx debug text");
    RemoveVectoredExceptionHandler(handler);
    // The length reported may include the terminator; the text itself has no line end added.
    EXPECT_EQ(0u, g_debugText.find("vqx debug text"));
    EXPECT_EQ(std::string::npos, g_debugText.find('\n'));
}
