// Handles of the stand-in's encoders.
#include "encoder_registry.h"

#include "qzt_test_api.h"

#include <memory>

namespace qzt {

uint32_t EncoderRegistry::Add(std::unique_ptr<EncoderSession> session) {
    if (m_sessions.size() >= kMaxEncoders) {
        return 0;
    }
    uint32_t handle = 0;
    do {
        handle = ++m_nextHandle;
    } while (handle == 0 || m_sessions.count(handle) != 0);
    m_sessions.emplace(handle, std::move(session));
    return handle;
}

EncoderSession* EncoderRegistry::Find(uint32_t handle) const {
    const auto found = m_sessions.find(handle);
    return found == m_sessions.end() ? nullptr : found->second.get();
}

EncoderSession* EncoderRegistry::Newest() const {
    return m_sessions.empty() ? nullptr : m_sessions.rbegin()->second.get();
}

bool EncoderRegistry::Remove(uint32_t handle) {
    return m_sessions.erase(handle) != 0;
}

uint32_t EncoderRegistry::OutstandingCount() const {
    uint32_t count = 0;
    for (const auto& entry : m_sessions) {
        count += entry.second->OutstandingCount();
    }
    return count;
}

EncoderRegistry& Registry() {
    // Never destroyed: at process exit Windows has already ended the encoders' worker threads, and
    // destroying a started encoder would wait for its worker for ever. Encoders a host destroys
    // are destroyed as usual; the ones still alive at exit go with the process.
    static EncoderRegistry* const registry = std::make_unique<EncoderRegistry>().release();
    return *registry;
}

}  // namespace qzt
