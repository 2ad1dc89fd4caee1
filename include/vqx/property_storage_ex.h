// Property descriptions (kind, default, bounds, enumeration entries) and the validated storage
// that converts and checks every value against them, plus the template that makes it a complete
// reference-counted component.
// Ownership: a description owns its three variants but not its name, description text or
// enumeration array; a validated storage borrows the description array it is given, which must
// stay alive and unmoved while the storage uses it.
// Thread rules: as for VQXPropertyStorageImpl; the description array must not change while the
// storage is in use.
#pragma once

#include <vqx/property_storage.h>

namespace vqx {

// Refines the meaning of a value. Other values are stored unchanged and disable the range check
// of 64-bit integers.
enum VQX_PROPERTY_CONTENT_TYPE : int32 {
    VQX_PROPERTY_CONTENT_DEFAULT = 0,
    VQX_PROPERTY_CONTENT_ENUM = 4,
};

// One allowed value of an enumeration; an array of them ends with an entry whose name is null.
struct VQXEnumDescriptionEntry {
    int32 value;
    const char* name;     // UTF-8, matched byte by byte
    const void* context;  // free for the component; never read by the storages
};

// The public description record of one property.
struct VQXPropertyInfo {
    const wchar_t* name;
    const wchar_t* desc;
    VQX_VARIANT_TYPE type;  // every stored value is converted to this kind
    VQX_PROPERTY_CONTENT_TYPE contentType;
    VQXVARIANT defaultValue;
    VQXVARIANT minValue;
    VQXVARIANT maxValue;
    bool allowChange;  // handed out unchanged; the storages never consult it
    const VQXEnumDescriptionEntry* pEnumDescription;
};

// A description that owns its variants. name, desc and the enumeration array are borrowed.
// The constructor converts default, minimum and maximum to the described kind; a value that does
// not convert falls back to false / 0 / the first enumeration value / 0.0 / an empty text, and
// integer and double bounds to the signed 32-bit range. Same size and layout as VQXPropertyInfo.
class VQX_CLASS_API VQXPropertyInfoImpl : public VQXPropertyInfo {
public:
    // All three variants empty, pointers null.
    VQXPropertyInfoImpl();
    VQXPropertyInfoImpl(const wchar_t* name, const wchar_t* desc, VQX_VARIANT_TYPE type,
                        VQX_PROPERTY_CONTENT_TYPE contentType, VQXVARIANT defaultValue, VQXVARIANT minValue,
                        VQXVARIANT maxValue, bool allowChange, const VQXEnumDescriptionEntry* pEnumDescription);
    VQXPropertyInfoImpl(const VQXPropertyInfoImpl& other);
    VQXPropertyInfoImpl& operator=(const VQXPropertyInfoImpl& other);
    ~VQXPropertyInfoImpl();
};

// A storage that publishes descriptions. Identifier "\"VQXPropertyStorageEx\"".
class VQXPropertyStorageEx : public virtual VQXPropertyStorage {
public:
    static const wchar_t* IID() {
        static const wchar_t id[] = L"\"VQXPropertyStorageEx\"";
        return id;
    }
    virtual uint32 VQX_CALL GetPropertiesInfoCount() = 0;
    // The first description of that name.
    virtual VQX_ERROR VQX_CALL GetPropertyInfo(const wchar_t* name, const VQXPropertyInfo** info) = 0;
    virtual VQX_ERROR VQX_CALL GetPropertyInfo(uint32 index, const VQXPropertyInfo** info) = 0;
    // Converts value to the described kind into *validated (the caller clears it) and checks it.
    virtual VQX_ERROR VQX_CALL ValidateProperty(const wchar_t* name, VQXVARIANT value, VQXVARIANT* validated) = 0;
};

// The validated storage: SetProperty stores only what ValidateProperty accepts (converted to the
// described kind), GetProperty answers the described default for a registered name never set.
// Abstract (no QueryInterface, Acquire, Release); see VQXPropertyStorageExImpl_T.
// Decisions of this implementation: GetPropertyInfo by index at or above the count answers
// VQX_INVALID_PARAMETER and stores nothing; an enumeration description without an entry array
// accepts no value; a null out-pointer answers VQX_NULL_POINTER.
class VQX_CLASS_API VQXPropertyStorageExImpl : public virtual VQXPropertyStorageEx {
public:
    VQXPropertyStorageExImpl();
    // Copies the borrowed description pointer and count, the values and the listeners.
    VQXPropertyStorageExImpl(const VQXPropertyStorageExImpl& other);
    VQXPropertyStorageExImpl& operator=(const VQXPropertyStorageExImpl& other);
    ~VQXPropertyStorageExImpl() override;

