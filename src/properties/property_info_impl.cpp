// Property descriptions that own their default, minimum and maximum.
#include <vqx/property_storage_ex.h>

#include "properties/described_value.h"

#include <limits>

namespace vqx {
namespace {

constexpr int64 kInt32Min = std::numeric_limits<int32>::min();
constexpr int64 kInt32Max = std::numeric_limits<int32>::max();

void InitEmpty(VQXPropertyInfo& info) {
    VQXVariantInit(&info.defaultValue);
    VQXVariantInit(&info.minValue);
    VQXVariantInit(&info.maxValue);
}

// The pointer and flag fields, without the variants.
void CopyPlainFields(VQXPropertyInfo& to, const VQXPropertyInfo& from) {
    to.name = from.name;
    to.desc = from.desc;
    to.type = from.type;
    to.contentType = from.contentType;
    to.allowChange = from.allowChange;
    to.pEnumDescription = from.pEnumDescription;
}

// Converts source into *dest for this description; true when it converted.
bool Settle(const VQXPropertyInfo& info, const VQXVARIANT& source, VQXVARIANT* dest) {
    return detail::ConvertToDescribedKind(source, info.type, info.contentType, info.pEnumDescription, dest) == VQX_OK;
}

void SettleDefault(VQXPropertyInfo& info, const VQXVARIANT& source) {
    if (Settle(info, source, &info.defaultValue)) return;
    VQXVARIANT* const value = &info.defaultValue;
    switch (info.type) {
        case VQX_VARIANT_BOOL:
            VQXVariantAssignBool(value, false);
            break;
        case VQX_VARIANT_INT64:
            if (info.contentType == VQX_PROPERTY_CONTENT_ENUM) {
                // An enumeration without an entry array has no first value: 0 then.
                VQXVariantAssignInt64(value, info.pEnumDescription ? info.pEnumDescription->value : 0);
            } else {
                VQXVariantAssignInt64(value, 0);
            }
            break;
        case VQX_VARIANT_DOUBLE:
            VQXVariantAssignDouble(value, 0.0);
            break;
        case VQX_VARIANT_STRING:
            VQXVariantAssignString(value, "");
            break;
        default:  // wide text and interface
            VQXVariantAssignWString(value, L"");
            break;
    }
}

// Only plain int64 and double descriptions have bounds; they default to the signed 32-bit range.
void SettleBound(VQXPropertyInfo& info, const VQXVARIANT& source, VQXVARIANT* bound, int64 fallback) {
    const bool plainInt64 = info.type == VQX_VARIANT_INT64 && info.contentType != VQX_PROPERTY_CONTENT_ENUM;
    if (!plainInt64 && info.type != VQX_VARIANT_DOUBLE) return;
    if (Settle(info, source, bound)) return;
    if (plainInt64) {
        VQXVariantAssignInt64(bound, fallback);
    } else {
        VQXVariantAssignDouble(bound, static_cast<double>(fallback));
    }
}

}  // namespace

VQXPropertyInfoImpl::VQXPropertyInfoImpl() : VQXPropertyInfo() {
    type = VQX_VARIANT_EMPTY;
    contentType = VQX_PROPERTY_CONTENT_DEFAULT;
    InitEmpty(*this);
}

VQXPropertyInfoImpl::VQXPropertyInfoImpl(const wchar_t* m_name, const wchar_t* m_desc, VQX_VARIANT_TYPE m_type,
                                         VQX_PROPERTY_CONTENT_TYPE m_contentType, VQXVARIANT m_defaultValue,
                                         VQXVARIANT m_minValue, VQXVARIANT m_maxValue, bool m_allowChange,
                                         const VQXEnumDescriptionEntry* m_pEnumDescription)
    : VQXPropertyInfo() {
    name = m_name;
    desc = m_desc;
    type = m_type;
    contentType = m_contentType;
    allowChange = m_allowChange;
    pEnumDescription = m_pEnumDescription;
    InitEmpty(*this);
    if (type < VQX_VARIANT_BOOL || type > VQX_VARIANT_INTERFACE) return;
    SettleDefault(*this, m_defaultValue);
    SettleBound(*this, m_minValue, &minValue, kInt32Min);
    SettleBound(*this, m_maxValue, &maxValue, kInt32Max);
}

VQXPropertyInfoImpl::VQXPropertyInfoImpl(const VQXPropertyInfoImpl& other) : VQXPropertyInfo() {
    CopyPlainFields(*this, other);
    InitEmpty(*this);
    VQXVariantCopy(&defaultValue, &other.defaultValue);
    VQXVariantCopy(&minValue, &other.minValue);
    VQXVariantCopy(&maxValue, &other.maxValue);
}

VQXPropertyInfoImpl& VQXPropertyInfoImpl::operator=(const VQXPropertyInfoImpl& other) {
    if (this == &other) return *this;
    CopyPlainFields(*this, other);
    VQXVariantCopy(&defaultValue, &other.defaultValue);
    VQXVariantCopy(&minValue, &other.minValue);
    VQXVariantCopy(&maxValue, &other.maxValue);
    return *this;
}

VQXPropertyInfoImpl::~VQXPropertyInfoImpl() {
    VQXVariantClear(&defaultValue);
    VQXVariantClear(&minValue);
    VQXVariantClear(&maxValue);
}

}  // namespace vqx
