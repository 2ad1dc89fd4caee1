// The value map, lock and listener set shared by the plain and the validated storage, and the
// walk that copies one storage's values into another.
#include <vqx/property_storage.h>
#include <vqx/trace.h>

namespace vqx::detail {
namespace {

// VQX_REPEAT from a destination counts as success in every copy.
bool CopySucceeded(VQX_ERROR result) {
    return result == VQX_OK || result == VQX_REPEAT;
}

// The held object's clonable part when a deep copy applies to this value, else null.
VQXPtr<VQXClonable> ClonableFor(const VQXVARIANT& value, bool deep) {
    if (!deep || value.type != VQX_VARIANT_INTERFACE || value.pInterface == nullptr) return {};
    void* clonable = nullptr;
    if (value.pInterface->QueryInterface(VQXClonable::IID(), &clonable) != VQX_OK) return {};
    return VQXPtr<VQXClonable>::Adopt(static_cast<VQXClonable*>(clonable));
}

// Puts a duplicate of the clonable object into dest under name; the duplicate's own reference
// is released on every path, so dest ends up holding the only one.
VQX_ERROR CopyDuplicate(VQXClonable& clonable, VQXPropertyStorage& dest, const wchar_t* name,
                        const PropertyCopyRules& rules) {
    VQXPtr<VQXInterface> duplicate;
    const VQX_ERROR duplicated = clonable.Duplicate(duplicate.put());
    if (!CopySucceeded(duplicated)) {
        vqxTrace(0, rules.facility, L"AddTo() - failed to duplicate buffer=%s", name);
        return duplicated;
    }
    const VQXVariant wrapped(duplicate.get());  // a null duplicate gives an empty value
    const VQX_ERROR stored = dest.SetProperty(name, wrapped);
    if (!CopySucceeded(stored)) {
        vqxTrace(0, rules.facility, L"AddTo() - failed to copy property=%s", name);
        return stored;
    }
    return VQX_OK;
}

// Puts a copy of the value into dest under name (an interface is shared, not duplicated).
VQX_ERROR CopyValue(const VQXVARIANT& value, VQXPropertyStorage& dest, const wchar_t* name,
                    const PropertyCopyRules& rules) {
    const VQXVariant copy(value);
    const VQX_ERROR stored = dest.SetProperty(name, copy);
    if (CopySucceeded(stored)) return VQX_OK;
    if (rules.acceptInvalidParameter && stored == VQX_INVALID_PARAMETER) return VQX_OK;
    vqxTrace(0, rules.facility, rules.plainCopyFailure, name);
    return stored;
}

}  // namespace

PropertyStore::PropertyStore() = default;

PropertyStore::PropertyStore(const PropertyStore& other) : m_values(other.m_values) {
    VQXLock guard(&other.m_lock, VQX_INFINITE);
    m_listeners = other.m_listeners;
}

PropertyStore& PropertyStore::operator=(const PropertyStore& other) {
    if (this == &other) return *this;
    m_values = other.m_values;
    ListenerSet listeners;
    {
        VQXLock guard(&other.m_lock, VQX_INFINITE);
        listeners = other.m_listeners;
    }
    VQXLock guard(&m_lock, VQX_INFINITE);
    m_listeners.swap(listeners);
    return *this;
}

PropertyStore::~PropertyStore() = default;

const VQXVARIANT* PropertyStore::Find(const wchar_t* name) const {
    if (name == nullptr) return nullptr;
    const auto entry = m_values.find(name);
    return entry == m_values.end() ? nullptr : &entry->second;
}

void PropertyStore::Store(const wchar_t* name, const VQXVARIANT& value) {
    if (name == nullptr) return;
    auto entry = m_values.find(name);
    if (entry == m_values.end()) entry = m_values.emplace(vqx_wstring(name), VQXVariant()).first;
    VQXVariantCopy(&entry->second, &value);
}

bool PropertyStore::Contains(const wchar_t* name) const {
    return Find(name) != nullptr;
}

int32 PropertyStore::Count() const {
    return static_cast<int32>(m_values.size());
}

void PropertyStore::RemoveAll() {
    m_values.clear();
}

void PropertyStore::AddListener(VQXPropertyStorageListener* listener) {
    if (listener == nullptr) return;
    VQXLock guard(&m_lock, VQX_INFINITE);
    m_listeners.insert(listener);
}

void PropertyStore::RemoveListener(VQXPropertyStorageListener* listener) {
    VQXLock guard(&m_lock, VQX_INFINITE);
    m_listeners.erase(listener);
}

void PropertyStore::Notify(const wchar_t* name) {
    VQXLock guard(&m_lock, VQX_INFINITE);
    for (VQXPropertyStorageListener* listener : m_listeners)
        listener->OnPropertyChanged(name);
}

VQX_ERROR PropertyStore::AddTo(VQXPropertyStorage* dest, bool overwrite, bool deep,
                               const PropertyCopyRules& rules) const {
    if (dest == nullptr) {
        vqxTrace(0, rules.facility, L"CopyTo() - Invalid Param");
        return VQX_INVALID_PARAMETER;
    }
    for (const auto& [key, value] : m_values) {
        const wchar_t* const name = key.c_str();
        if (!overwrite && dest->HasProperty(name)) continue;
        const VQXPtr<VQXClonable> clonable = ClonableFor(value, deep);
        const VQX_ERROR result =
            clonable ? CopyDuplicate(*clonable.get(), *dest, name, rules) : CopyValue(value, *dest, name, rules);
        if (result != VQX_OK) return result;
    }
    return VQX_OK;
}

VQX_ERROR PropertyStore::CopyTo(VQXPropertyStorage& self, VQXPropertyStorage* dest, bool deep,
                                const PropertyCopyRules& rules) {
    if (dest == nullptr) {
        vqxTrace(0, rules.facility, L"CopyTo() - Invalid Param");
        return VQX_INVALID_PARAMETER;
    }
    if (dest == &self) return VQX_OK;
    dest->Clear();
    return self.AddTo(dest, true, deep);
}

}  // namespace vqx::detail
