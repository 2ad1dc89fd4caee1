// The Annex-B bytes of one output and where each NAL unit begins in them.
// Ownership: owns its bytes. Thread rules: plain value.
#pragma once

#include "bit_writer.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qzt {

struct CodedUnit {
    std::vector<uint8_t> bytes;
    std::vector<size_t> nalStarts;

    void Clear() {
        bytes.clear();
        nalStarts.clear();
    }
    // Appends a NAL unit (start code, header, payload with emulation prevention).
    void AppendNal(uint8_t nalRefIdc, uint8_t nalUnitType, const std::vector<uint8_t>& rbsp) {
        nalStarts.push_back(bytes.size());
        AppendNalUnit(bytes, nalRefIdc, nalUnitType, rbsp);
    }
};

}  // namespace qzt
