// The built-in EDID and the acquire record that carries it.
#include "bindings/grx_edid.h"
#include "bindings/grx_error.h"
#include "bindings/grx_library.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

int BlockSum(std::size_t first) {
    int sum = 0;
    for (std::size_t i = first; i < first + 128; ++i) sum += grx::kBuiltInEdid[i];
    return sum % 256;
}

std::string HexRow(std::size_t offset) {
    std::string row;
    char byte[4];
    for (std::size_t i = offset; i < offset + 16; ++i) {
        std::snprintf(byte, sizeof byte, i + 1 < offset + 16 ? "%02X " : "%02X", grx::kBuiltInEdid[i]);
        row += byte;
    }
    return row;
}

int Bits(std::uint8_t value, int high, int low) { return (value >> low) & ((1 << (high - low + 1)) - 1); }

}  // namespace

TEST(BuiltInEdid, BothBlocksSumToZero) {
    EXPECT_EQ(0, BlockSum(0));
    EXPECT_EQ(0, BlockSum(128));
    EXPECT_EQ(0xC0, grx::kBuiltInEdid[127]);
    EXPECT_EQ(0xCB, grx::kBuiltInEdid[255]);
}

TEST(BuiltInEdid, RowsAsPublished) {
    const char* rows[] = {
        "00 FF FF FF FF FF FF 00 47 54 01 A0 01 00 00 00", "01 16 01 03 80 90 51 78 EA 0D C9 A0 57 47 98 27",
        "12 48 4C 20 00 00 01 01 01 01 01 01 01 01 01 01", "01 01 01 01 01 01 02 3A 80 18 71 38 2D 40 58 2C",
        "45 00 A0 2A 53 00 00 1E 00 00 00 FC 00 51 5A 54", "20 57 69 72 65 6C 65 73 73 0A 00 00 00 10 00 00",
        "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 10", "00 00 00 00 00 00 00 00 00 00 00 00 00 00 01 C0",
        "02 03 00 70 49 10 1F 20 04 13 3C 03 12 01 23 09", "06 01 E2 00 AA 00 00 00 00 00 00 00 00 00 00 00",
    };
    for (std::size_t row = 0; row < 10; ++row) EXPECT_EQ(rows[row], HexRow(row * 16)) << "row at " << row * 16;
    for (std::size_t i = 160; i < 255; ++i) EXPECT_EQ(0, grx::kBuiltInEdid[i]) << "byte " << i;
}

TEST(BuiltInEdid, BaseBlockFieldsDecode) {
    const auto& e = grx::kBuiltInEdid;
    const int id = (e[8] << 8) | e[9];
    const std::string manufacturer = {static_cast<char>('A' - 1 + Bits(id >> 8, 6, 2)),
                                      static_cast<char>('A' - 1 + ((id >> 5) & 0x1F)),
                                      static_cast<char>('A' - 1 + (id & 0x1F))};
    EXPECT_EQ("QZT", manufacturer);
    EXPECT_EQ(0xA001, e[10] | (e[11] << 8));
    EXPECT_EQ(1u, e[12] | (e[13] << 8) | (e[14] << 16) | (static_cast<unsigned>(e[15]) << 24));
    EXPECT_EQ(2012, 1990 + e[17]);
    EXPECT_EQ(1, e[18]);
    EXPECT_EQ(3, e[19]);
    EXPECT_EQ(144, e[21]);
    EXPECT_EQ(81, e[22]);
    EXPECT_EQ(220, e[23] + 100);
    EXPECT_EQ(1, Bits(e[24], 1, 1)) << "preferred timing is descriptor 1";
    EXPECT_EQ(1, e[126]);
}

