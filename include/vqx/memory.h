// Allocation, clocks and numeric helpers.
// Ownership: memory goes back to the release function of the allocator it came from.
// Thread rules: every function may be called from any thread.
#pragma once

#include <vqx/platform.h>

extern "C" {
VQX_API void* VQX_CALL vqx_alloc(size_t count);  // malloc (0: runtime's choice)
VQX_API void VQX_CALL vqx_free(void* ptr);       // free
VQX_API void* VQX_CALL vqx_aligned_alloc(size_t count, size_t alignment);
VQX_API void VQX_CALL vqx_aligned_free(void* ptr);
VQX_API void* VQX_CALL vqx_virtual_alloc(size_t count);  // committed, read/write
VQX_API void VQX_CALL vqx_virtual_free(void* ptr);

// Whole seconds since 1970-01-01 UTC.
VQX_API vqx::int64 VQX_CALL vqx_get_current_utc_time();
// Seconds since system start from the millisecond tick count (wraps after 2^32 ms).
VQX_API double VQX_CALL vqx_clock();
// Upper 32 bits: low 32 bits of the UTC seconds; lower 32 bits: milliseconds (0..999).
VQX_API vqx::uint64 VQX_CALL get_time_in_seconds_with_fraction();
// 100-nanosecond units since an arbitrary origin; only differences are meaningful.
VQX_API vqx::int64 VQX_CALL vqx_high_precision_clock();
// Passes the text unchanged to the debugger.
VQX_API void VQX_CALL vqx_debug_trace(const wchar_t* text);

VQX_API vqx::int32 VQX_CALL vqx_isnan(double value);
VQX_API vqx::int32 VQX_CALL vqx_isinf(double value);
// Continued-fraction approximation with |numerator|, |denominator| <= max. NaN gives 0/0,
// +-infinity +-1/0, magnitudes from about 2^62 0/0; null output pointers: nothing is written.
VQX_API void VQX_CALL vqx_double2fraction(double value, vqx::int32 max, vqx::int32* numerator, vqx::int32* denominator);
}
