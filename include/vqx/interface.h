// The reference-counted interface root, interface identifiers and the reusable implementation.
// Ownership: every interface pointer handed out carries one reference that the receiver releases.
// Thread rules: Acquire/Release are atomic and may be called from any thread.
#pragma once

#include <vqx/error.h>

#include <atomic>
#include <cwchar>
#include <utility>

namespace vqx {

// Identifiers are compared by their UTF-16 code units, never by pointer.
inline bool IsSameIID(const wchar_t* a, const wchar_t* b) {
    return a != nullptr && b != nullptr && std::wcscmp(a, b) == 0;
}

// Root of every interface; always inherited virtually so an object has one count and one root.
class VQXInterface {
public:
    static const wchar_t* IID() {
        static const wchar_t id[] = L"\"VQXUnknown\"";
        return id;
    }
    virtual ~VQXInterface() = default;
    virtual int32 VQX_CALL Acquire() = 0;
    virtual int32 VQX_CALL Release() = 0;
    virtual VQX_ERROR VQX_CALL QueryInterface(const wchar_t* interfaceId, void** ppInterface) = 0;
};

// Reference counting and identifier query for an interface T (which inherits VQXInterface
// virtually). The count starts at 0; the last Release deletes the object.
template <class T>
class VQXInterfaceImpl : public T {
public:
    VQXInterfaceImpl() = default;
    VQXInterfaceImpl(const VQXInterfaceImpl&) = delete;
    VQXInterfaceImpl& operator=(const VQXInterfaceImpl&) = delete;

    int32 VQX_CALL Acquire() override { return ++m_refCount; }

    int32 VQX_CALL Release() override {
        const int32 count = --m_refCount;
        if (count == 0) {
            VQXInterface* root = static_cast<VQXInterface*>(this);
            delete root;
        }
        return count;
    }

    VQX_ERROR VQX_CALL QueryInterface(const wchar_t* interfaceId, void** ppInterface) override {
        if (IsSameIID(interfaceId, VQXInterface::IID())) {
            VQXInterface* root = static_cast<VQXInterface*>(this);
            *ppInterface = root;
            root->Acquire();
            return VQX_OK;
        }
        if (IsSameIID(interfaceId, T::IID())) {
            T* iface = this;
            *ppInterface = iface;
            iface->Acquire();
            return VQX_OK;
        }
        return VQX_NO_INTERFACE;
    }

    // Appended after all of T's operations: the current count, unchanged.
    virtual int32 VQX_CALL GetRefCount() { return m_refCount.load(); }

private:
    std::atomic<int32> m_refCount{0};
};

// Creates a reference-counted object and hands it out with a count of 1 (the factory rule).
// This and VQXInterfaceImpl::Release are the only places where such objects are allocated/freed.
template <class Impl, class... Args>
Impl* CreateInstance(Args&&... args) {
    Impl* object = new Impl(std::forward<Args>(args)...);
    object->Acquire();
    return object;
}

// Holds one reference to an interface and releases it when it goes out of scope.
template <class T>
class VQXPtr {
public:
    VQXPtr() = default;
    // Takes over a reference the caller already owns (no Acquire).
    static VQXPtr Adopt(T* p) {
        VQXPtr holder;
        holder.m_p = p;
        return holder;
    }
    // Shares an existing pointer (one Acquire).
    static VQXPtr Share(T* p) {
        if (p) p->Acquire();
        return Adopt(p);
    }
    VQXPtr(const VQXPtr& other) : m_p(other.m_p) {
        if (m_p) m_p->Acquire();
    }
    VQXPtr(VQXPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    VQXPtr& operator=(VQXPtr other) noexcept {
        std::swap(m_p, other.m_p);
        return *this;
    }
    ~VQXPtr() { reset(); }

    void reset() {
        if (T* p = std::exchange(m_p, nullptr)) p->Release();
    }
    T* get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    // For out-parameters: releases what is held and returns the slot to fill.
    T** put() {
        reset();
        return &m_p;
    }
    void** put_void() {
        reset();
        return reinterpret_cast<void**>(&m_p);
    }
    T* detach() { return std::exchange(m_p, nullptr); }

private:
    T* m_p = nullptr;
};

}  // namespace vqx
