#include "access_unit_counter.h"

#include <gtest/gtest.h>

#include <vector>

using vqxcap::AccessUnitCounter;
using vqxcap::BeginsAccessUnit;

namespace {

// AUD, SPS, PPS, then an IDR picture in two slices, then a P picture in one slice.
std::vector<uint8_t> TwoPictures() {
    return {0, 0, 0, 1,    0x09, 0xF0,              // access unit delimiter
            0, 0, 0, 1,    0x67, 0x42, 0x00, 0x1E,  // SPS
            0, 0, 0, 1,    0x68, 0xCE,              // PPS
            0, 0, 1, 0x65, 0x88, 0x84, 0x00,        // IDR slice, first_mb_in_slice 0
            0, 0, 1, 0x65, 0x40, 0x12,              // IDR slice, first_mb_in_slice > 0
            0, 0, 0, 1,    0x41, 0x9A, 0x01};       // P slice, first_mb_in_slice 0
}

}  // namespace

TEST(AccessUnitCounter, CountsOnlyFirstSlices) {
    AccessUnitCounter counter;
    const auto stream = TwoPictures();
    EXPECT_EQ(2u, counter.Feed(stream.data(), stream.size()));
    EXPECT_EQ(2u, counter.Pictures());
}

TEST(AccessUnitCounter, FindsStartCodesSplitAcrossPieces) {
    const auto stream = TwoPictures();
    for (size_t split = 0; split <= stream.size(); ++split) {
        AccessUnitCounter counter;
        counter.Feed(stream.data(), split);
        counter.Feed(stream.data() + split, stream.size() - split);
        EXPECT_EQ(2u, counter.Pictures()) << "split at " << split;
    }
}

TEST(AccessUnitCounter, ByteByByteFeedingAgrees) {
    AccessUnitCounter counter;
    for (const uint8_t byte : TwoPictures())
        counter.Feed(&byte, 1);
    EXPECT_EQ(2u, counter.Pictures());
}

TEST(AccessUnitCounter, BeginsAccessUnitLooksAtTheFirstNalUnit) {
    const auto stream = TwoPictures();
    EXPECT_TRUE(BeginsAccessUnit(stream.data(), stream.size()));            // AUD
    EXPECT_TRUE(BeginsAccessUnit(stream.data() + 20, stream.size() - 20));  // first IDR slice
    EXPECT_FALSE(BeginsAccessUnit(stream.data() + 27, 6));                  // a later slice
    EXPECT_FALSE(BeginsAccessUnit(stream.data() + 4, 10)) << "no start code first";
    const uint8_t truncated[] = {0, 0, 1};
    EXPECT_FALSE(BeginsAccessUnit(truncated, sizeof truncated));
    EXPECT_FALSE(BeginsAccessUnit(nullptr, 0));
}
