// Where the stand-in's screen comes from: the synthetic desktop, or the frames of a YUV4MPEG2
// file (looped). Each source paints picture n of the stream into a picture padded to whole
// macroblocks (the padding repeats the edge samples).
// Ownership: a source owns its file and scratch. Thread rules: one coding thread at a time.
#pragma once

#include "abi/win32_resource.h"
#include "codec/picture.h"
#include "synthetic_screen.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace qzt {

class PictureSource {
public:
    virtual ~PictureSource() = default;
    // Paints picture `index` into `picture` (already sized to the padded size).
    virtual void Render(uint64_t index, Picture& picture) = 0;
};

// The synthetic screen; consecutive pictures only repaint what moved on the source's own canvas,
// which is then copied out (the caller may hand a different picture each time).
class SyntheticSource : public PictureSource {
public:
    SyntheticSource(int width, int height) : m_screen(width, height) {}
    void Render(uint64_t index, Picture& picture) override;

private:
    SyntheticScreen m_screen;
    Picture m_canvas;
    bool m_painted = false;
    uint64_t m_lastIndex = 0;
};

// A YUV4MPEG2 file of 8-bit 4:2:0 frames, read on demand: picture n shows frame n modulo the
// file's frame count.
class Y4mSource : public PictureSource {
public:
    // Opens and checks the file; on failure `error` says why and the source is unusable.
    static std::unique_ptr<Y4mSource> Open(const std::wstring& path, int width, int height, std::string& error);
    void Render(uint64_t index, Picture& picture) override;
    uint64_t FrameCount() const { return m_frameCount; }

private:
    Y4mSource() = default;
    bool ReadFrame(uint64_t frame);

    win32::UniqueFile m_file;
    int m_width = 0;
    int m_height = 0;
    int64_t m_firstFrameOffset = 0;  // where the first FRAME header starts
    int64_t m_frameStride = 0;       // FRAME header + samples
    int64_t m_frameHeaderSize = 0;
    uint64_t m_frameCount = 0;
    std::vector<uint8_t> m_samples;
};

// Repeats the visible area's last column and row into the padding of `picture`.
void PadEdges(Picture& picture, int visibleWidth, int visibleHeight);

}  // namespace qzt
