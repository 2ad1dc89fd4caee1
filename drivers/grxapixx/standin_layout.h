// Byte layouts of the records the display library exchanges with its caller, as the stand-in
// reads and writes them (little-endian, offsets in bytes).
// Ownership: none; helpers work on caller buffers. Thread rules: none needed (pure functions).
#pragma once

#include <cstdint>
#include <cstring>

namespace standin {

struct DisplayId {
    std::int32_t words[4];
};
static_assert(sizeof(DisplayId) == 16, "a display id is four 32-bit words passed by value");

inline bool operator==(const DisplayId& a, const DisplayId& b) {
    return std::memcmp(a.words, b.words, sizeof a.words) == 0;
}

// The caller's allocator (standard calling convention, malloc underneath).
using AllocationCallback = void*(__stdcall*)(std::int32_t size);

constexpr std::int32_t kAdapterRecordSize = 1572;
constexpr int kAdapterIndexOffset = 4;
constexpr int kAdapterNameOffset = 536;
constexpr int kAdapterNameCapacity = kAdapterRecordSize - kAdapterNameOffset;

constexpr std::int32_t kDisplayRecordSize = 552;
constexpr int kDisplayNameOffset = 16;
constexpr int kDisplayKindOffset = 540;
constexpr std::int32_t kRemoteDisplayKind = 17;

constexpr std::int32_t kAcquireRecordSize = 1032;
constexpr int kAcquireEdidLengthOffset = 4;
constexpr int kAcquireEdidOffset = 8;
constexpr std::int32_t kEdidSize = 256;

constexpr std::int32_t kTimingRecordSize = 56;
constexpr int kTimingPresentOffset = 8;   // 1: the record holds a timing
constexpr int kTimingRefreshOffset = 12;  // refresh rate in millihertz
constexpr int kTimingScanOffset = 16;     // 1: progressive scan
constexpr int kTimingHTotalOffset = 26;
constexpr int kTimingWidthOffset = 28;
constexpr int kTimingVTotalOffset = 34;
constexpr int kTimingHeightOffset = 36;
constexpr int kTimingPixelClockOffset = 42;  // units of 10 kHz

inline void PutInt32(std::uint8_t* base, int offset, std::int32_t value) {
    std::memcpy(base + offset, &value, sizeof value);
}
inline void PutInt16(std::uint8_t* base, int offset, std::int16_t value) {
    std::memcpy(base + offset, &value, sizeof value);
}
inline std::int32_t GetInt32(const std::uint8_t* base, int offset) {
    std::int32_t value;
    std::memcpy(&value, base + offset, sizeof value);
    return value;
}

// A display mode as the timing record carries it: 16-bit fields, pixel clock in 10 kHz units.
struct Mode {
    std::int16_t width;
    std::int16_t height;
    std::int16_t htotal;
    std::int16_t vtotal;
    std::int16_t pixel_clock;
};

}  // namespace standin
