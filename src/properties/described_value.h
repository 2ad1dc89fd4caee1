// Conversion of a value to the kind a property description asks for, including the matching of
// enumeration values and names. Internal to the property storages.
#pragma once

#include <vqx/property_storage_ex.h>

namespace vqx::detail {

// Converts source into *dest as a description of (type, contentType, entries) requires.
// Kinds outside bool..interface answer VQX_INVALID_PARAMETER. An int64 enumeration takes a
// number that equals an entry's value, or a text (any kind converted to UTF-8) equal to an
// entry's name, byte for byte; a null entry array matches nothing.
VQX_ERROR ConvertToDescribedKind(const VQXVARIANT& source, VQX_VARIANT_TYPE type, VQX_PROPERTY_CONTENT_TYPE contentType,
                                 const VQXEnumDescriptionEntry* entries, VQXVARIANT* dest);

}  // namespace vqx::detail
