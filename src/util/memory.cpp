// Allocation through the C runtime's heap, its aligned heap and the virtual-memory manager.
#include <vqx/memory.h>

#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <malloc.h>

namespace {

// The runtime's aligned allocation takes one block of the count, the alignment (at least a
// pointer's size) and a pointer-sized header. A total beyond the range of size_t (32 bits here)
// would wrap around to a small block, so such requests are refused before they reach the runtime.
bool PaddedTotalFits(size_t count, size_t alignment) {
    constexpr size_t kHeader = sizeof(void*);
    const size_t padding = alignment < kHeader ? kHeader : alignment;
    return padding <= SIZE_MAX - kHeader && count <= SIZE_MAX - kHeader - padding;
}

}  // namespace

extern "C" {

void* VQX_CALL vqx_alloc(size_t count) {
    return std::malloc(count);
}

void VQX_CALL vqx_free(void* ptr) {
    std::free(ptr);
}

void* VQX_CALL vqx_aligned_alloc(size_t count, size_t alignment) {
    if (!PaddedTotalFits(count, alignment)) return nullptr;
    return _aligned_malloc(count, alignment);
}

void VQX_CALL vqx_aligned_free(void* ptr) {
    _aligned_free(ptr);
}

void* VQX_CALL vqx_virtual_alloc(size_t count) {
    return VirtualAlloc(nullptr, count, MEM_COMMIT, PAGE_READWRITE);
}

void VQX_CALL vqx_virtual_free(void* ptr) {
    VirtualFree(ptr, 0, MEM_RELEASE);
}

void VQX_CALL vqx_debug_trace(const wchar_t* text) {
    OutputDebugStringW(text);
}

}  // extern "C"