    VQX_ERROR VQX_CALL SetProperty(const wchar_t* name, VQXVARIANT value) override;
    VQX_ERROR VQX_CALL GetProperty(const wchar_t* name, VQXVARIANT* value) override;
    bool VQX_CALL HasProperty(const wchar_t* name) override;
    int32 VQX_CALL GetPropertyCount() override;
    VQX_ERROR VQX_CALL Clear() override;
    VQX_ERROR VQX_CALL AddTo(VQXPropertyStorage* dest, bool overwrite, bool deep) override;
    VQX_ERROR VQX_CALL CopyTo(VQXPropertyStorage* dest, bool deep) override;
    void VQX_CALL RegisterListener(VQXPropertyStorageListener* listener) override;
    void VQX_CALL UnregisterListener(VQXPropertyStorageListener* listener) override;

    uint32 VQX_CALL GetPropertiesInfoCount() override;
    VQX_ERROR VQX_CALL GetPropertyInfo(const wchar_t* name, const VQXPropertyInfo** info) override;
    VQX_ERROR VQX_CALL GetPropertyInfo(uint32 index, const VQXPropertyInfo** info) override;
    VQX_ERROR VQX_CALL ValidateProperty(const wchar_t* name, VQXVARIANT value, VQXVARIANT* validated) override;

    // Borrows the array (no copy), replacing any earlier registration; values are untouched.
    virtual VQX_ERROR VQX_CALL RegisterProperties(const VQXPropertyInfoImpl* infos, uint32 count);
    // Called after every successful SetProperty, before the listeners; does nothing here.
    virtual void VQX_CALL OnPropertyChanged(const wchar_t* name);
    // Calls every registered listener under the storage's lock, in ascending pointer order.
    virtual void VQX_CALL NotifyListeners(const wchar_t* name);

protected:
    // For derived classes: write a value straight into the map, without validation, hook or
    // listeners (a component's internal setter stores with this, then calls OnPropertyChanged).
    void SetValueInMap(const wchar_t* name, const VQXVARIANT& value);
    // The stored value of name, or null (defaults are not consulted); valid until it changes.
    const VQXVARIANT* FindValueInMap(const wchar_t* name) const;
    // The registered description array and its length (null and 0 before registration).
    const VQXPropertyInfoImpl* PropertyInfos() const { return m_infos; }
    uint32 PropertyInfoCount() const { return m_infoCount; }

private:
    const VQXPropertyInfoImpl* m_infos;
    uint32 m_infoCount;
    detail::PropertyStore m_store;  // map, lock, listener set, in this order
};

// Joins the validated storage to VQXInterfaceImpl<T> for an interface T that inherits
// VQXPropertyStorageEx virtually: reference counting from Base, every storage operation from
// VQXPropertyStorageExImpl, and a QueryInterface that answers Base's identifiers ("\"VQXUnknown\""
// and T::IID()), then "\"VQXPropertyStorage\"" and "\"VQXPropertyStorageEx\"".
template <class Base>
class VQXPropertyStorageExImpl_T : public virtual Base, public VQXPropertyStorageExImpl {
public:
    VQX_ERROR VQX_CALL QueryInterface(const wchar_t* interfaceId, void** ppInterface) override {
        if (Base::QueryInterface(interfaceId, ppInterface) == VQX_OK) return VQX_OK;
        if (IsSameIID(interfaceId, VQXPropertyStorage::IID())) {
            VQXPropertyStorage* storage = this;
            *ppInterface = storage;
            storage->Acquire();
            return VQX_OK;
        }
        if (IsSameIID(interfaceId, VQXPropertyStorageEx::IID())) {
            VQXPropertyStorageEx* storageEx = this;
            *ppInterface = storageEx;
            storageEx->Acquire();
            return VQX_OK;
        }
        return VQX_NO_INTERFACE;
    }
};

}  // namespace vqx
