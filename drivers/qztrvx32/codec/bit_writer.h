// Writes H.264 raw byte sequence payloads (RBSP) bit by bit, and wraps a finished payload into an
// Annex-B NAL unit with emulation prevention. Ownership: writes into a caller-owned byte vector.
// Thread rules: one writer per thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qzt {

class BitWriter {
public:
    // Appends to `out`, which keeps its earlier contents.
    explicit BitWriter(std::vector<uint8_t>& out) : m_out(out) {}

    void Bits(uint32_t value, int count);  // the low `count` bits (at most 32), most significant first
    void Flag(bool value) { Bits(value ? 1u : 0u, 1); }
    void Ue(uint32_t value);  // unsigned Exp-Golomb
    void Se(int32_t value);   // signed Exp-Golomb
    void AlignWithZeros();    // zero bits up to the next byte boundary
    void TrailingBits();      // rbsp_stop_one_bit, then zeros to the boundary
    bool IsAligned() const { return m_pending == 0; }
    // Appends whole bytes; the writer must be aligned.
    void Bytes(const uint8_t* data, size_t count);
    // The bits written that do not fill a byte yet (right-aligned), and how many (0 to 7).
    uint32_t PendingBits() const { return m_cache; }
    int PendingCount() const { return m_pending; }
    // Appends what another writer wrote: its whole bytes, then its pending bits (aligned or not).
    void Append(const std::vector<uint8_t>& bytes, uint32_t pendingBits, int pendingCount);

private:
    std::vector<uint8_t>& m_out;
    uint32_t m_cache = 0;  // pending bits, right-aligned
    int m_pending = 0;     // number of pending bits, below 8 between calls
};

// Appends a 4-byte start code, the NAL header byte and `rbsp` with emulation prevention bytes
// (0x03 after every two zero bytes that precede a byte of 0 to 3).
void AppendNalUnit(std::vector<uint8_t>& out, uint8_t nalRefIdc, uint8_t nalUnitType, const std::vector<uint8_t>& rbsp);

}  // namespace qzt
