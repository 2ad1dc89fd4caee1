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

// The C runtime's own printf family, measuring and then filling up to a measured size.
int MeasureFormatted(const wchar_t* format, va_list args) {
    return _vscwprintf(format, args);
}
int MeasureFormatted(const char* format, va_list args) {
    return _vscprintf(format, args);
}
void FillFormatted(wchar_t* text, uint32 count, const wchar_t* format, va_list args) {
    _vsnwprintf(text, count, format, args);
}
void FillFormatted(char* text, uint32 count, const char* format, va_list args) {
    _vsnprintf(text, count, format, args);
}

// Formats into a new buffer; null when the format is null or rejected by the C library.
template <class Char>
TextBuffer<Char> Format(const Char* format, va_list args) {
    if (format == nullptr) return {};
    va_list measure;
    va_copy(measure, args);
    const int length = MeasureFormatted(format, measure);
    va_end(measure);
    if (length < 0) return {};
    const uint32 count = static_cast<uint32>(length) + 1;
    TextBuffer<Char> text = AllocateText<Char>(count);
    va_list fill;
    va_copy(fill, args);
    FillFormatted(text.Get(), count, format, fill);
    va_end(fill);
    text.Get()[count - 1] = Char{0};
    return text;
}

}  // namespace

extern "C" {

void VQX_CALL vqxTraceVaW(vqx::int32 level, const wchar_t* facility, const wchar_t* format, va_list args) {
    const TextBuffer<wchar_t> message = Format(format, args);
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
    const TextBuffer<char> message = Format(format, args);
    if (!message) return;
    const vqx::vqx_wstring wideFacility =
        vqx::vqx_from_multibyte_to_unicode(vqx::vqx_string(facility != nullptr ? facility : ""));
    const vqx::vqx_wstring wideMessage = vqx::vqx_from_multibyte_to_unicode(vqx::vqx_string(message.Get()));
    vqx::detail::TraceDispatch(level, wideFacility.c_str(), wideMessage.c_str());
}

}  // extern "C"
