// An 8-bit 4:2:0 picture in three planes, the unit every part of the stand-in's encoder works on.
// Ownership: owns its planes. Thread rules: plain value; one writer at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qzt {

// Width and height are even; chroma planes are half size each way; every row of a plane is
// contiguous (stride = plane width). The encoder's pictures cover whole macroblocks.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> y;
    std::vector<uint8_t> u;
    std::vector<uint8_t> v;

    void Resize(int newWidth, int newHeight) {
        width = newWidth;
        height = newHeight;
        y.assign(static_cast<size_t>(width) * height, 0);
        u.assign(static_cast<size_t>(width / 2) * (height / 2), 0);
        v.assign(u.size(), 0);
    }
    int ChromaWidth() const { return width / 2; }
    int ChromaHeight() const { return height / 2; }
};

}  // namespace qzt
