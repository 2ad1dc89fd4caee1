// The stand-in's live encoders by handle. Ownership: owns the encoders. Thread rules: used
// under ServiceMutex().
#pragma once

#include "encoder_session.h"

#include <cstdint>
#include <map>
#include <memory>

namespace qzt {

class EncoderRegistry {
public:
    // The new encoder's handle (never 0), or 0 when kMaxEncoders encoders exist.
    uint32_t Add(std::unique_ptr<EncoderSession> session);
    EncoderSession* Find(uint32_t handle) const;
    // The encoder created last among the live ones, or null.
    EncoderSession* Newest() const;
    bool Remove(uint32_t handle);
    // Resources handed out and not reclaimed, over every encoder.
    uint32_t OutstandingCount() const;

private:
    std::map<uint32_t, std::unique_ptr<EncoderSession>> m_sessions;
    uint32_t m_nextHandle = 0x5100;
};

EncoderRegistry& Registry();

}  // namespace qzt
