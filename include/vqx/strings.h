// The framework's allocator and string types, and the text conversions between UTF-16, UTF-8,
// multibyte, hexadecimal and percent-encoded forms.
// Ownership: every function returns a new string by value; strings use vqx_alloc/vqx_free, so a
// host may release what the library allocated and the other way round.
// Thread rules: all functions are re-entrant; the UTF-8 converters switch the calling thread to
// per-thread locale mode as a lasting side effect.
#pragma once

#include <vqx/memory.h>

#include <limits>
#include <string>

namespace vqx {

template <class T>
class vqx_allocator {
public:
    using value_type = T;
    vqx_allocator() noexcept = default;
    template <class U>
    vqx_allocator(const vqx_allocator<U>&) noexcept {}

    T* allocate(size_t count) {
        if (count > std::numeric_limits<size_t>::max() / sizeof(T)) throw std::bad_alloc();
        void* memory = vqx_alloc(count * sizeof(T));
        if (memory == nullptr) throw std::bad_alloc();
        return static_cast<T*>(memory);
    }
    void deallocate(T* pointer, size_t) noexcept { vqx_free(pointer); }

    template <class U>
    bool operator==(const vqx_allocator<U>&) const noexcept {
        return true;
    }
    template <class U>
    bool operator!=(const vqx_allocator<U>&) const noexcept {
        return false;
    }
};

using vqx_string = std::basic_string<char, std::char_traits<char>, vqx_allocator<char>>;
using vqx_wstring = std::basic_string<wchar_t, std::char_traits<wchar_t>, vqx_allocator<wchar_t>>;

// Not found, as positions are reported.
constexpr uint32 vqx_npos = 0xFFFFFFFFu;

extern "C" {
// Conversion stops at the first NUL; text the converter rejects gives an empty result.
VQX_API vqx_string VQX_CALL vqx_from_unicode_to_utf8(const vqx_wstring& text);
VQX_API vqx_wstring VQX_CALL vqx_from_utf8_to_unicode(const vqx_string& text);
// The C library's current multibyte encoding (wcstombs / mbstowcs); a character the encoding
// cannot represent makes the result empty.
VQX_API vqx_string VQX_CALL vqx_from_unicode_to_multibyte(const vqx_wstring& text);
VQX_API vqx_wstring VQX_CALL vqx_from_multibyte_to_unicode(const vqx_string& text);
// Each byte as two upper-case hexadecimal digits, and back.
VQX_API vqx_string VQX_CALL vqx_from_string_to_hex_string(const vqx_string& bytes);
VQX_API vqx_string VQX_CALL vqx_from_hex_string_to_string(const vqx_string& hex);
// '/' to '\' and '\' to '/'.
VQX_API vqx_wstring VQX_CALL vqx_convert_path_to_os_accepted_path(const vqx_wstring& path);
VQX_API vqx_wstring VQX_CALL vqx_convert_path_to_url_accepted_path(const vqx_wstring& path);
// Percent-encoded UTF-8; escape_query also escapes '&' and '='.
VQX_API vqx_string VQX_CALL vqx_from_unicode_to_url_utf8(const vqx_wstring& path, bool escape_query);
// "%XY" decodes with strtol base 16 (a '%' near the end uses the digits present, never reading
// past the input); an escape decoding to 0 ends the text; '+' stays '+'.
VQX_API vqx_wstring VQX_CALL vqx_from_url_utf8_to_unicode(const vqx_string& url);
// Case-insensitive search (vqx_npos when absent; rfind offset vqx_npos = from the end) and
// three-way compare (0xFFFFFFFF, 0, 1).
VQX_API uint32 VQX_CALL vqx_string_ci_find(const vqx_wstring& text, const vqx_wstring& pattern, uint32 offset);
VQX_API uint32 VQX_CALL vqx_string_ci_rfind(const vqx_wstring& text, const vqx_wstring& pattern, uint32 offset);
VQX_API uint32 VQX_CALL vqx_string_ci_compare(const vqx_wstring& a, const vqx_wstring& b);
}

// Case change with the ctype facet of the global locale; two overloads each, so these keep
// C++ linkage (an export name cannot carry two overloads).
VQX_API vqx_string VQX_CALL vqx_string_to_lower(const vqx_string& text);
VQX_API vqx_wstring VQX_CALL vqx_string_to_lower(const vqx_wstring& text);
VQX_API vqx_string VQX_CALL vqx_string_to_upper(const vqx_string& text);
VQX_API vqx_wstring VQX_CALL vqx_string_to_upper(const vqx_wstring& text);

}  // namespace vqx
