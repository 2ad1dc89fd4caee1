// Letter case through the global locale's ctype facets, and case-insensitive search and compare.
#include <vqx/strings.h>

#include <locale>

namespace vqx {
namespace {

enum class Case { Lower, Upper };

template <class String, Case Wanted>
String ChangeCase(const String& text) {
    using Char = typename String::value_type;
    String result(text);
    if (result.empty()) return result;
    const std::ctype<Char>& facet = std::use_facet<std::ctype<Char>>(std::locale());
    Char* const begin = &result[0];
    if (Wanted == Case::Lower) {
        facet.tolower(begin, begin + result.size());
    } else {
        facet.toupper(begin, begin + result.size());
    }
    return result;
}

}  // namespace

// Overloads keep C++ linkage; exported by their mangled names.
__declspec(dllexport) vqx_string VQX_CALL vqx_string_to_lower(const vqx_string& text) {
    return ChangeCase<vqx_string, Case::Lower>(text);
}

__declspec(dllexport) vqx_wstring VQX_CALL vqx_string_to_lower(const vqx_wstring& text) {
    return ChangeCase<vqx_wstring, Case::Lower>(text);
}

__declspec(dllexport) vqx_string VQX_CALL vqx_string_to_upper(const vqx_string& text) {
    return ChangeCase<vqx_string, Case::Upper>(text);
}

__declspec(dllexport) vqx_wstring VQX_CALL vqx_string_to_upper(const vqx_wstring& text) {
    return ChangeCase<vqx_wstring, Case::Upper>(text);
}

extern "C" {

uint32 VQX_CALL vqx_string_ci_find(const vqx_wstring& text, const vqx_wstring& pattern, uint32 offset) {
    return static_cast<uint32>(vqx_string_to_lower(text).find(vqx_string_to_lower(pattern), offset));
}

uint32 VQX_CALL vqx_string_ci_rfind(const vqx_wstring& text, const vqx_wstring& pattern, uint32 offset) {
    return static_cast<uint32>(vqx_string_to_lower(text).rfind(vqx_string_to_lower(pattern), offset));
}

uint32 VQX_CALL vqx_string_ci_compare(const vqx_wstring& a, const vqx_wstring& b) {
    const int order = vqx_string_to_lower(a).compare(vqx_string_to_lower(b));
    if (order < 0) return 0xFFFFFFFFu;
    return order > 0 ? 1u : 0u;
}

}  // extern "C"
}  // namespace vqx
