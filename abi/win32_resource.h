// Owners of Win32 and C runtime resources, in the spirit of WIL's unique_any: one generic owner,
// parameterised by the handle type, the function that closes a handle and the value that means
// "nothing held", and one line per kind of resource. vqx.dll and the stand-in drivers both use it.
// Ownership: an owner closes what it holds when it is destroyed or reset; a move hands the
// resource on, copies do not exist. Thread rules: none of its own (used like the handle it holds).
// The C runtime's kinds also compile off Windows (the stand-in's file source is built natively
// for development checks); the Win32 kinds exist only on Windows.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <type_traits>
#include <utility>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#endif

namespace win32 {

// Owns one resource: Close(handle) releases it; kInvalid, converted to Handle, means none held.
template <class Handle, auto Close, std::intptr_t kInvalid = 0>
class UniqueResource {
public:
    static Handle Invalid() {
        if constexpr (std::is_pointer_v<Handle>) {
            return reinterpret_cast<Handle>(kInvalid);
        } else {
            return static_cast<Handle>(kInvalid);
        }
    }

    // Closes a resource that a public type keeps as a raw member (its layout is documented, so
    // it cannot hold an owner) and leaves the member at the invalid value.
    static void CloseRaw(Handle& raw) { CloseIfValid(std::exchange(raw, Invalid())); }

    UniqueResource() = default;
    explicit UniqueResource(Handle handle) : m_handle(handle) {}
    UniqueResource(UniqueResource&& other) noexcept : m_handle(other.Detach()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) Reset(other.Detach());
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    ~UniqueResource() { Reset(); }

    Handle Get() const { return m_handle; }
    explicit operator bool() const { return m_handle != Invalid(); }

    // Closes what is held, if anything, and holds `handle` instead.
    void Reset(Handle handle = Invalid()) { CloseIfValid(std::exchange(m_handle, handle)); }

    // Gives the resource up without closing it; the owner is left empty.
    Handle Detach() { return std::exchange(m_handle, Invalid()); }

private:
    static void CloseIfValid(Handle handle) {
        if (handle != Invalid()) Close(handle);
    }

    Handle m_handle = Invalid();
};

// The kinds. Each names the call that closes it and, when it is not null or 0, its invalid value.
template <class T>
using UniqueMalloc = UniqueResource<T*, std::free>;          // a block from malloc
using UniqueFile = UniqueResource<std::FILE*, std::fclose>;  // a stream from fopen/_wfopen

#ifdef _WIN32
using UniqueHandle = UniqueResource<HANDLE, CloseHandle>;   // a kernel object (event, mutex ...); null when none
using UniqueModule = UniqueResource<HMODULE, FreeLibrary>;  // a reference to a module from LoadLibrary
using UniqueFindHandle = UniqueResource<std::intptr_t, _findclose, -1>;         // a search from _wfindfirst64
using UniqueExclusiveLock = UniqueResource<SRWLOCK*, ReleaseSRWLockExclusive>;  // an SRW lock held exclusively

// Takes `lock` exclusively; the owner returned releases it.
[[nodiscard]] inline UniqueExclusiveLock AcquireExclusive(SRWLOCK& lock) {
    AcquireSRWLockExclusive(&lock);
    return UniqueExclusiveLock(&lock);
}
#endif

}  // namespace win32
