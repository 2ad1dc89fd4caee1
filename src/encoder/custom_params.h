// Settings that a running video encoder reads on every output query, shared with the property set.
// Ownership: held by shared pointer by the property set and by the video encoder.
// Thread rules: the field is atomic; one thread may write it while another reads it.
#pragma once

#include <vqx/platform.h>

#include <atomic>

namespace vqx {

struct CustomParams {
    // Longest wait for an output, in milliseconds; 0 polls once without waiting for the frame time.
    std::atomic<uint64> waitFrameMax{0};
};

}  // namespace vqx