TEST(BuiltInEdid, PreferredTimingIs1080p60) {
    const std::uint8_t* d = grx::kBuiltInEdid.data() + 54;
    const int pixel_clock = d[0] | (d[1] << 8);
    const int hactive = d[2] | (Bits(d[4], 7, 4) << 8);
    const int hblank = d[3] | (Bits(d[4], 3, 0) << 8);
    const int vactive = d[5] | (Bits(d[7], 7, 4) << 8);
    const int vblank = d[6] | (Bits(d[7], 3, 0) << 8);
    EXPECT_EQ(14850, pixel_clock);
    EXPECT_EQ(1920, hactive);
    EXPECT_EQ(280, hblank);
    EXPECT_EQ(1080, vactive);
    EXPECT_EQ(45, vblank);
    EXPECT_EQ(88, d[8] | (Bits(d[11], 7, 6) << 8));
    EXPECT_EQ(44, d[9] | (Bits(d[11], 5, 4) << 8));
    EXPECT_EQ(4, Bits(d[10], 7, 4));
    EXPECT_EQ(5, Bits(d[10], 3, 0));
    EXPECT_EQ(1440, d[12] | (Bits(d[14], 7, 4) << 8));
    EXPECT_EQ(810, d[13] | (Bits(d[14], 3, 0) << 8));
    EXPECT_EQ(0x1E, d[17]);
    // 148.5 MHz over 2200 x 1125 is exactly 60 frames per second.
    EXPECT_EQ(0, (pixel_clock * 10000LL) % ((hactive + hblank) * (vactive + vblank)));
    EXPECT_EQ(60, (pixel_clock * 10000LL) / ((hactive + hblank) * (vactive + vblank)));
}

TEST(BuiltInEdid, DescriptorsAndExtension) {
    const auto& e = grx::kBuiltInEdid;
    EXPECT_EQ(0xFC, e[75]);
    EXPECT_EQ("QZT Wireless\n", std::string(reinterpret_cast<const char*>(&e[77]), 13));
    EXPECT_EQ(0x10, e[93]);
    EXPECT_EQ(0x10, e[111]);
    EXPECT_EQ(0x02, e[128]);
    EXPECT_EQ(3, e[129]);
    EXPECT_EQ(0x70, e[131]);
    ASSERT_EQ(2, Bits(e[132], 7, 5));
    ASSERT_EQ(9, Bits(e[132], 4, 0));
    const int svds[] = {16, 31, 32, 4, 19, 60, 3, 18, 1};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(svds[i], e[133 + i]);
    EXPECT_EQ(1, Bits(e[142], 7, 5));
    EXPECT_EQ(3, Bits(e[142], 4, 0));
    EXPECT_EQ(7, Bits(e[146], 7, 5));
    EXPECT_EQ(0xAA, e[148]);
}

TEST(AcquireRecord, LayoutAroundTheEdid) {
    const grx::AcquireRecord record = grx::BuildAcquireRecord();
    ASSERT_EQ(1032u, record.size());
    EXPECT_EQ(1032, grx::ReadInt32(record.data(), 0));
    EXPECT_EQ(256, grx::ReadInt32(record.data(), 4));
    for (std::size_t i = 0; i < 256; ++i) ASSERT_EQ(grx::kBuiltInEdid[i], record[8 + i]) << "EDID byte " << i;
    for (std::size_t i = 264; i < 520; ++i) ASSERT_EQ(0x00, record[i]) << "byte " << i;
    for (std::size_t i = 520; i < 1032; ++i) ASSERT_EQ(0xFF, record[i]) << "byte " << i;
}

TEST(GrxRuntimeError, FixedMessageAndCode) {
    const grx::grx_runtime_error error(-7);
    EXPECT_STREQ("GRX error occured", error.what());
    EXPECT_EQ(-7, error.code);
    const std::runtime_error& base = error;
    EXPECT_STREQ("GRX error occured", base.what());
}

TEST(AllocationCallback, HandsOutCHeapMemory) {
    void* block = grx::detail::AllocateForLibrary(64);
    ASSERT_NE(nullptr, block);
    std::free(block);
    EXPECT_EQ(nullptr, grx::detail::AllocateForLibrary(0));
    EXPECT_EQ(nullptr, grx::detail::AllocateForLibrary(-5));
}
