#include "access_unit_counter.h"

namespace vqxcap {
namespace {

constexpr uint8_t kNalTypeMask = 0x1F;
constexpr uint8_t kNalSlice = 1, kNalIdrSlice = 5, kNalSei = 6, kNalSps = 7, kNalPps = 8, kNalAud = 9;

bool IsSlice(uint8_t nalType) {
    return nalType == kNalSlice || nalType == kNalIdrSlice;
}

// first_mb_in_slice is the first ue(v) of the slice header; the value 0 is the single bit 1.
bool OpensPicture(uint8_t firstSliceByte) {
    return (firstSliceByte & 0x80) != 0;
}

}  // namespace

void AccessUnitCounter::OnByte(uint8_t byte) {
    if (m_afterStartCode == 1) {
        m_afterStartCode = IsSlice(byte & kNalTypeMask) ? 2 : 0;
    } else if (m_afterStartCode == 2) {
        if (OpensPicture(byte)) ++m_started;
        m_afterStartCode = 0;
    }
    if (byte == 0) {
        ++m_zeros;
        return;
    }
    if (byte == 1 && m_zeros >= 2) m_afterStartCode = 1;
    m_zeros = 0;
}

uint64_t AccessUnitCounter::Feed(const uint8_t* data, size_t size) {
    m_started = 0;
    for (size_t i = 0; i < size; ++i)
        OnByte(data[i]);
    m_pictures += m_started;
    return m_started;
}

bool BeginsAccessUnit(const uint8_t* data, size_t size) {
    size_t zeros = 0;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            ++zeros;
            continue;
        }
        if (data[i] != 1 || zeros < 2 || i + 1 >= size) return false;
        const uint8_t nalType = data[i + 1] & kNalTypeMask;
        if (nalType == kNalAud || nalType == kNalSps || nalType == kNalPps || nalType == kNalSei) return true;
        return IsSlice(nalType) && i + 2 < size && OpensPicture(data[i + 2]);
    }
    return false;
}

}  // namespace vqxcap
