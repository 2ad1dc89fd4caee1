// Turns encoder outputs into container packets, one per picture. With split outputs ("Output
// Type" 1) each output arrives as two buffers, the second a continuation (type -1) with the same
// timestamp; the two become one packet.
// Ownership: packets own copies of their bytes. Thread rules: one instance per stream, one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace vqxcap {

// One buffer as the encoder hands it out.
struct EncodedOutput {
    const uint8_t* data = nullptr;
    size_t size = 0;
    int32_t type = -1;      // VQXZepBuffer::GetType
    int64_t timestamp = 0;  // 100-nanosecond units
};

struct Packet {
    std::vector<uint8_t> bytes;
    int64_t timestamp = 0;  // 100-nanosecond units
    bool keyframe = false;
};

class OutputJoiner {
public:
    explicit OutputJoiner(bool splitOutputs) : m_splitOutputs(splitOutputs) {}

    // Takes one output; appends to `ready` the packets it completes, in stream order.
    void Add(const EncodedOutput& output, std::vector<Packet>& ready);
    // Hands out a packet still waiting for its continuation (when a capture ends).
    void Flush(std::vector<Packet>& ready);

private:
    const bool m_splitOutputs;
    std::optional<Packet> m_pending;  // first part of a split output
};

}  // namespace vqxcap
