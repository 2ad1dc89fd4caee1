// Codes pictures of the synthetic screen as an H.264 Annex-B stream that a decoder reproduces
// exactly: parameter sets, access-unit delimiters, IDR pictures made of I_PCM macroblocks and P
// pictures whose changed macroblocks are I_PCM and all others P_Skip (CAVLC, deblocking off in
// every slice). Every inter macroblock is skipped, so every predicted motion vector is zero and
// a skipped macroblock is an exact copy of the previous picture.
// Ownership: the coder owns its scratch buffer and writes into caller-owned units.
// Thread rules: one coder per encoder, used under the caller's lock.
#pragma once

#include "synthetic_screen.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qzt {

struct StreamSettings {
    int width = 0;   // visible size, even; the coded size is rounded up to whole macroblocks
    int height = 0;  // and the SPS crops it back
    uint32_t profileIdc = 66;
    uint32_t levelIdc = 30;
    bool timingInfo = false;  // VUI with timing (from the frame rate) and no reordering
    uint32_t fpsNumerator = 30;
    uint32_t fpsDenominator = 1;
};

// Annex-B bytes of one output and the offset of every NAL unit's start code in them.
struct CodedUnit {
    std::vector<uint8_t> bytes;
    std::vector<size_t> nalStarts;

    void Clear() {
        bytes.clear();
        nalStarts.clear();
    }
};

class H264Coder {
public:
    explicit H264Coder(const StreamSettings& settings);

    int MbWidth() const { return mbWidth_; }
    int MbHeight() const { return mbHeight_; }
    int MbCount() const { return mbWidth_ * mbHeight_; }

    // Appends an access-unit delimiter (when `withAud`; it opens the access unit of the IDR
    // picture that follows), the SPS and the PPS.
    void WriteParameterSets(bool withAud, CodedUnit& out);

    // Appends one picture of `picture` (padded to whole macroblocks). An IDR picture codes every
    // macroblock as I_PCM; a P picture codes those whose byte in `changed` (one per macroblock,
    // raster order) is non-zero and skips the rest. `mbsPerSlice` 0 means one slice.
    void WritePicture(const Picture& picture, const std::vector<uint8_t>& changed, bool idr, bool withAud,
                      uint32_t mbsPerSlice, CodedUnit& out);

private:
    void WriteSlice(const Picture& picture, const std::vector<uint8_t>& changed, bool idr, int firstMb, int endMb,
                    CodedUnit& out);
    void AppendPcm(const Picture& picture, int mb);
    void FinishNal(uint8_t nalRefIdc, uint8_t nalUnitType, CodedUnit& out);

    StreamSettings settings_;
    int mbWidth_;
    int mbHeight_;
    uint32_t frameNum_ = 0;
    uint32_t idrPicId_ = 0;
    std::vector<uint8_t> rbsp_;  // payload of the NAL unit being written
};

}  // namespace qzt
