// Named variant values with change listeners: the storage interface, the listener and clonable
// interfaces, and the general-purpose storage implementation.
// Ownership: a storage owns copies of its values (texts and interface references); it keeps bare
// listener pointers, which their owners must unregister before destroying the listener.
// Thread rules: only the listener set is locked (re-entrant, listeners run under the lock); the
// value map must be used by one thread at a time.
#pragma once

#include <vqx/interface.h>
#include <vqx/strings.h>
#include <vqx/sync.h>
#include <vqx/variant.h>

#include <map>
#include <set>

namespace vqx {

// Hears about every change of a storage it is registered with. Not reference-counted.
class VQXPropertyStorageListener {
public:
    virtual void VQX_CALL OnPropertyChanged(const wchar_t* name) = 0;

protected:
    ~VQXPropertyStorageListener() = default;
};

// A named bag of variant values. Identifier "\"VQXPropertyStorage\"".
class VQXPropertyStorage : public virtual VQXInterface {
public:
    static const wchar_t* IID() {
        static const wchar_t id[] = L"\"VQXPropertyStorage\"";
        return id;
    }
    // value is only read; the storage keeps its own copy. A null name answers VQX_NULL_POINTER.
    virtual VQX_ERROR VQX_CALL SetProperty(const wchar_t* name, VQXVARIANT value) = 0;
    // Copies the value into *value (the caller clears it); a null value answers VQX_NULL_POINTER.
    virtual VQX_ERROR VQX_CALL GetProperty(const wchar_t* name, VQXVARIANT* value) = 0;
    virtual bool VQX_CALL HasProperty(const wchar_t* name) = 0;
    virtual int32 VQX_CALL GetPropertyCount() = 0;
    virtual VQX_ERROR VQX_CALL Clear() = 0;
    virtual VQX_ERROR VQX_CALL AddTo(VQXPropertyStorage* dest, bool overwrite, bool deep) = 0;
    virtual VQX_ERROR VQX_CALL CopyTo(VQXPropertyStorage* dest, bool deep) = 0;
    virtual void VQX_CALL RegisterListener(VQXPropertyStorageListener* listener) = 0;
    virtual void VQX_CALL UnregisterListener(VQXPropertyStorageListener* listener) = 0;
};

// Offered by value objects that can be copied deeply. Identifier "\"VQXClonable\"".
class VQXClonable : public virtual VQXInterface {
public:
    static const wchar_t* IID() {
        static const wchar_t id[] = L"\"VQXClonable\"";
        return id;
    }
    // Stores a new copy of this object in *ppCopy with one reference owned by the caller.
    virtual VQX_ERROR VQX_CALL Duplicate(VQXInterface** ppCopy) = 0;
};

namespace detail {

// How a storage reports its copy failures: the trace facility, the message for a plain value
// the destination refused, and whether the destination's VQX_INVALID_PARAMETER only leaves
// that value out.
struct PropertyCopyRules {
    const wchar_t* facility;
    const wchar_t* plainCopyFailure;
    bool acceptInvalidParameter;
};

// The mechanics both storage implementations share: the value map ordered by UTF-16 code units,
// the re-entrant lock and the listener set ordered by pointer value. Copies duplicate values and
// listeners and own a fresh lock. Used only from inside the library.
class PropertyStore {
public:
    using ValueMap = std::map<vqx_wstring, VQXVariant, std::less<>>;  // UTF-16 code unit order
    using ListenerSet = std::set<VQXPropertyStorageListener*>;

    PropertyStore();
    PropertyStore(const PropertyStore& other);
    PropertyStore& operator=(const PropertyStore& other);
    ~PropertyStore();

    // Null when the name is absent.
    const VQXVARIANT* Find(const wchar_t* name) const;
    // Copies value into the entry for name, creating it if needed.
    void Store(const wchar_t* name, const VQXVARIANT& value);
    bool Contains(const wchar_t* name) const;
    int32 Count() const;
    void RemoveAll();

    void AddListener(VQXPropertyStorageListener* listener);
    void RemoveListener(VQXPropertyStorageListener* listener);
    // Calls every listener in ascending pointer order while holding the lock.
    void Notify(const wchar_t* name);

    // The AddTo walk: every value in map order into dest (see the storages' AddTo).
    VQX_ERROR AddTo(VQXPropertyStorage* dest, bool overwrite, bool deep, const PropertyCopyRules& rules) const;
    // CopyTo of self: empties dest and calls self's AddTo through the virtual table.
    static VQX_ERROR CopyTo(VQXPropertyStorage& self, VQXPropertyStorage* dest, bool deep,
                            const PropertyCopyRules& rules);

private:
    ValueMap m_values;
    mutable VQXCriticalSection m_lock;  // taken also when another store copies this one
    ListenerSet m_listeners;
};

}  // namespace detail

// General-purpose storage: any name, any value, no validation. Abstract (no Acquire/Release): a
// concrete class adds reference counting. QueryInterface answers "\"VQXPropertyStorage\"" only.
// Copies duplicate values and listeners; each storage keeps a lock of its own.
class VQX_CLASS_API VQXPropertyStorageImpl : public virtual VQXPropertyStorage {
public:
    VQXPropertyStorageImpl();
    VQXPropertyStorageImpl(const VQXPropertyStorageImpl& other);
    VQXPropertyStorageImpl& operator=(const VQXPropertyStorageImpl& other);
    ~VQXPropertyStorageImpl() override;

    VQX_ERROR VQX_CALL QueryInterface(const wchar_t* interfaceId, void** ppInterface) override;

    VQX_ERROR VQX_CALL SetProperty(const wchar_t* name, VQXVARIANT value) override;
    VQX_ERROR VQX_CALL GetProperty(const wchar_t* name, VQXVARIANT* value) override;
    bool VQX_CALL HasProperty(const wchar_t* name) override;
    int32 VQX_CALL GetPropertyCount() override;
    VQX_ERROR VQX_CALL Clear() override;
    VQX_ERROR VQX_CALL AddTo(VQXPropertyStorage* dest, bool overwrite, bool deep) override;
    VQX_ERROR VQX_CALL CopyTo(VQXPropertyStorage* dest, bool deep) override;
    void VQX_CALL RegisterListener(VQXPropertyStorageListener* listener) override;
    void VQX_CALL UnregisterListener(VQXPropertyStorageListener* listener) override;

    // Called after every successful SetProperty, before the listeners; does nothing here.
    virtual void VQX_CALL OnPropertyChanged(const wchar_t* name);
    // Calls every registered listener under the storage's lock, in ascending pointer order.
    virtual void VQX_CALL NotifyListeners(const wchar_t* name);

protected:
    // For derived classes: write a value straight into the map (no hook, no listeners).
    void SetValueInMap(const wchar_t* name, const VQXVARIANT& value);
    // The stored value of name, or null; valid until the entry changes.
    const VQXVARIANT* FindValueInMap(const wchar_t* name) const;

private:
    detail::PropertyStore m_store;  // map, lock, listener set, in this order
};

}  // namespace vqx
