// One process-wide object of type T, created on first use and destroyed when the library is
// unloaded (or the process ends).
// Ownership: the library owns the object; Get hands out a non-owning pointer.
// Thread rules: creation is thread-safe; Get returns null once the object has been destroyed, so
// late callers during unload find nothing instead of a dead object.
#pragma once

#include <atomic>

namespace vqx::detail {

template <class T>
class ProcessSingleton {
public:
    static T* Get() {
        if (s_destroyed.load()) return nullptr;
        static Holder holder;
        return s_destroyed.load() ? nullptr : &holder.object;
    }

private:
    struct Holder {
        T object;
        ~Holder() { s_destroyed.store(true); }
    };
    // Constant-initialized and trivially destructible: still readable after the object is gone.
    static inline std::atomic<bool> s_destroyed{false};
};

}  // namespace vqx::detail
