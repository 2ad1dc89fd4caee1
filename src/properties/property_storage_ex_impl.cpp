// The validated storage: values are converted to their described kind and checked before they
// are stored; unset registered properties answer their default.
#include <vqx/property_storage_ex.h>

#include "properties/described_value.h"

#include <cwchar>

namespace vqx {
namespace {

constexpr detail::PropertyCopyRules kCopyRules{L"VQXPropertyStorageExImpl", L"AddTo() - failed to copy property=%s",
                                               true};

// Inclusive bounds; a bound of another kind than the value is not applied.
VQX_ERROR CheckRange(const VQXPropertyInfo& info, const VQXVARIANT& value) {
    if (value.type == VQX_VARIANT_INT64 && info.contentType == VQX_PROPERTY_CONTENT_DEFAULT) {
        const bool belowMin = info.minValue.type == VQX_VARIANT_INT64 && value.int64Value < info.minValue.int64Value;
        const bool aboveMax = info.maxValue.type == VQX_VARIANT_INT64 && value.int64Value > info.maxValue.int64Value;
        return belowMin || aboveMax ? VQX_INVALID_PARAMETER : VQX_OK;
    }
    if (value.type == VQX_VARIANT_DOUBLE) {
        // Written so that a NaN passes: neither comparison holds for it.
        const bool belowMin = info.minValue.type == VQX_VARIANT_DOUBLE && info.minValue.doubleValue > value.doubleValue;
        const bool aboveMax = info.maxValue.type == VQX_VARIANT_DOUBLE && value.doubleValue > info.maxValue.doubleValue;
        return belowMin || aboveMax ? VQX_INVALID_PARAMETER : VQX_OK;
    }
    return VQX_OK;
}

}  // namespace

VQXPropertyStorageExImpl::VQXPropertyStorageExImpl() : m_infos(nullptr), m_infoCount(0) {}

VQXPropertyStorageExImpl::VQXPropertyStorageExImpl(const VQXPropertyStorageExImpl& other)
    : VQXInterface(other),
      VQXPropertyStorage(other),
      VQXPropertyStorageEx(other),
      m_infos(other.m_infos),
      m_infoCount(other.m_infoCount),
      m_store(other.m_store) {}

VQXPropertyStorageExImpl& VQXPropertyStorageExImpl::operator=(const VQXPropertyStorageExImpl& other) {
    m_infos = other.m_infos;
    m_infoCount = other.m_infoCount;
    m_store = other.m_store;
    return *this;
}

VQXPropertyStorageExImpl::~VQXPropertyStorageExImpl() = default;

VQX_ERROR VQX_CALL VQXPropertyStorageExImpl::SetProperty(const wchar_t* name, VQXVARIANT value) {
    if (name == nullptr) return VQX_NULL_POINTER;
    VQXVariant validated;
    const VQX_ERROR result = ValidateProperty(name, value, &validated);
    if (result != VQX_OK) return result;
    m_store.Store(name, validated);
    OnPropertyChanged(name);
    NotifyListeners(name);
    return VQX_OK;
}

VQX_ERROR VQX_CALL VQXPropertyStorageExImpl::GetProperty(const wchar_t* name, VQXVARIANT* value) {
    if (value == nullptr) return VQX_NULL_POINTER;
    if (const VQXVARIANT* const stored = m_store.Find(name)) {
        VQXVariantCopy(value, stored);
        return VQX_OK;
    }
    const VQXPropertyInfo* info = nullptr;
    if (GetPropertyInfo(name, &info) != VQX_OK || info == nullptr) return VQX_PARAMETER_NOT_FOUND;
    VQXVariantCopy(value, &info->defaultValue);
    return VQX_OK;
}

bool VQX_CALL VQXPropertyStorageExImpl::HasProperty(const wchar_t* name) {
    return m_store.Contains(name);
}

int32 VQX_CALL VQXPropertyStorageExImpl::GetPropertyCount() {
    return m_store.Count();
}

VQX_ERROR VQX_CALL VQXPropertyStorageExImpl::Clear() {
    m_store.RemoveAll();
    return VQX_OK;
}

VQX_ERROR VQX_CALL VQXPropertyStorageExImpl::AddTo(VQXPropertyStorage* dest, bool overwrite, bool deep) {
    return m_store.AddTo(dest, overwrite, deep, kCopyRules);
}

VQX_ERROR VQX_CALL VQXPropertyStorageExImpl::CopyTo(VQXPropertyStorage* dest, bool deep) {
    return detail::PropertyStore::CopyTo(*this, dest, deep, kCopyRules);
}

void VQX_CALL VQXPropertyStorageExImpl::RegisterListener(VQXPropertyStorageListener* listener) {
    m_store.AddListener(listener);
}

void VQX_CALL VQXPropertyStorageExImpl::UnregisterListener(VQXPropertyStorageListener* listener) {
    m_store.RemoveListener(listener);
}

uint32 VQX_CALL VQXPropertyStorageExImpl::GetPropertiesInfoCount() {
    return m_infoCount;
}

VQX_ERROR VQX_CALL VQXPropertyStorageExImpl::GetPropertyInfo(const wchar_t* name, const VQXPropertyInfo** info) {
    if (info == nullptr) return VQX_NULL_POINTER;
    if (name == nullptr || m_infos == nullptr) return VQX_PARAMETER_NOT_FOUND;
    for (uint32 index = 0; index < m_infoCount; ++index) {
        const VQXPropertyInfo& candidate = m_infos[index];
        if (candidate.name != nullptr && std::wcscmp(candidate.name, name) == 0) {
            *info = &candidate;
            return VQX_OK;
        }
    }
    return VQX_PARAMETER_NOT_FOUND;
}

VQX_ERROR VQX_CALL VQXPropertyStorageExImpl::GetPropertyInfo(uint32 index, const VQXPropertyInfo** info) {
    if (info == nullptr) return VQX_NULL_POINTER;
    if (m_infos == nullptr || index >= m_infoCount) return VQX_INVALID_PARAMETER;
    *info = &m_infos[index];
    return VQX_OK;
}

VQX_ERROR VQX_CALL VQXPropertyStorageExImpl::ValidateProperty(const wchar_t* name, VQXVARIANT value,
                                                              VQXVARIANT* validated) {
    if (validated == nullptr) return VQX_NULL_POINTER;
    const VQXPropertyInfo* info = nullptr;
    const VQX_ERROR found = GetPropertyInfo(name, &info);
    if (found != VQX_OK) return found;
    if (info == nullptr) return VQX_PARAMETER_NOT_FOUND;
    const VQX_ERROR converted =
        detail::ConvertToDescribedKind(value, info->type, info->contentType, info->pEnumDescription, validated);
    if (converted != VQX_OK) return converted;
    return CheckRange(*info, *validated);
}

VQX_ERROR VQX_CALL VQXPropertyStorageExImpl::RegisterProperties(const VQXPropertyInfoImpl* infos, uint32 count) {
    m_infos = infos;
    m_infoCount = infos == nullptr ? 0 : count;
    return VQX_OK;
}

void VQX_CALL VQXPropertyStorageExImpl::OnPropertyChanged(const wchar_t*) {}

void VQX_CALL VQXPropertyStorageExImpl::NotifyListeners(const wchar_t* name) {
    m_store.Notify(name);
}

void VQXPropertyStorageExImpl::SetValueInMap(const wchar_t* name, const VQXVARIANT& value) {
    m_store.Store(name, value);
}

const VQXVARIANT* VQXPropertyStorageExImpl::FindValueInMap(const wchar_t* name) const {
    return m_store.Find(name);
}

}  // namespace vqx
