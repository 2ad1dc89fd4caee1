// A table-driven CRC-32; a dozen lines do not justify a library in a driver stand-in.
#include "crc32.h"

#include <array>

namespace qzt {
namespace {

std::array<uint32_t, 256> MakeTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t value = i;
        for (int bit = 0; bit < 8; ++bit) {
            value = (value & 1) != 0 ? 0xEDB88320u ^ (value >> 1) : value >> 1;
        }
        table[i] = value;
    }
    return table;
}

}  // namespace

uint32_t Crc32(uint32_t crc, const uint8_t* data, size_t size) {
    static const std::array<uint32_t, 256> table = MakeTable();
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) {
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    }
    return ~crc;
}

uint32_t VisibleCrc32(const Picture& picture, int width, int height) {
    uint32_t crc = 0;
    for (int y = 0; y < height; ++y) {
        crc = Crc32(crc, picture.y.data() + static_cast<size_t>(y) * picture.width, static_cast<size_t>(width));
    }
    for (const std::vector<uint8_t>* plane : {&picture.u, &picture.v}) {
        for (int y = 0; y < height / 2; ++y) {
            crc = Crc32(crc, plane->data() + static_cast<size_t>(y) * picture.ChromaWidth(),
                        static_cast<size_t>(width / 2));
        }
    }
    return crc;
}

}  // namespace qzt
