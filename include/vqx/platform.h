// Build switches shared by every public header: the host toolchain check, export/import markers,
// calling conventions and the fixed-width integer types. Hosts include <vqx/vqx.h>; this header
// comes with it (every public header includes it).
#pragma once

#if !defined(_WIN32) || defined(_WIN64)
#error "vqx is a 32-bit Windows library"
#endif

// vqx.dll's C++ interface follows the ABI of MinGW-w64's GCC for 32-bit Windows: the layout of its
// classes with virtual and virtually inherited interfaces, the std::basic_string of libstdc++ in its
// parameters and results, and exceptions (std::bad_alloc) unwound by libgcc's DWARF-2 unwinder. A host
// compiled with another ABI, C++ library or unwinder would build against these headers and then fail
// at run time, so its build stops here. Such a host can still call the functions that take only C
// types, declared on its own side (README.md, "Which hosts can use vqx.dll").
// The compiler first (before any standard header, which an MSVC-style compiler may not find):
// MSVC and clang-cl define _MSC_VER and use the Microsoft C++ ABI.
#if defined(_MSC_VER) || !defined(__GNUC__) || !defined(__MINGW32__)
#error "vqx.dll's C++ interface has the MinGW-w64 GCC ABI: build this host with MinGW-w64 GCC (README.md)"
#endif

#include <cstddef>
#include <cstdint>

// Then the C++ library and the unwinder, which the standard headers name.
#if defined(_LIBCPP_VERSION) || !defined(__GLIBCXX__)
#error "vqx.dll passes libstdc++ strings and exceptions: this host must use libstdc++, not libc++ (README.md)"
#endif
#if defined(__USING_SJLJ_EXCEPTIONS__)
#error "vqx.dll unwinds with DWARF-2 (libgcc_s_dw2-1.dll): this host's GCC uses SJLJ and cannot catch (README.md)"
#endif

// Functions and classes of vqx.dll. Inside the library the free functions are exported through
// the module-definition file (undecorated names), the classes through dllexport.
#if defined(VQX_BUILDING_DLL)
#define VQX_API
#define VQX_CLASS_API __declspec(dllexport)
#else
#define VQX_API __declspec(dllimport)
#define VQX_CLASS_API __declspec(dllimport)
#endif

// The platform's standard calling convention (the callee removes its arguments): every interface
// operation and most exported functions use it.
#define VQX_CALL __stdcall
// The C calling convention (the caller removes the arguments), for variadic functions.
#define VQX_CDECL __cdecl

namespace vqx {
using int32 = std::int32_t;
using uint32 = std::uint32_t;
using int64 = std::int64_t;
using uint64 = std::uint64_t;
using uint8 = std::uint8_t;
}  // namespace vqx
