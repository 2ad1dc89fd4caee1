// Test doubles shared by the property storage tests: concrete storages as a host would write
// them, clonable and plain value objects with observable reference counts, a recording storage
// listener and a trace capture.
#pragma once

#include <vqx/vqx.h>

#include <string>
#include <utility>
#include <vector>

namespace vqx_test {

using namespace vqx;

// A plain storage on the stack or as a member: counts references but never deletes itself,
// the test scope owns it.
class PlainStorage : public VQXPropertyStorageImpl {
public:
    int32 VQX_CALL Acquire() override { return ++m_refs; }
    int32 VQX_CALL Release() override { return --m_refs; }
    int32 Refs() const { return m_refs; }
    // Read through the protected map access a derived class gets.
    VQXInterface* HeldInterface(const wchar_t* name) const {
        const VQXVARIANT* value = FindValueInMap(name);
        return value && value->type == VQX_VARIANT_INTERFACE ? value->pInterface : nullptr;
    }
    const char* FindText(const wchar_t* name) const {
        const VQXVARIANT* value = FindValueInMap(name);
        return value && value->type == VQX_VARIANT_STRING ? value->stringValue : nullptr;
    }

private:
    int32 m_refs = 0;
};

// A destination whose SetProperty stores through the plain storage and then answers a fixed code.
class AnsweringStorage : public PlainStorage {
public:
    explicit AnsweringStorage(VQX_ERROR answer) : m_answer(answer) {}
    VQX_ERROR VQX_CALL SetProperty(const wchar_t* name, VQXVARIANT value) override {
        if (m_answer == VQX_OK || m_answer == VQX_REPEAT) PlainStorage::SetProperty(name, value);
        return m_answer;
    }

private:
    VQX_ERROR m_answer;
};

class IOpaque : public virtual VQXInterface {
public:
    static const wchar_t* IID() {
        static const wchar_t id[] = L"\"IOpaque\"";
        return id;
    }
};

// A value object without VQXClonable.
class Opaque : public VQXInterfaceImpl<IOpaque> {};

// A value object with VQXClonable. Duplicate answers the configured code and, if asked to,
// hands out a copy even when it fails. Live instances are counted.
class Buffer : public VQXInterfaceImpl<VQXClonable> {
public:
    static int& Alive() {
        static int alive = 0;
        return alive;
    }
    explicit Buffer(int payload, VQX_ERROR answer = VQX_OK, bool copyOnFailure = false)
        : m_payload(payload), m_answer(answer), m_copyOnFailure(copyOnFailure) { ++Alive(); }
    ~Buffer() override { --Alive(); }

    VQX_ERROR VQX_CALL Duplicate(VQXInterface** ppCopy) override {
        const bool succeeds = m_answer == VQX_OK || m_answer == VQX_REPEAT;
        if (succeeds || m_copyOnFailure) {
            Buffer* copy = CreateInstance<Buffer>(m_payload);
            *ppCopy = static_cast<VQXInterface*>(copy);
        }
        return m_answer;
    }
    int Payload() const { return m_payload; }

private:
    int m_payload;
    VQX_ERROR m_answer;
    bool m_copyOnFailure;
};

// The reference count of an object seen through its root.
inline int32 RefCount(VQXInterface* object) { return object->Acquire(), object->Release(); }

// Records (tag, name) of every notification into a shared log.
class RecordingListener : public VQXPropertyStorageListener {
public:
    using Log = std::vector<std::pair<std::string, std::wstring>>;
    RecordingListener() = default;
    RecordingListener(std::string tag, Log* log) : m_tag(std::move(tag)), m_log(log) {}
    void Bind(std::string tag, Log* log) { m_tag = std::move(tag); m_log = log; }
    void VQX_CALL OnPropertyChanged(const wchar_t* name) override { m_log->emplace_back(m_tag, name); }

private:
    std::string m_tag;
    Log* m_log = nullptr;
};

// Collects every trace message while alive.
class TraceCapture : public VQXTraceListener {
public:
    TraceCapture() { VQXRegisterTraceListener(this); }
    ~TraceCapture() override { VQXUnregisterTraceListener(this); }
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    void Write(const wchar_t* facility, const wchar_t* message) override {
        m_records.emplace_back(facility ? facility : L"", message ? message : L"");
    }
    const std::vector<std::pair<std::wstring, std::wstring>>& Records() const { return m_records; }

private:
    std::vector<std::pair<std::wstring, std::wstring>> m_records;
};
using Records = std::vector<std::pair<std::wstring, std::wstring>>;

inline VQXVariant Int(int64 value) { return VQXVariant::FromInt64(value); }
inline VQXVariant Text(const char* value) { return VQXVariant::FromString(value); }
inline VQXVariant WText(const wchar_t* value) { return VQXVariant::FromWString(value); }

// The stored value of name (empty when the storage answers an error).
inline VQXVariant Read(VQXPropertyStorage& storage, const wchar_t* name) {
    VQXVariant value;
    storage.GetProperty(name, &value);
    return value;
}
template <class T>
VQXVariant Read(const VQXPtr<T>& storage, const wchar_t* name) {
    return Read(*storage.get(), name);
}

}  // namespace vqx_test

