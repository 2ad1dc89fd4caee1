// RBSP bit writer and Annex-B NAL unit framing.
#include "bit_writer.h"

#include <cstring>

namespace qzt {

void BitWriter::Bits(uint32_t value, int count) {
    while (count > 0) {
        const int take = count > 16 ? 16 : count;
        count -= take;
        m_cache = (m_cache << take) | ((value >> count) & ((1u << take) - 1u));
        m_pending += take;
        while (m_pending >= 8) {
            m_pending -= 8;
            m_out.push_back(static_cast<uint8_t>(m_cache >> m_pending));
        }
        m_cache &= (1u << m_pending) - 1u;
    }
}

void BitWriter::Ue(uint32_t value) {
    const uint64_t code = static_cast<uint64_t>(value) + 1;  // written in 2 * bits + 1 bits
    int bits = 0;
    while ((code >> (bits + 1)) != 0) {
        ++bits;
    }
    Bits(0, bits);
    if (bits == 32) {
        Bits(1, 1);
        Bits(static_cast<uint32_t>(code), 32);
    } else {
        Bits(static_cast<uint32_t>(code), bits + 1);
    }
}

void BitWriter::Se(int32_t value) {
    const int64_t wide = value;
    Ue(static_cast<uint32_t>(wide > 0 ? 2 * wide - 1 : -2 * wide));
}

void BitWriter::AlignWithZeros() {
    if (m_pending != 0) {
        Bits(0, 8 - m_pending);
    }
}

void BitWriter::TrailingBits() {
    Bits(1, 1);
    AlignWithZeros();
}

void BitWriter::Bytes(const uint8_t* data, size_t count) {
    m_out.insert(m_out.end(), data, data + count);
}

void BitWriter::Append(const std::vector<uint8_t>& bytes, uint32_t pendingBits, int pendingCount) {
    if (IsAligned()) {
        Bytes(bytes.data(), bytes.size());
    } else {
        for (const uint8_t byte : bytes) {
            Bits(byte, 8);
        }
    }
    Bits(pendingBits, pendingCount);
}

void AppendNalUnit(std::vector<uint8_t>& out, uint8_t nalRefIdc, uint8_t nalUnitType,
                   const std::vector<uint8_t>& rbsp) {
    const uint8_t header[] = {0, 0, 0, 1, static_cast<uint8_t>((nalRefIdc << 5) | nalUnitType)};
    out.insert(out.end(), header, header + sizeof header);
    const uint8_t* const data = rbsp.data();
    const size_t size = rbsp.size();
    size_t i = 0;
    int zeros = 0;  // zero bytes written just before position i
    while (i < size) {
        if (zeros == 2 && data[i] <= 3) {
            out.push_back(3);
            zeros = 0;
        }
        if (zeros == 0) {
            // Copy everything up to the next zero byte in one go.
            const void* const hit = std::memchr(data + i, 0, size - i);
            const size_t stop = hit ? static_cast<size_t>(static_cast<const uint8_t*>(hit) - data) : size;
            out.insert(out.end(), data + i, data + stop);
            i = stop;
            if (i == size) {
                break;
            }
        }
        const uint8_t byte = data[i++];
        out.push_back(byte);
        zeros = byte == 0 ? zeros + 1 : 0;
    }
}

}  // namespace qzt
