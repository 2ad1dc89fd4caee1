// Test doubles for the property storage tests: storages and a component written as a host would,
// value objects with observable reference counts, a recording listener; traces are recorded by
// TraceRecorder (tests/trace).
#pragma once

#include <vqx/vqx.h>

#include "../trace/trace_recorder.h"

#include <string>
#include <utility>
#include <vector>

namespace vqx::test {

using namespace vqx;

// A storage owned by the test scope: counts references but never deletes itself. Given another
// answer than VQX_OK, SetProperty returns it (and stores only when it is VQX_REPEAT).
class PlainStorage : public VQXPropertyStorageImpl {
public:
    explicit PlainStorage(VQX_ERROR answer = VQX_OK) : m_answer(answer) {}
    VQX_ERROR VQX_CALL SetProperty(const wchar_t* name, VQXVARIANT value) override {
        if (m_answer == VQX_OK) return VQXPropertyStorageImpl::SetProperty(name, value);
        if (m_answer == VQX_REPEAT) VQXPropertyStorageImpl::SetProperty(name, value);
        return m_answer;
    }
    int32 VQX_CALL Acquire() override { return ++m_refs; }
    int32 VQX_CALL Release() override { return --m_refs; }
    int32 Refs() const { return m_refs; }
    const VQXVARIANT* Stored(const wchar_t* name) const { return FindValueInMap(name); }

private:
    VQX_ERROR m_answer;
    int32 m_refs = 0;
};

class IOpaque : public virtual VQXInterface {
public:
    static const wchar_t* IID() { return L"\"IOpaque\""; }
};
class Opaque : public VQXInterfaceImpl<IOpaque> {};  // a value object without VQXClonable

// A clonable value object; Duplicate answers `answer` and hands out a copy on success (or always,
// with copyOnFailure). Live instances are counted.
class Buffer : public VQXInterfaceImpl<VQXClonable> {
public:
    static int& Alive() {
        static int alive = 0;
        return alive;
    }
    explicit Buffer(VQX_ERROR answer = VQX_OK, bool copyOnFailure = false)
        : m_answer(answer), m_copyOnFailure(copyOnFailure) {
        ++Alive();
    }
    ~Buffer() override { --Alive(); }

    VQX_ERROR VQX_CALL Duplicate(VQXInterface** ppCopy) override {
        if (m_answer == VQX_OK || m_answer == VQX_REPEAT || m_copyOnFailure) {
            *ppCopy = static_cast<VQXInterface*>(CreateInstance<Buffer>());
        }
        return m_answer;
    }

private:
    VQX_ERROR m_answer;
    bool m_copyOnFailure;
};

inline int32 RefCount(VQXInterface* object) {
    return object->Acquire(), object->Release();
}

// Records (tag, name) of every notification into a shared log.
class RecordingListener : public VQXPropertyStorageListener {
public:
    using Log = std::vector<std::pair<std::string, std::wstring>>;
    RecordingListener(std::string tag, Log* log) : m_tag(std::move(tag)), m_log(log) {}
    void VQX_CALL OnPropertyChanged(const wchar_t* name) override { m_log->emplace_back(m_tag, name); }

private:
    std::string m_tag;
    Log* m_log;
};

inline VQXVariant Int(int64 value) {
    return VQXVariant::FromInt64(value);
}
inline VQXVariant Dbl(double value) {
    return VQXVariant::FromDouble(value);
}
inline VQXVariant Text(const char* value) {
    return VQXVariant::FromString(value);
}
inline VQXVariant WText(const wchar_t* value) {
    return VQXVariant::FromWString(value);
}

// Same kind and same value (VQXVariantCompare's rules).
inline bool Same(const VQXVARIANT& a, const VQXVARIANT& b) {
    bool equal = false;
    return VQXVariantCompare(&a, &b, equal) == VQX_OK && equal;
}

// The value of name (empty when the storage answers an error).
inline VQXVariant Read(VQXPropertyStorage& storage, const wchar_t* name) {
    VQXVariant value;
    storage.GetProperty(name, &value);
    return value;
}
template <class T>
VQXVariant Read(const VQXPtr<T>& storage, const wchar_t* name) {
    return Read(*storage.get(), name);
}

// A host's own component interface and component on top of the validated storage template.
class ITestComponent : public virtual VQXPropertyStorageEx {
public:
    static const wchar_t* IID() { return L"\"ITestComponent\""; }
};

inline const VQXEnumDescriptionEntry* SpeedEntries() {
    static const VQXEnumDescriptionEntry entries[] = {
        {0, "Slow", nullptr}, {1, "Fast", nullptr}, {-1, "Reverse", nullptr}, {0, nullptr, nullptr}};
    return entries;
}

inline VQXPropertyInfoImpl Info(const wchar_t* name, VQX_VARIANT_TYPE type, const VQXVARIANT& def,
                                const VQXVARIANT& min = VQXVariant(), const VQXVARIANT& max = VQXVariant(),
                                VQX_PROPERTY_CONTENT_TYPE content = VQX_PROPERTY_CONTENT_DEFAULT,
                                const VQXEnumDescriptionEntry* entries = nullptr) {
    return VQXPropertyInfoImpl(name, name, type, content, def, min, max, true, entries);
}
inline VQXPropertyInfoImpl Int64Info(const wchar_t* name, int64 def, int64 min, int64 max,
                                     VQX_PROPERTY_CONTENT_TYPE content = VQX_PROPERTY_CONTENT_DEFAULT) {
    return Info(name, VQX_VARIANT_INT64, Int(def), Int(min), Int(max), content);
}

// Owns its descriptions and registers them without copying. The hook logs, and where "Shadow" is
// described it makes "Shadow" follow "Level" through the internal setter (no validation, no listeners).
class TestComponent : public VQXPropertyStorageExImpl_T<VQXInterfaceImpl<ITestComponent>> {
public:
    explicit TestComponent(std::vector<VQXPropertyInfoImpl> infos, RecordingListener::Log* hookLog = nullptr)
        : m_infos(std::move(infos)), m_hookLog(hookLog) {
        RegisterProperties(m_infos.data(), static_cast<uint32>(m_infos.size()));
    }

    void VQX_CALL OnPropertyChanged(const wchar_t* name) override {
        if (m_hookLog != nullptr) m_hookLog->emplace_back("hook", name);
        const VQXPropertyInfo* shadow = nullptr;
        if (std::wstring(name) == L"Level" && GetPropertyInfo(L"Shadow", &shadow) == VQX_OK) {
            SetValueInMap(L"Shadow", *FindValueInMap(L"Level"));
            OnPropertyChanged(L"Shadow");
        }
    }
    VQX_ERROR VQX_CALL ValidateProperty(const wchar_t* name, VQXVARIANT value, VQXVARIANT* validated) override {
        if (name != nullptr && std::wstring(name) == L"Locked") return static_cast<VQX_ERROR>(301);
        return VQXPropertyStorageExImpl::ValidateProperty(name, value, validated);
    }
    std::vector<VQXPropertyInfoImpl>& Infos() { return m_infos; }

private:
    std::vector<VQXPropertyInfoImpl> m_infos;
    RecordingListener::Log* m_hookLog;
};

inline VQXPtr<TestComponent> MakeComponent(std::vector<VQXPropertyInfoImpl> infos,
                                           RecordingListener::Log* hookLog = nullptr) {
    return VQXPtr<TestComponent>::Adopt(CreateInstance<TestComponent>(std::move(infos), hookLog));
}

}  // namespace vqx::test
