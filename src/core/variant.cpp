// Ownership of the variant record: initialise, clear, assign, copy and compare.
#include <vqx/variant.h>

#include "abi/win32_resource.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

namespace vqx {
namespace {

bool IsValidKind(VQX_VARIANT_TYPE kind) {
    return kind >= VQX_VARIANT_EMPTY && kind <= VQX_VARIANT_INTERFACE;
}

// Private copy of a NUL-terminated text in C runtime memory (null when memory is short).
template <class Char>
Char* DuplicateText(const Char* text) {
    const size_t units = std::char_traits<Char>::length(text) + 1;
    void* memory = std::malloc(units * sizeof(Char));
    if (memory != nullptr) std::memcpy(memory, text, units * sizeof(Char));
    return static_cast<Char*>(memory);
}

// Stores a text of kind 4 or 5. The copy is made before dest is cleared, so assigning a
// variant's own text to it is safe; a failed clear frees the copy and stores nothing.
template <class Char>
VQX_ERROR AssignText(VQXVARIANT* dest, const Char* value, VQX_VARIANT_TYPE kind, Char* VQXVARIANT::*member) {
    if (dest == nullptr || value == nullptr) return VQX_NULL_POINTER;
    win32::UniqueMalloc<Char> copy(DuplicateText(value));
    const VQX_ERROR cleared = VQXVariantClear(dest);
    if (cleared != VQX_OK) return cleared;
    dest->type = kind;
    dest->*member = copy.Detach();
    return dest->*member != nullptr ? VQX_OK : VQX_NOT_ALLOCATED;
}

// Clears dest and stores a value of one of the scalar kinds; a failed clear stores nothing.
template <class Value>
VQX_ERROR AssignScalar(VQXVARIANT* dest, Value value, VQX_VARIANT_TYPE kind, Value VQXVARIANT::*member) {
    if (dest == nullptr) return VQX_NULL_POINTER;
    const VQX_ERROR cleared = VQXVariantClear(dest);
    if (cleared != VQX_OK) return cleared;
    dest->type = kind;
    dest->*member = value;
    return VQX_OK;
}

bool TextsEqual(const char* a, const char* b) {
    if (a == nullptr || b == nullptr) return a == b;
    return std::strcmp(a, b) == 0;
}

bool TextsEqual(const wchar_t* a, const wchar_t* b) {
    if (a == nullptr || b == nullptr) return a == b;
    return std::wcscmp(a, b) == 0;
}

// Equality of two records of the same valid kind.
bool PayloadsEqual(const VQXVARIANT& a, const VQXVARIANT& b) {
    switch (a.type) {
        case VQX_VARIANT_BOOL:
            return std::memcmp(&a.boolValue, &b.boolValue, sizeof(bool)) == 0;
        case VQX_VARIANT_INT64:
            return a.int64Value == b.int64Value;
        case VQX_VARIANT_DOUBLE:
            return a.doubleValue == b.doubleValue;
        case VQX_VARIANT_STRING:
            return TextsEqual(a.stringValue, b.stringValue);
        case VQX_VARIANT_WSTRING:
            return TextsEqual(a.wstringValue, b.wstringValue);
        case VQX_VARIANT_INTERFACE:
            return a.pInterface == b.pInterface;
        default:
            return true;  // empty
    }
}

}  // namespace

extern "C" {

VQX_ERROR VQX_CALL VQXVariantInit(VQXVARIANT* variant) {
    if (variant == nullptr) return VQX_NULL_POINTER;
    variant->type = VQX_VARIANT_EMPTY;
    return VQX_OK;
}

VQX_ERROR VQX_CALL VQXVariantClear(VQXVARIANT* variant) {
    if (variant == nullptr) return VQX_NULL_POINTER;
    switch (variant->type) {
        case VQX_VARIANT_EMPTY:
        case VQX_VARIANT_BOOL:
        case VQX_VARIANT_INT64:
        case VQX_VARIANT_DOUBLE:
            break;
        case VQX_VARIANT_STRING:
            win32::UniqueMalloc<char>::CloseRaw(variant->stringValue);
            break;
        case VQX_VARIANT_WSTRING:
            win32::UniqueMalloc<wchar_t>::CloseRaw(variant->wstringValue);
            break;
        case VQX_VARIANT_INTERFACE:
            if (variant->pInterface != nullptr) {
                variant->pInterface->Release();
                variant->pInterface = nullptr;
            }
            break;
        default:
            return VQX_INVALID_PARAMETER;
    }
    variant->type = VQX_VARIANT_EMPTY;
    return VQX_OK;
}

VQX_ERROR VQX_CALL VQXVariantAssignBool(VQXVARIANT* dest, bool value) {
    return AssignScalar(dest, value, VQX_VARIANT_BOOL, &VQXVARIANT::boolValue);
}

VQX_ERROR VQX_CALL VQXVariantAssignInt64(VQXVARIANT* dest, int64 value) {
    return AssignScalar(dest, value, VQX_VARIANT_INT64, &VQXVARIANT::int64Value);
}

VQX_ERROR VQX_CALL VQXVariantAssignDouble(VQXVARIANT* dest, double value) {
    return AssignScalar(dest, value, VQX_VARIANT_DOUBLE, &VQXVARIANT::doubleValue);
}

VQX_ERROR VQX_CALL VQXVariantAssignString(VQXVARIANT* dest, const char* value) {
    return AssignText(dest, value, VQX_VARIANT_STRING, &VQXVARIANT::stringValue);
}

VQX_ERROR VQX_CALL VQXVariantAssignWString(VQXVARIANT* dest, const wchar_t* value) {
    return AssignText(dest, value, VQX_VARIANT_WSTRING, &VQXVARIANT::wstringValue);
}

// Clears dest first, so a failed clear returns with the object untouched (an object without
// references is not destroyed); then stores it and takes the new reference. Storing the interface
// dest already holds changes nothing: clearing first could drop its last reference.
VQX_ERROR VQX_CALL VQXVariantAssignInterface(VQXVARIANT* dest, VQXInterface* value) {
    if (dest == nullptr || value == nullptr) return VQX_NULL_POINTER;
    if (dest->type == VQX_VARIANT_INTERFACE && dest->pInterface == value) return VQX_OK;
    const VQX_ERROR cleared = VQXVariantClear(dest);
    if (cleared != VQX_OK) return cleared;
    dest->type = VQX_VARIANT_INTERFACE;
    dest->pInterface = value;
    value->Acquire();
    return VQX_OK;
}

VQX_ERROR VQX_CALL VQXVariantCopy(VQXVARIANT* dest, const VQXVARIANT* src) {
    if (dest == src) return VQX_OK;
    if (dest == nullptr || src == nullptr) return VQX_NULL_POINTER;
    switch (src->type) {
        case VQX_VARIANT_EMPTY:
            return VQXVariantClear(dest);
        case VQX_VARIANT_BOOL:
            return VQXVariantAssignBool(dest, src->boolValue);
        case VQX_VARIANT_INT64:
            return VQXVariantAssignInt64(dest, src->int64Value);
        case VQX_VARIANT_DOUBLE:
            return VQXVariantAssignDouble(dest, src->doubleValue);
        case VQX_VARIANT_STRING:
            return VQXVariantAssignString(dest, src->stringValue);
        case VQX_VARIANT_WSTRING:
            return VQXVariantAssignWString(dest, src->wstringValue);
        case VQX_VARIANT_INTERFACE:
            return VQXVariantAssignInterface(dest, src->pInterface);
        default:
            return VQX_INVALID_PARAMETER;
    }
}

VQX_ERROR VQX_CALL VQXVariantCompare(const VQXVARIANT* a, const VQXVARIANT* b, bool& equal) {
    if (a == nullptr || b == nullptr) return VQX_NULL_POINTER;
    if (a == b) {
        equal = true;
        return VQX_OK;
    }
    if (a->type != b->type) {
        equal = false;
        return VQX_OK;
    }
    if (!IsValidKind(a->type)) return VQX_INVALID_PARAMETER;
    equal = PayloadsEqual(*a, *b);
    return VQX_OK;
}

}  // extern "C"
}  // namespace vqx
