// Counts pictures in an H.264 Annex-B byte stream fed in arbitrary pieces: a picture starts with
// a slice NAL unit (types 1 and 5) whose first_mb_in_slice is 0. Start codes split between two
// pieces are found too.
// Thread rules: one instance per stream, one thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vqxcap {

class AccessUnitCounter {
public:
    // Scans the piece; returns how many pictures start in it.
    uint64_t Feed(const uint8_t* data, size_t size);
    uint64_t Pictures() const { return m_pictures; }

private:
    void OnByte(uint8_t byte);

    uint64_t m_pictures = 0;
    uint64_t m_started = 0;    // pictures started in the current Feed
    int m_zeros = 0;           // zero bytes seen in a row
    int m_afterStartCode = 0;  // 1: next byte is a NAL header; 2: next byte opens a slice header
};

// True when the piece opens a new access unit: its first NAL unit is a delimiter, parameter set,
// SEI, or the first slice of a picture.
bool BeginsAccessUnit(const uint8_t* data, size_t size);

}  // namespace vqxcap
