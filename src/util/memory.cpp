// Allocation through the C runtime's heap, its aligned heap and the virtual-memory manager.
#include <vqx/memory.h>

#include <windows.h>

#include <cstdlib>
#include <malloc.h>

extern "C" {

void* VQX_CALL vqx_alloc(size_t count) { return std::malloc(count); }

void VQX_CALL vqx_free(void* ptr) { std::free(ptr); }

void* VQX_CALL vqx_aligned_alloc(size_t count, size_t alignment) {
    return _aligned_malloc(count, alignment);
}

void VQX_CALL vqx_aligned_free(void* ptr) { _aligned_free(ptr); }

void* VQX_CALL vqx_virtual_alloc(size_t count) {
    return VirtualAlloc(nullptr, count, MEM_COMMIT, PAGE_READWRITE);
}

void VQX_CALL vqx_virtual_free(void* ptr) { VirtualFree(ptr, 0, MEM_RELEASE); }

void VQX_CALL vqx_debug_trace(const wchar_t* text) { OutputDebugStringW(text); }

}  // extern "C"
