#include "standin_edid.h"

namespace standin {
namespace {

constexpr uint8_t kEdidHeader[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
constexpr int kBlockSize = 128;
constexpr int kExtensionCountOffset = 126;
constexpr int kPreferredDescriptorOffset = 54;

bool BlockSumsToZero(const uint8_t* block) {
    unsigned sum = 0;
    for (int i = 0; i < kBlockSize; ++i)
        sum += block[i];
    return (sum & 0xFF) == 0;
}

}  // namespace

bool IsAcceptableAcquireRecord(const uint8_t* record) {
    if (ReadInt32(record, 0) != layout::kAcquireRecordSize) return false;
    if (ReadInt32(record, layout::kAcquireEdidLengthOffset) != layout::kAcquireEdidSize) return false;
    const uint8_t* edid = record + layout::kAcquireEdidOffset;
    if (std::memcmp(edid, kEdidHeader, sizeof kEdidHeader) != 0) return false;
    if (edid[kExtensionCountOffset] != 1) return false;
    return BlockSumsToZero(edid) && BlockSumsToZero(edid + kBlockSize);
}

bool ReadPreferredMode(const uint8_t* edid, Mode* mode) {
    const uint8_t* d = edid + kPreferredDescriptorOffset;
    const int pixel_clock = d[0] | (d[1] << 8);
    if (pixel_clock == 0) return false;
    const int hactive = d[2] | ((d[4] & 0xF0) << 4);
    const int hblank = d[3] | ((d[4] & 0x0F) << 8);
    const int vactive = d[5] | ((d[7] & 0xF0) << 4);
    const int vblank = d[6] | ((d[7] & 0x0F) << 8);
    mode->width = static_cast<int16_t>(hactive);
    mode->height = static_cast<int16_t>(vactive);
    mode->htotal = static_cast<int16_t>(hactive + hblank);
    mode->vtotal = static_cast<int16_t>(vactive + vblank);
    mode->pixel_clock = static_cast<int16_t>(pixel_clock);
    return true;
}

}  // namespace standin
