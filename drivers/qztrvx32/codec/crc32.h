// CRC-32 (IEEE 802.3, reflected, as zlib and ffmpeg's framehash "crc32" compute it) of a
// picture's visible samples, so that tests can compare the encoder's reconstruction with what
// a decoder shows. Ownership: none. Thread rules: stateless, any thread.
#pragma once

#include "picture.h"

#include <cstddef>
#include <cstdint>

namespace qzt {

// Continues `crc` (0 to start) over `size` bytes.
uint32_t Crc32(uint32_t crc, const uint8_t* data, size_t size);

// CRC-32 of the visible width x height area as planar I420 (Y rows, then U, then V, unpadded).
uint32_t VisibleCrc32(const Picture& picture, int width, int height);

}  // namespace qzt
