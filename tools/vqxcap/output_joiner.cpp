#include "output_joiner.h"

#include "packet_timing.h"

namespace vqxcap {

void OutputJoiner::Add(const EncodedOutput& output, std::vector<Packet>& ready) {
    if (output.size == 0 || output.data == nullptr) return;
    const bool continuation = output.type == kOutputTypeContinuation;
    if (continuation && m_pending && m_pending->timestamp == output.timestamp) {
        m_pending->bytes.insert(m_pending->bytes.end(), output.data, output.data + output.size);
        ready.push_back(std::move(*m_pending));
        m_pending.reset();
        return;
    }
    // A first part whose continuation never came is a packet of its own.
    Flush(ready);
    Packet packet{std::vector<uint8_t>(output.data, output.data + output.size), output.timestamp,
                  IsKeyframeType(output.type)};
    if (m_splitOutputs && !continuation) {
        m_pending = std::move(packet);
    } else {
        ready.push_back(std::move(packet));
    }
}

void OutputJoiner::Flush(std::vector<Packet>& ready) {
    if (!m_pending) return;
    ready.push_back(std::move(*m_pending));
    m_pending.reset();
}

}  // namespace vqxcap