namespace vqx_test {

// A host's own component interface on top of the validated storage.
class ITestComponent : public virtual VQXPropertyStorageEx {
public:
    static const wchar_t* IID() {
        static const wchar_t id[] = L"\"ITestComponent\"";
        return id;
    }
    virtual int32 VQX_CALL Answer() = 0;
};

inline const VQXEnumDescriptionEntry* SpeedEntries() {
    static const VQXEnumDescriptionEntry entries[] = {
        {0, "Slow", nullptr}, {1, "Fast", nullptr}, {-1, "Reverse", nullptr}, {0, nullptr, nullptr}};
    return entries;
}

inline VQXPropertyInfoImpl Int64Info(const wchar_t* name, int64 def, int64 min, int64 max,
                                     VQX_PROPERTY_CONTENT_TYPE content = VQX_PROPERTY_CONTENT_DEFAULT) {
    return VQXPropertyInfoImpl(name, name, VQX_VARIANT_INT64, content, Int(def), Int(min), Int(max), true, nullptr);
}

inline VQXPropertyInfoImpl DoubleInfo(const wchar_t* name, double def, double min, double max) {
    return VQXPropertyInfoImpl(name, name, VQX_VARIANT_DOUBLE, VQX_PROPERTY_CONTENT_DEFAULT, VQXVariant::FromDouble(def),
                               VQXVariant::FromDouble(min), VQXVariant::FromDouble(max), false, nullptr);
}

inline VQXPropertyInfoImpl SimpleInfo(const wchar_t* name, VQX_VARIANT_TYPE type, const VQXVARIANT& def) {
    return VQXPropertyInfoImpl(name, name, type, VQX_PROPERTY_CONTENT_DEFAULT, def, VQXVariant(), VQXVariant(), false,
                               nullptr);
}

inline VQXPropertyInfoImpl SpeedInfo(const wchar_t* name = L"Speed") {
    return VQXPropertyInfoImpl(name, L"how fast", VQX_VARIANT_INT64, VQX_PROPERTY_CONTENT_ENUM, Int(0), VQXVariant(),
                               VQXVariant(), true, SpeedEntries());
}

// A component built on the template as a host would build one. It owns its descriptions and
// registers them without copying; its internal setter writes the map and calls the hook only.
class TestComponent : public VQXPropertyStorageExImpl_T<VQXInterfaceImpl<ITestComponent>> {
public:
    explicit TestComponent(std::vector<VQXPropertyInfoImpl> infos, RecordingListener::Log* hookLog = nullptr)
        : m_infos(std::move(infos)), m_hookLog(hookLog) {
        RegisterProperties(m_infos.data(), static_cast<uint32>(m_infos.size()));
    }
    int32 VQX_CALL Answer() override { return 42; }

    void SetInternal(const wchar_t* name, const VQXVARIANT& value) {
        SetValueInMap(name, value);
        OnPropertyChanged(name);
    }
    void VQX_CALL OnPropertyChanged(const wchar_t* name) override {
        if (m_hookLog != nullptr) m_hookLog->emplace_back("hook", name);
        // Where "Shadow" is described, it follows "Level" without validation and listeners.
        const VQXPropertyInfo* shadow = nullptr;
        if (std::wstring(name) == L"Level" && GetPropertyInfo(L"Shadow", &shadow) == VQX_OK) {
            SetInternal(L"Shadow", *FindValueInMap(L"Level"));
        }
    }
    VQX_ERROR VQX_CALL ValidateProperty(const wchar_t* name, VQXVARIANT value, VQXVARIANT* validated) override {
        if (name != nullptr && std::wstring(name) == L"Locked") return static_cast<VQX_ERROR>(301);
        return VQXPropertyStorageExImpl::ValidateProperty(name, value, validated);
    }
    std::vector<VQXPropertyInfoImpl>& Infos() { return m_infos; }
    using VQXPropertyStorageExImpl::PropertyInfoCount;
    using VQXPropertyStorageExImpl::PropertyInfos;

private:
    std::vector<VQXPropertyInfoImpl> m_infos;
    RecordingListener::Log* m_hookLog;
};

inline VQXPtr<TestComponent> MakeComponent(std::vector<VQXPropertyInfoImpl> infos,
                                           RecordingListener::Log* hookLog = nullptr) {
    return VQXPtr<TestComponent>::Adopt(CreateInstance<TestComponent>(std::move(infos), hookLog));
}

}  // namespace vqx_test
