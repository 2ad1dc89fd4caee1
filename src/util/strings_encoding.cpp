// Conversions between UTF-16 and UTF-8 (the system converter) and between UTF-16 and the
// C library's multibyte encoding (the current C locale).
#include <vqx/strings.h>

#include "util/thread_locale.h"

#include <windows.h>

#include <cstdlib>

namespace vqx {
namespace {

constexpr UINT kUtf8CodePage = 65001;

// The input is handed over NUL-terminated, so conversion ends at its first NUL.
vqx_string WideToUtf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(kUtf8CodePage, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return vqx_string();
    vqx_string result(static_cast<size_t>(size), '\0');
    const int converted = WideCharToMultiByte(kUtf8CodePage, 0, text, -1, &result[0], size, nullptr, nullptr);
    result.resize(converted > 0 ? static_cast<size_t>(converted - 1) : 0);
    return result;
}

vqx_wstring Utf8ToWide(const char* text) {
    const int size = MultiByteToWideChar(kUtf8CodePage, 0, text, -1, nullptr, 0);
    if (size <= 0) return vqx_wstring();
    vqx_wstring result(static_cast<size_t>(size), L'\0');
    const int converted = MultiByteToWideChar(kUtf8CodePage, 0, text, -1, &result[0], size);
    result.resize(converted > 0 ? static_cast<size_t>(converted - 1) : 0);
    return result;
}

// The C library answers (size_t)-1 for a character it cannot represent; that reads as empty.
constexpr size_t kConversionError = static_cast<size_t>(-1);

}  // namespace

extern "C" {

vqx_string VQX_CALL vqx_from_unicode_to_utf8(const vqx_wstring& text) {
    if (text.empty()) return vqx_string();
    thread_locale::EnablePerThreadLocale();
    return WideToUtf8(text.c_str());
}

vqx_wstring VQX_CALL vqx_from_utf8_to_unicode(const vqx_string& text) {
    if (text.empty()) return vqx_wstring();
    thread_locale::EnablePerThreadLocale();
    return Utf8ToWide(text.c_str());
}

vqx_string VQX_CALL vqx_from_unicode_to_multibyte(const vqx_wstring& text) {
    const size_t size = std::wcstombs(nullptr, text.c_str(), 0);
    if (size == 0 || size == kConversionError) return vqx_string();
    vqx_string result(size + 1, '\0');
    const size_t converted = std::wcstombs(&result[0], text.c_str(), size + 1);
    result.resize(converted == kConversionError ? 0 : converted);
    return result;
}

vqx_wstring VQX_CALL vqx_from_multibyte_to_unicode(const vqx_string& text) {
    const size_t size = std::mbstowcs(nullptr, text.c_str(), 0);
    if (size == 0 || size == kConversionError) return vqx_wstring();
    vqx_wstring result(size + 1, L'\0');
    const size_t converted = std::mbstowcs(&result[0], text.c_str(), size + 1);
    result.resize(converted == kConversionError ? 0 : converted);
    return result;
}

}  // extern "C"
}  // namespace vqx
