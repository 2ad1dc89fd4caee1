#include "variant_text.h"

namespace vqxcap {

std::wstring VariantText(const vqx::VQXVARIANT& value) {
    if (value.type == vqx::VQX_VARIANT_EMPTY) return L"";
    if (value.type == vqx::VQX_VARIANT_INTERFACE) return L"(interface)";
    vqx::VQXVariant text;
    if (vqx::VQXVariantChangeType(&text, &value, vqx::VQX_VARIANT_WSTRING) != vqx::VQX_OK ||
        text.wstringValue == nullptr) {
        return L"?";
    }
    return text.wstringValue;
}

const wchar_t* VariantTypeName(vqx::VQX_VARIANT_TYPE type) {
    switch (type) {
        case vqx::VQX_VARIANT_EMPTY:
            return L"empty";
        case vqx::VQX_VARIANT_BOOL:
            return L"bool";
        case vqx::VQX_VARIANT_INT64:
            return L"int64";
        case vqx::VQX_VARIANT_DOUBLE:
            return L"double";
        case vqx::VQX_VARIANT_STRING:
            return L"string";
        case vqx::VQX_VARIANT_WSTRING:
            return L"wstring";
        case vqx::VQX_VARIANT_INTERFACE:
            return L"interface";
    }
    return L"?";
}

}  // namespace vqxcap
