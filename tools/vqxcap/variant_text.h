// Readable text of a variant value, for tables and messages.
#pragma once

#include <vqx/variant.h>

#include <string>

namespace vqxcap {

// The value as the encoder's own conversion renders it ("" for an empty value).
std::wstring VariantText(const vqx::VQXVARIANT& value);

// The name of a variant type ("int64", "bool", ...).
const wchar_t* VariantTypeName(vqx::VQX_VARIANT_TYPE type);

}  // namespace vqxcap
