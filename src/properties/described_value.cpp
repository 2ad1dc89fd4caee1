// Conversion of a value to a described kind (plain kinds and int64 enumerations).
#include "properties/described_value.h"

#include <cstring>

namespace vqx::detail {
namespace {

bool IsDescribableKind(VQX_VARIANT_TYPE type) {
    return type >= VQX_VARIANT_BOOL && type <= VQX_VARIANT_INTERFACE;
}

// The first entry (before the terminator) whose value equals number, or null.
const VQXEnumDescriptionEntry* FindEntryByValue(const VQXEnumDescriptionEntry* entries, int64 number) {
    for (const VQXEnumDescriptionEntry* entry = entries; entry != nullptr && entry->name != nullptr; ++entry) {
        if (static_cast<int64>(entry->value) == number) return entry;
    }
    return nullptr;
}

// The first entry whose name equals text exactly, or null.
const VQXEnumDescriptionEntry* FindEntryByName(const VQXEnumDescriptionEntry* entries, const char* text) {
    if (text == nullptr) return nullptr;
    for (const VQXEnumDescriptionEntry* entry = entries; entry != nullptr && entry->name != nullptr; ++entry) {
        if (std::strcmp(entry->name, text) == 0) return entry;
    }
    return nullptr;
}

VQX_ERROR ConvertToEnumeration(const VQXVARIANT& source, const VQXEnumDescriptionEntry* entries, VQXVARIANT* dest) {
    if (VQXVariantChangeType(dest, &source, VQX_VARIANT_INT64) == VQX_OK) {
        const int64 number = dest->int64Value;
        if (FindEntryByValue(entries, number) == nullptr) return VQX_INVALID_PARAMETER;
        VQXVariantAssignInt64(dest, number);
        return VQX_OK;
    }
    const VQX_ERROR asText = VQXVariantChangeType(dest, &source, VQX_VARIANT_STRING);
    if (asText != VQX_OK) return asText;
    const VQXEnumDescriptionEntry* const entry = FindEntryByName(entries, dest->stringValue);
    if (entry == nullptr) return VQX_INVALID_PARAMETER;
    VQXVariantAssignInt64(dest, entry->value);
    return VQX_OK;
}

}  // namespace

VQX_ERROR ConvertToDescribedKind(const VQXVARIANT& source, VQX_VARIANT_TYPE type, VQX_PROPERTY_CONTENT_TYPE contentType,
                                 const VQXEnumDescriptionEntry* entries, VQXVARIANT* dest) {
    if (!IsDescribableKind(type)) return VQX_INVALID_PARAMETER;
    if (type == VQX_VARIANT_INT64 && contentType == VQX_PROPERTY_CONTENT_ENUM) {
        return ConvertToEnumeration(source, entries, dest);
    }
    return VQXVariantChangeType(dest, &source, type);
}

}  // namespace vqx::detail
