#include <vqx/sync.h>

namespace vqx {

VQXLock::VQXLock(VQXSyncBase* object, uint32 timeout)
    : m_object(object), m_locked(object != nullptr && object->Lock(timeout)) {}

VQXLock::~VQXLock() {
    if (m_object != nullptr && m_locked) m_object->Unlock();
}

bool VQXLock::Lock(uint32 timeout) {
    if (m_object == nullptr) return false;
    m_locked = m_object->Lock(timeout);
    return m_locked;
}

bool VQXLock::Unlock() {
    if (m_object == nullptr) return false;
    const bool unlocked = m_object->Unlock();
    if (unlocked) m_locked = false;
    return unlocked;
}

bool VQXLock::IsLocked() const {
    return m_locked;
}

}  // namespace vqx
