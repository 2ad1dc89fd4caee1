// Build switches shared by every public header: export/import markers, calling conventions and
// the fixed-width integer types. Hosts include <vqx/vqx.h>; this header comes with it.
#pragma once

#include <cstddef>
#include <cstdint>

#if !defined(_WIN32) || defined(_WIN64)
#error "vqx is a 32-bit Windows library"
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
