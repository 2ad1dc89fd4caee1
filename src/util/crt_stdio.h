// The C runtime's own (msvcrt) formatted scanning and printing, reached under names of our own.
// libstdc++ turns on MinGW's C99 replacements for the standard-named functions, which differ from
// the runtime in "%I64d" handling, infinities, hexadecimal floats and wide "%s"; every format path
// of the library that must read or write text like the runtime does goes through these.
// Thread rules: the runtime functions are thread-safe; nothing here keeps state.
#pragma once

#include <cstddef>

extern "C" {
// sscanf / swscanf of msvcrt.dll: scanf return conventions (EOF when the input ends before the
// first conversion).
int __cdecl vqx_crt_sscanf(const char* input, const char* format, ...) __asm__("_sscanf");
int __cdecl vqx_crt_swscanf(const wchar_t* input, const wchar_t* format, ...) __asm__("_swscanf");
// _snprintf / _snwprintf of msvcrt.dll: write at most `count` units, add the NUL only when it
// fits, and return -1 when the text was cut.
int __cdecl vqx_crt_snprintf(char* buffer, std::size_t count, const char* format, ...) __asm__("__snprintf");
int __cdecl vqx_crt_snwprintf(wchar_t* buffer, std::size_t count, const wchar_t* format, ...) __asm__("__snwprintf");
}

namespace vqx::crt {

// Prints into a fixed array and always terminates it: a cut rendering keeps the first N - 1
// units. Never writes outside the array.
template <std::size_t N, class... Args>
void FormatInto(char (&buffer)[N], const char* format, Args... args) {
    vqx_crt_snprintf(buffer, N - 1, format, args...);
    buffer[N - 1] = '\0';
}

template <std::size_t N, class... Args>
void FormatInto(wchar_t (&buffer)[N], const wchar_t* format, Args... args) {
    vqx_crt_snwprintf(buffer, N - 1, format, args...);
    buffer[N - 1] = L'\0';
}

}  // namespace vqx::crt
