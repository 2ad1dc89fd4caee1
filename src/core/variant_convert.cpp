// VQXVariantChangeType: conversion of a variant's value to another kind. Texts are scanned and
// printed with the C runtime's own formats ("%I64d", "0x%I64x", "%lf"); 8-bit text meets wide
// text as UTF-8.
#include <vqx/variant.h>

#include <vqx/strings.h>

#include "util/crt_stdio.h"

#include <cwchar>
#include <cstring>

namespace vqx {
namespace {

// Double renderings of "%lf" go into buffers of this many units, NUL included; longer
// renderings (magnitudes near the top of the double range) are cut.
constexpr size_t kDoubleTextUnits = 255;

// Texts of the scan formats, narrow and wide.
template <class Char>
struct ScanFormats;

template <>
struct ScanFormats<char> {
    static constexpr const char* kHexInt64 = "0x%I64x";
    static constexpr const char* kDecimalInt64 = "%I64d";
    static constexpr const char* kDouble = "%lf";
    static int Scan(const char* text, const char* format, void* out) { return vqx_crt_sscanf(text, format, out); }
};

template <>
struct ScanFormats<wchar_t> {
    static constexpr const wchar_t* kHexInt64 = L"0x%I64x";
    static constexpr const wchar_t* kDecimalInt64 = L"%I64d";
    static constexpr const wchar_t* kDouble = L"%lf";
    static int Scan(const wchar_t* text, const wchar_t* format, void* out) {
        return vqx_crt_swscanf(text, format, out);
    }
};

// The blanks scanf skips before a conversion.
template <class Char>
bool IsScanBlank(Char c) {
    return c == Char(' ') || c == Char('\t') || c == Char('\n') || c == Char('\v') || c == Char('\f') ||
           c == Char('\r');
}

// True when only blanks follow `text`: the input ends before a conversion could start.
template <class Char>
bool OnlyBlanks(const Char* text) {
    while (IsScanBlank(*text))
        ++text;
    return *text == Char('\0');
}

// scanf's count: EOF means the text ended before any conversion, which counts as success with
// the initial value; 0 means nothing was converted and the text is rejected. Wine's msvcrt
// answers 0 where the text ends after blanks; that case is taken as the end of the text too,
// so both runtimes agree.
template <class Char>
bool ScanSucceeded(int converted, const Char* rest) {
    return converted != 0 || OnlyBlanks(rest);
}

// "0x" (lower-case x) selects hexadecimal, anything else decimal with blanks and sign.
template <class Char>
bool TextToInt64(const Char* text, int64& value) {
    using Formats = ScanFormats<Char>;
    value = 0;
    const bool hex = text[0] == Char('0') && text[1] == Char('x');
    const int converted = Formats::Scan(text, hex ? Formats::kHexInt64 : Formats::kDecimalInt64, &value);
    return ScanSucceeded(converted, hex ? text + 2 : text);
}

template <class Char>
bool TextToDouble(const Char* text, double& value) {
    value = 0.0;
    return ScanSucceeded(ScanFormats<Char>::Scan(text, ScanFormats<Char>::kDouble, &value), text);
}

bool SameText(const char* a, const char* b) {
    return std::strcmp(a, b) == 0;
}
bool SameText(const wchar_t* a, const wchar_t* b) {
    return std::wcscmp(a, b) == 0;
}

// Exactly the three spellings of each word; every other text goes through the int64 rule.
template <class Char>
bool TextToBool(const Char* text, bool& value, const Char* const (&trueWords)[3], const Char* const (&falseWords)[3]) {
    for (const Char* word : trueWords) {
        if (SameText(text, word)) {
            value = true;
            return true;
        }
    }
    for (const Char* word : falseWords) {
        if (SameText(text, word)) {
            value = false;
            return true;
        }
    }
    int64 number = 0;
    if (!TextToInt64(text, number)) return false;
    value = number != 0;
    return true;
}

bool TextToBool(const char* text, bool& value) {
    static const char* const kTrue[3] = {"true", "True", "TRUE"};
    static const char* const kFalse[3] = {"false", "False", "FALSE"};
    return TextToBool(text, value, kTrue, kFalse);
}

bool TextToBool(const wchar_t* text, bool& value) {
    static const wchar_t* const kTrue[3] = {L"true", L"True", L"TRUE"};
    static const wchar_t* const kFalse[3] = {L"false", L"False", L"FALSE"};
    return TextToBool(text, value, kTrue, kFalse);
}

// Truncation toward zero; NaN and values outside the signed 64-bit range give the lowest value.
int64 DoubleToInt64(double value) {
    if (!(value >= -9223372036854775808.0 && value < 9223372036854775808.0)) return INT64_MIN;
    return static_cast<int64>(value);
}

// A text kind whose pointer is null (left by a failed allocation) converts to nothing.
bool HasText(const VQXVARIANT& v) {
    return (v.type == VQX_VARIANT_STRING && v.stringValue != nullptr) ||
           (v.type == VQX_VARIANT_WSTRING && v.wstringValue != nullptr);
}

bool ReadBool(const VQXVARIANT& src, bool& out) {
    switch (src.type) {
        case VQX_VARIANT_INT64:
            out = src.int64Value != 0;
            return true;
        case VQX_VARIANT_DOUBLE:
            out = src.doubleValue != 0.0;
            return true;  // NaN reads as true
        case VQX_VARIANT_STRING:
            return HasText(src) && TextToBool(src.stringValue, out);
        case VQX_VARIANT_WSTRING:
            return HasText(src) && TextToBool(src.wstringValue, out);
        default:
            return false;
    }
}

bool ReadInt64(const VQXVARIANT& src, int64& out) {
    switch (src.type) {
        case VQX_VARIANT_BOOL:
            out = src.boolValue ? 1 : 0;
            return true;
        case VQX_VARIANT_DOUBLE:
            out = DoubleToInt64(src.doubleValue);
            return true;
        case VQX_VARIANT_STRING:
            return HasText(src) && TextToInt64(src.stringValue, out);
        case VQX_VARIANT_WSTRING:
            return HasText(src) && TextToInt64(src.wstringValue, out);
        default:
            return false;
    }
}

bool ReadDouble(const VQXVARIANT& src, double& out) {
    switch (src.type) {
        case VQX_VARIANT_BOOL:
            out = src.boolValue ? 1.0 : 0.0;
            return true;
        case VQX_VARIANT_INT64:
            out = static_cast<double>(src.int64Value);
            return true;
        case VQX_VARIANT_STRING:
            return HasText(src) && TextToDouble(src.stringValue, out);
        case VQX_VARIANT_WSTRING:
            return HasText(src) && TextToDouble(src.wstringValue, out);
        default:
            return false;
    }
}

bool ReadString(const VQXVARIANT& src, vqx_string& out) {
    switch (src.type) {
        case VQX_VARIANT_BOOL:
            out = src.boolValue ? "true" : "false";
            return true;
        case VQX_VARIANT_INT64: {
            char text[32];
            crt::FormatInto(text, "%I64d", src.int64Value);
            out = text;
            return true;
        }
        case VQX_VARIANT_DOUBLE: {
            char text[kDoubleTextUnits];
            crt::FormatInto(text, "%lf", src.doubleValue);
            out = text;
            return true;
        }
        case VQX_VARIANT_WSTRING:
            if (!HasText(src)) return false;
            out = vqx_from_unicode_to_utf8(vqx_wstring(src.wstringValue));
            return true;
        default:
            return false;
    }
}

bool ReadWString(const VQXVARIANT& src, vqx_wstring& out) {
    switch (src.type) {
        case VQX_VARIANT_BOOL:
            out = src.boolValue ? L"true" : L"false";
            return true;
        case VQX_VARIANT_INT64: {
            wchar_t text[32];
            crt::FormatInto(text, L"%I64d", src.int64Value);
            out = text;
            return true;
        }
        case VQX_VARIANT_DOUBLE: {
            wchar_t text[kDoubleTextUnits];
            crt::FormatInto(text, L"%lf", src.doubleValue);
            out = text;
            return true;
        }
        case VQX_VARIANT_STRING:
            if (!HasText(src)) return false;
            out = vqx_from_utf8_to_unicode(vqx_string(src.stringValue));
            return true;
        default:
            return false;
    }
}

// Reads the source completely, then stores into dest with the assign function of the target
// kind; the store's own result is not reported.
VQX_ERROR ConvertAndStore(VQXVARIANT* dest, const VQXVARIANT& src, VQX_VARIANT_TYPE target) {
    switch (target) {
        case VQX_VARIANT_BOOL: {
            bool value = false;
            if (!ReadBool(src, value)) return VQX_INVALID_PARAMETER;
            VQXVariantAssignBool(dest, value);
            return VQX_OK;
        }
        case VQX_VARIANT_INT64: {
            int64 value = 0;
            if (!ReadInt64(src, value)) return VQX_INVALID_PARAMETER;
            VQXVariantAssignInt64(dest, value);
            return VQX_OK;
        }
        case VQX_VARIANT_DOUBLE: {
            double value = 0.0;
            if (!ReadDouble(src, value)) return VQX_INVALID_PARAMETER;
            VQXVariantAssignDouble(dest, value);
            return VQX_OK;
        }
        case VQX_VARIANT_STRING: {
            vqx_string value;
            if (!ReadString(src, value)) return VQX_INVALID_PARAMETER;
            VQXVariantAssignString(dest, value.c_str());
            return VQX_OK;
        }
        case VQX_VARIANT_WSTRING: {
            vqx_wstring value;
            if (!ReadWString(src, value)) return VQX_INVALID_PARAMETER;
            VQXVariantAssignWString(dest, value.c_str());
            return VQX_OK;
        }
        default:
            return VQX_INVALID_PARAMETER;
    }
}

}  // namespace

extern "C" {

VQX_ERROR VQX_CALL VQXVariantChangeType(VQXVARIANT* dest, const VQXVARIANT* src, VQX_VARIANT_TYPE target) {
    if (dest == nullptr) return VQX_NULL_POINTER;
    if (src == nullptr) src = dest;
    if (src->type == target) return src == dest ? VQX_OK : VQXVariantCopy(dest, src);
    if (target >= VQX_VARIANT_INTERFACE) return VQX_INVALID_PARAMETER;
    if (target == VQX_VARIANT_EMPTY) return VQX_OK;
    return ConvertAndStore(dest, *src, target);
}

}  // extern "C"
}  // namespace vqx
