// The stand-in's encoder pipeline for one stream: decides what picture n is (IDR, P, or a
// skipped picture of the skipped-picture period), which macroblocks its intra-refresh slot
// covers, asks rate control for QPs, codes the picture (again at a higher QP when it would
// underflow the buffer), and frames the output with its delimiter, parameter sets and filler.
// The bytes depend only on the configuration, the source and the picture index.
// Ownership: owns its coder and rate controller; borrows the picture source.
// Thread rules: one thread at a time (the session's worker).
#pragma once

#include "codec/coded_unit.h"
#include "codec/parameter_sets.h"
#include "codec/picture_coder.h"
#include "codec/rate_control.h"
#include "picture_source.h"
#include "qzt_test_api.h"

#include <cstdint>
#include <memory>

namespace qzt {

// The stand-in's view of the configuration record after its clamps.
struct StreamConfig {
    uint32_t idrPeriod = 0;         // 0: only picture 0 is IDR
    uint32_t skippedPicPeriod = 0;  // 0..7 skipped pictures after each coded one
    uint32_t intraRefreshMbs = 0;   // macroblocks per refresh slot, 0: off
    uint32_t mbsPerSlice = 0;       // 0: one slice
    bool deblocking = true;
    bool halfPel = true;
    bool quarterPel = true;
    bool timingInfo = true;
    RateSettings rate;  // frame rate filled in from the creation parameters
};

// One coded output: its bytes, type code, timestamp and what the tests may ask of it.
struct EncodedPicture {
    CodedUnit unit;
    uint32_t typeCode = 0;
    int64_t timestamp = 0;  // 100-ns units since the start
    QztPictureInfo info{};
};

class StreamEncoder {
public:
    // `stream` holds the size, profile, level and frame rate; `insertAud` adds delimiters.
    StreamEncoder(const h264::StreamSettings& stream, bool insertAud, PictureSource& source);
    ~StreamEncoder();

    // Begins again at picture 0 with `config` (structural settings — slices, deblocking,
    // sub-sample vectors, timing information — are fixed until the next restart).
    void Restart(const StreamConfig& config);
    // Rate control, intra refresh, IDR and skipped-picture periods from the next picture.
    void Reconfigure(const StreamConfig& config);

    uint64_t NextPicture() const { return m_nextPicture; }
    // Codes the next picture into `out` (cleared first), tentatively: Commit() makes it the
    // reference for the pictures after it; Discard() forgets it, so that the same picture can be
    // coded again (after Reconfigure) exactly as if it had never been coded.
    void EncodeNext(EncodedPicture& out);
    void Commit();
    void Discard();

private:
    bool IsIdrDue() const;
    void FillRefreshSlot();
    double Complexity(bool idr) const;
    void CodeCodedPicture(bool idr, int picturesCovered, EncodedPicture& out);

    // What coding a picture changes besides the coder's scratch, kept to undo it.
    struct Progress {
        StreamConfig config;
        RateController rate;
        uint64_t nextPicture = 0;
        uint32_t picturesSinceIdr = 0;
        uint32_t skippedToGo = 0;
        uint32_t refreshPosition = 0;
    };
    Progress Save() const;
    void Restore(const Progress& progress);

    h264::StreamSettings m_stream;
    bool m_insertAud;
    PictureSource& m_source;
    StreamConfig m_config;
    std::unique_ptr<h264::PictureCoder> m_coder;
    RateController m_rate;
    Picture m_current;
    Picture m_previous;  // the source of the last coded picture (for the complexity estimate)
    std::vector<uint8_t> m_refreshSlot;
    uint64_t m_nextPicture = 0;
    uint32_t m_picturesSinceIdr = 0;
    uint32_t m_skippedToGo = 0;      // skipped pictures still due after the last coded one
    uint32_t m_refreshPosition = 0;  // first macroblock of the next refresh slot
    Progress m_beforeTentative;      // the state before the tentative picture
    bool m_tentative = false;
    bool m_tentativeSkipped = false;
};

// Frame time of picture `index`: index * denominator * unitsPerSecond / numerator, rounded down.
int64_t FrameTime(uint64_t index, uint32_t numerator, uint32_t denominator, int64_t unitsPerSecond);

}  // namespace qzt
