// The general-purpose storage: any name, any value, no validation.
#include <vqx/property_storage.h>

namespace vqx {
namespace {

constexpr detail::PropertyCopyRules kCopyRules{L"VQXPropertyStorageImpl", L"CopyTo() - failed to copy property=%s",
                                               false};

}  // namespace

VQXPropertyStorageImpl::VQXPropertyStorageImpl() = default;

VQXPropertyStorageImpl::VQXPropertyStorageImpl(const VQXPropertyStorageImpl& other)
    : VQXInterface(other), VQXPropertyStorage(other), m_store(other.m_store) {}

VQXPropertyStorageImpl& VQXPropertyStorageImpl::operator=(const VQXPropertyStorageImpl& other) {
    m_store = other.m_store;
    return *this;
}

VQXPropertyStorageImpl::~VQXPropertyStorageImpl() = default;

VQX_ERROR VQX_CALL VQXPropertyStorageImpl::QueryInterface(const wchar_t* interfaceId, void** ppInterface) {
    if (!IsSameIID(interfaceId, VQXPropertyStorage::IID())) return VQX_NO_INTERFACE;
    VQXPropertyStorage* const storage = this;
    *ppInterface = storage;
    storage->Acquire();
    return VQX_OK;
}

VQX_ERROR VQX_CALL VQXPropertyStorageImpl::SetProperty(const wchar_t* name, VQXVARIANT value) {
    if (name == nullptr) return VQX_NULL_POINTER;
    m_store.Store(name, value);
    OnPropertyChanged(name);
    NotifyListeners(name);
    return VQX_OK;
}

VQX_ERROR VQX_CALL VQXPropertyStorageImpl::GetProperty(const wchar_t* name, VQXVARIANT* value) {
    if (value == nullptr) return VQX_NULL_POINTER;
    const VQXVARIANT* const stored = m_store.Find(name);
    if (stored == nullptr) return VQX_PARAMETER_NOT_FOUND;
    VQXVariantCopy(value, stored);
    return VQX_OK;
}

bool VQX_CALL VQXPropertyStorageImpl::HasProperty(const wchar_t* name) {
    return m_store.Contains(name);
}

int32 VQX_CALL VQXPropertyStorageImpl::GetPropertyCount() {
    return m_store.Count();
}

VQX_ERROR VQX_CALL VQXPropertyStorageImpl::Clear() {
    m_store.RemoveAll();
    return VQX_OK;
}

VQX_ERROR VQX_CALL VQXPropertyStorageImpl::AddTo(VQXPropertyStorage* dest, bool overwrite, bool deep) {
    return m_store.AddTo(dest, overwrite, deep, kCopyRules);
}

VQX_ERROR VQX_CALL VQXPropertyStorageImpl::CopyTo(VQXPropertyStorage* dest, bool deep) {
    return detail::PropertyStore::CopyTo(*this, dest, deep, kCopyRules);
}

void VQX_CALL VQXPropertyStorageImpl::RegisterListener(VQXPropertyStorageListener* listener) {
    m_store.AddListener(listener);
}

void VQX_CALL VQXPropertyStorageImpl::UnregisterListener(VQXPropertyStorageListener* listener) {
    m_store.RemoveListener(listener);
}

void VQX_CALL VQXPropertyStorageImpl::OnPropertyChanged(const wchar_t*) {}

void VQX_CALL VQXPropertyStorageImpl::NotifyListeners(const wchar_t* name) {
    m_store.Notify(name);
}

void VQXPropertyStorageImpl::SetValueInMap(const wchar_t* name, const VQXVARIANT& value) {
    m_store.Store(name, value);
}

const VQXVARIANT* VQXPropertyStorageImpl::FindValueInMap(const wchar_t* name) const {
    return m_store.Find(name);
}

}  // namespace vqx
