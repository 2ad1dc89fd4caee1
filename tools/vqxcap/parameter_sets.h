// The parameter sets (SPS and PPS NAL units) inside an H.264 Annex-B piece: a container needs
// them before its first packet (MP4 and Matroska codec records, the SDP of an RTP session).
// Thread rules: pure functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vqxcap {

// The SPS and PPS NAL units of the piece in stream order, each behind a 4-byte start code;
// empty when there are none.
std::vector<uint8_t> ExtractParameterSets(const uint8_t* data, size_t size);

// Whether the piece holds a sequence parameter set.
bool ContainsSequenceParameterSet(const uint8_t* data, size_t size);

}  // namespace vqxcap
