// The stream-level syntax of the stand-in's H.264 stream: sequence and picture parameter sets,
// access-unit delimiters and filler data.
// Ownership: appends to caller-owned units. Thread rules: stateless, any thread.
#pragma once

#include "coded_unit.h"

#include <cstdint>

namespace qzt::h264 {

struct StreamSettings {
    int width = 0;   // visible size, even; the coded size is rounded up to whole macroblocks
    int height = 0;  // and the SPS crops it back
    uint32_t profileIdc = 66;
    uint32_t levelIdc = 30;
    bool timingInfo = false;  // VUI with timing (from the frame rate) and no reordering
    uint32_t fpsNumerator = 30;
    uint32_t fpsDenominator = 1;
};

constexpr int kLog2MaxFrameNum = 8;
constexpr uint8_t kNalSlice = 1;
constexpr uint8_t kNalIdrSlice = 5;
constexpr uint8_t kNalSps = 7;
constexpr uint8_t kNalPps = 8;
constexpr uint8_t kNalAud = 9;
constexpr uint8_t kNalFiller = 12;
constexpr int kPicInitQp = 26;  // pic_init_qp_minus26 = 0

// SPS (id 0) and PPS (id 0: CAVLC, one reference, deblocking control present).
void AppendParameterSets(const StreamSettings& settings, CodedUnit& out);
// An access-unit delimiter: primary_pic_type 0 (I slices only) or 1 (I and P).
void AppendAccessUnitDelimiter(bool intraOnly, CodedUnit& out);
// A filler-data NAL unit of exactly `totalBytes` bytes (start code included, at least 6).
void AppendFiller(uint32_t totalBytes, CodedUnit& out);
constexpr uint32_t kMinFillerBytes = 6;

}  // namespace qzt::h264
