// The display library's entry points (C calling convention, bound by name) and the byte layouts
// of the records exchanged with it (little-endian, offsets in bytes; fields not named here are
// neither read nor written by either side). The one description of these records: the binding
// of vqx.dll and the stand-in display library (drivers/grxapixx) both compile against it.
// Ownership: none. Thread rules: none (types and constants).
#pragma once

#include <cstdint>
#include <cstring>

namespace grx {

// Opaque: copied from a display record and passed back by value to name the display.
struct DisplayId {
    int32_t words[4];
};
static_assert(sizeof(DisplayId) == 16, "a display id is four 32-bit words passed by value");

inline bool operator==(const DisplayId& a, const DisplayId& b) {
    return std::memcmp(a.words, b.words, sizeof a.words) == 0;
}

namespace layout {
constexpr int32_t kAdapterRecordSize = 1572;
constexpr int kAdapterIndexOffset = 4;
constexpr int kAdapterNameOffset = 536;  // NUL-terminated 8-bit text up to the record's end
constexpr int kAdapterNameCapacity = kAdapterRecordSize - kAdapterNameOffset;

constexpr int32_t kDisplayRecordSize = 552;
constexpr int kDisplayIdOffset = 0;
constexpr int kDisplayNameOffset = 16;  // NUL-terminated 8-bit text; vqx does not read it
constexpr int kDisplayKindOffset = 540;
constexpr int32_t kRemoteDisplayKind = 17;  // the only kind that can be acquired remotely

constexpr int32_t kAcquireRecordSize = 1032;
constexpr int kAcquireEdidLengthOffset = 4;
constexpr int kAcquireEdidOffset = 8;
constexpr int32_t kAcquireEdidSize = 256;  // a base block and one extension block
constexpr int kAcquireZeroOffset = 264;    // 256 zero bytes
constexpr int kAcquireFillOffset = 520;    // 512 bytes 0xFF
constexpr uint8_t kAcquireFillByte = 0xFF;

constexpr int32_t kTimingRecordSize = 56;
constexpr int kTimingPresentOffset = 8;   // int32, 1: the record holds a timing
constexpr int kTimingRefreshOffset = 12;  // int32, refresh rate in millihertz
constexpr int kTimingScanOffset = 16;     // int32, 1: progressive scan
// A timing is usable when all three are non-zero.
constexpr int kTimingUsableFieldOffsets[3] = {kTimingPresentOffset, kTimingRefreshOffset, kTimingScanOffset};
constexpr int kTimingHTotalOffset = 26;      // int16, pixels per line
constexpr int kTimingWidthOffset = 28;       // int16
constexpr int kTimingVTotalOffset = 34;      // int16, lines per frame
constexpr int kTimingHeightOffset = 36;      // int16
constexpr int kTimingPixelClockOffset = 42;  // int16, units of 10 kHz

// Every field lies inside its record, and the parts of the acquire record follow one another.
static_assert(kAdapterIndexOffset + 4 <= kAdapterNameOffset && kAdapterNameCapacity > 0);
static_assert(kDisplayIdOffset + int{sizeof(DisplayId)} <= kDisplayNameOffset &&
              kDisplayNameOffset < kDisplayKindOffset);
static_assert(kDisplayKindOffset + 4 <= kDisplayRecordSize);
static_assert(kAcquireEdidOffset + kAcquireEdidSize == kAcquireZeroOffset);
static_assert(kAcquireZeroOffset + 256 == kAcquireFillOffset && kAcquireFillOffset + 512 == kAcquireRecordSize);
static_assert(kTimingScanOffset + 4 <= kTimingHTotalOffset && kTimingPixelClockOffset + 2 <= kTimingRecordSize);
}  // namespace layout

inline int32_t ReadInt32(const uint8_t* base, int offset) {
    int32_t value;
    std::memcpy(&value, base + offset, sizeof value);
    return value;
}

inline int16_t ReadInt16(const uint8_t* base, int offset) {
    int16_t value;
    std::memcpy(&value, base + offset, sizeof value);
    return value;
}

inline void WriteInt32(uint8_t* base, int offset, int32_t value) {
    std::memcpy(base + offset, &value, sizeof value);
}

inline void WriteInt16(uint8_t* base, int offset, int16_t value) {
    std::memcpy(base + offset, &value, sizeof value);
}

// The caller's allocator handed to the library: standard calling convention, malloc underneath.
using AllocationCallback = void*(__stdcall*)(int32_t size);

using MainControlCreateFn = int32_t(__cdecl*)(AllocationCallback allocate, int32_t version);
using MainControlDestroyFn = int32_t(__cdecl*)();
using AdapterCountGetFn = int32_t(__cdecl*)(int32_t* count);
using AdapterInfoGetFn = int32_t(__cdecl*)(uint8_t* records, int32_t byte_size);
using DisplayInfoGetFn = int32_t(__cdecl*)(int32_t adapter_index, int32_t* count, uint8_t** records, int32_t flags);
using DisplayAcquireFn = int32_t(__cdecl*)(int32_t adapter_index, DisplayId id, uint8_t* acquire_record,
                                           int32_t* handle);
using DisplayReleaseFn = int32_t(__cdecl*)(int32_t adapter_index, DisplayId id, int32_t handle);
using DisplayReleaseAllFn = int32_t(__cdecl*)();
using TargetTimingGetFn = int32_t(__cdecl*)(int32_t adapter_index, DisplayId id, uint8_t* timing_record);

// The nine entry points, in the order they are resolved.
struct GRXFunctions {
    MainControlCreateFn mainControlCreate;
    MainControlDestroyFn mainControlDestroy;
    AdapterCountGetFn adapterCountGet;
    AdapterInfoGetFn adapterInfoGet;
    DisplayInfoGetFn displayInfoGet;
    DisplayAcquireFn displayAcquire;
    DisplayReleaseFn displayRelease;
    DisplayReleaseAllFn displayReleaseAll;
    TargetTimingGetFn targetTimingGet;
};

}  // namespace grx
