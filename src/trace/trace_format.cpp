// The formatting trace functions: wide (vqxTrace, vqxTraceVaW) and narrow (vqxTraceVa). Formatting
// uses the C runtime's own printf family, where %s in a wide format takes a wide string.
#include <vqx/strings.h>
#include <vqx/trace.h>

#include "abi/win32_resource.h"
#include "trace/trace_core.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <wchar.h>

namespace {

using vqx::uint32;
using vqx::uint64;

template <class Char>
using TextBuffer = win32::UniqueMalloc<Char>;

// A buffer of count characters. The byte count saturates at 0xFFFFFFFF instead of wrapping, so an
// absurd length ends in std::bad_alloc rather than in a short buffer.
template <class Char>
TextBuffer<Char> AllocateText(uint32 count) {
    const uint64 bytes = static_cast<uint64>(count) * sizeof(Char);
    const size_t clamped = bytes > 0xFFFFFFFFull ? size_t{0xFFFFFFFFu} : static_cast<size_t>(bytes);
    void* memory = std::malloc(clamped);
    if (memory == nullptr) throw std::bad_alloc();
    return TextBuffer<Char>(static_cast<Char*>(memory));
}

// Formats into a new buffer; null when the format is null or rejected by the C library.
TextBuffer<wchar_t> FormatWide(const wchar_t* format, va_list args) {
    if (format == nullptr) return {};
    va_list measure;
    va_copy(measure, args);
    const int length = _vscwprintf(format, measure);
    va_end(measure);
    if (length < 0) return {};
    const uint32 count = static_cast<uint32>(length) + 1;
    TextBuffer<wchar_t> text = AllocateText<wchar_t>(count);
    va_list fill;
    va_copy(fill, args);
    _vsnwprintf(text.Get(), count, format, fill);
    va_end(fill);
    text.Get()[count - 1] = L'\0';
    return text;
}

TextBuffer<char> FormatNarrow(const char* format, va_list args) {
    if (format == nullptr) return {};
    va_list measure;
    va_copy(measure, args);
    const int length = _vscprintf(format, measure);
    va_end(measure);
    if (length < 0) return {};
    const uint32 count = static_cast<uint32>(length) + 1;
    TextBuffer<char> text = AllocateText<char>(count);
    va_list fill;
    va_copy(fill, args);
    _vsnprintf(text.Get(), count, format, fill);  // the runtime's own, bounded by the measured size
    va_end(fill);
    text.Get()[count - 1] = '\0';
    return text;
}

}  // namespace

extern "C" {

void VQX_CALL vqxTraceVaW(vqx::int32 level, const wchar_t* facility, const wchar_t* format, va_list args) {
    const TextBuffer<wchar_t> message = FormatWide(format, args);
    vqx::detail::TraceDispatch(level, facility, message.Get());
}

void VQX_CDECL vqxTrace(vqx::int32 level, const wchar_t* facility, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    vqxTraceVaW(level, facility, format, args);
    va_end(args);
}

// The narrow facility and message are converted with the C library's multibyte encoding.
void VQX_CALL vqxTraceVa(vqx::int32 level, const char* facility, const char* format, va_list args) {
    const TextBuffer<char> message = FormatNarrow(format, args);
    if (!message) return;
    const vqx::vqx_wstring wideFacility =
        vqx::vqx_from_multibyte_to_unicode(vqx::vqx_string(facility != nullptr ? facility : ""));
    const vqx::vqx_wstring wideMessage = vqx::vqx_from_multibyte_to_unicode(vqx::vqx_string(message.Get()));
    vqx::detail::TraceDispatch(level, wideFacility.c_str(), wideMessage.c_str());
}

}  // extern "C"
