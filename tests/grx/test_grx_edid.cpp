// The built-in EDID byte for byte, the acquire record that carries it, the error type and the
// allocation callback.
#include "bindings/grx_edid.h"
#include "bindings/grx_error.h"
#include "bindings/grx_library.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string HexRow(std::size_t offset) {
    std::string row;
    char byte[4];
    for (std::size_t i = offset; i < offset + 16; ++i) {
        std::snprintf(byte, sizeof byte, i + 1 < offset + 16 ? "%02X " : "%02X", grx::kBuiltInEdid[i]);
        row += byte;
    }
    return row;
}

}  // namespace

TEST(BuiltInEdid, RowsAsPublishedAndBothBlocksSumToZero) {
    const char* rows[] = {
        "00 FF FF FF FF FF FF 00 47 54 01 A0 01 00 00 00", "01 16 01 03 80 90 51 78 EA 0D C9 A0 57 47 98 27",
        "12 48 4C 20 00 00 01 01 01 01 01 01 01 01 01 01", "01 01 01 01 01 01 02 3A 80 18 71 38 2D 40 58 2C",
        "45 00 A0 2A 53 00 00 1E 00 00 00 FC 00 51 5A 54", "20 57 69 72 65 6C 65 73 73 0A 00 00 00 10 00 00",
        "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 10", "00 00 00 00 00 00 00 00 00 00 00 00 00 00 01 C0",
        "02 03 00 70 49 10 1F 20 04 13 3C 03 12 01 23 09", "06 01 E2 00 AA 00 00 00 00 00 00 00 00 00 00 00",
    };
    for (std::size_t row = 0; row < 10; ++row)
        EXPECT_EQ(rows[row], HexRow(row * 16)) << "row at " << row * 16;
    for (std::size_t i = 160; i < 255; ++i)
        EXPECT_EQ(0, grx::kBuiltInEdid[i]) << "byte " << i;
    EXPECT_EQ(0xCB, grx::kBuiltInEdid[255]);
    for (const std::size_t block : {0u, 128u}) {
        int sum = 0;
        for (std::size_t i = block; i < block + 128; ++i)
            sum += grx::kBuiltInEdid[i];
        EXPECT_EQ(0, sum % 256) << "block at " << block;
    }
}

TEST(AcquireRecord, LayoutAroundTheEdid) {
    const grx::AcquireRecord record = grx::BuildAcquireRecord();
    ASSERT_EQ(1032u, record.size());
    EXPECT_EQ(1032, grx::ReadInt32(record.data(), 0));
    EXPECT_EQ(256, grx::ReadInt32(record.data(), 4));
    for (std::size_t i = 0; i < 256; ++i)
        ASSERT_EQ(grx::kBuiltInEdid[i], record[8 + i]) << "EDID byte " << i;
    for (std::size_t i = 264; i < 1032; ++i)
        ASSERT_EQ(i < 520 ? 0x00 : 0xFF, record[i]) << "byte " << i;
}

TEST(GrxRuntimeError, FixedMessageAndCode) {
    const grx::grx_runtime_error error(-7);
    const std::runtime_error& base = error;
    EXPECT_STREQ("GRX error occured", base.what());
    EXPECT_EQ(-7, error.code);
}

TEST(AllocationCallback, HandsOutCHeapMemory) {
    void* block = grx::detail::AllocateForLibrary(64);
    ASSERT_NE(nullptr, block);
    std::free(block);
    void* empty = grx::detail::AllocateForLibrary(0);  // as msvcrt's malloc(0): a block of its own
    EXPECT_NE(nullptr, empty);
    std::free(empty);
    EXPECT_EQ(nullptr, grx::detail::AllocateForLibrary(-5));
}
