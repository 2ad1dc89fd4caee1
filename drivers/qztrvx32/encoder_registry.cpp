// Handles of the stand-in's encoders.
#include "encoder_registry.h"

#include "qzt_test_api.h"

#include <memory>

namespace qzt {

uint32_t EncoderRegistry::Add(std::unique_ptr<EncoderSession> session) {
    if (sessions_.size() >= kMaxEncoders) {
        return 0;
    }
    uint32_t handle = 0;
    do {
        handle = ++nextHandle_;
    } while (handle == 0 || sessions_.count(handle) != 0);
    sessions_.emplace(handle, std::move(session));
    return handle;
}

EncoderSession* EncoderRegistry::Find(uint32_t handle) const {
    const auto found = sessions_.find(handle);
    return found == sessions_.end() ? nullptr : found->second.get();
}

EncoderSession* EncoderRegistry::Newest() const {
    return sessions_.empty() ? nullptr : sessions_.rbegin()->second.get();
}

bool EncoderRegistry::Remove(uint32_t handle) {
    return sessions_.erase(handle) != 0;
}

uint32_t EncoderRegistry::OutstandingCount() const {
    uint32_t count = 0;
    for (const auto& entry : sessions_) {
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
