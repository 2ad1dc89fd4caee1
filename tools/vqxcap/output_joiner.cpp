#include "output_joiner.h"

#include "packet_timing.h"

namespace vqxcap {

void OutputJoiner::Add(const EncodedOutput& output, std::vector<Packet>& ready) {
    if (output.size == 0 || output.data == nullptr) return;
    const bool continuation = output.type == kOutputTypeContinuation;
    if (continuation && pending_ && pending_->timestamp == output.timestamp) {
        pending_->bytes.insert(pending_->bytes.end(), output.data, output.data + output.size);
        ready.push_back(std::move(*pending_));
        pending_.reset();
        return;
    }
    // A first part whose continuation never came is a packet of its own.
    Flush(ready);
    Packet packet{std::vector<uint8_t>(output.data, output.data + output.size), output.timestamp,
                  IsKeyframeType(output.type)};
    if (splitOutputs_ && !continuation) {
        pending_ = std::move(packet);
    } else {
        ready.push_back(std::move(packet));
    }
}

void OutputJoiner::Flush(std::vector<Packet>& ready) {
    if (!pending_) return;
    ready.push_back(std::move(*pending_));
    pending_.reset();
}

}  // namespace vqxcap
