// The synthetic screen the stand-in "captures": a static desktop (gradient, icons, taskbar) with a
// window and a mouse cursor moving over it, both a pure function of the frame index. The moving
// parts are small, so keeping a picture up to date costs only the area they cover.
// Ownership: plain values. Thread rules: const members are safe from any thread.
#pragma once

#include "codec/picture.h"

#include <cstdint>
#include <vector>

namespace qzt {

struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const Rect& other) const {
        return x == other.x && y == other.y && width == other.width && height == other.height;
    }
    bool operator!=(const Rect& other) const { return !(*this == other); }
};

struct SceneLayout {
    Rect window;
    Rect cursor;
};

class SyntheticScreen {
public:
    // `width` x `height` is the visible screen (even, at least 16 each way). Pictures cover the
    // padded area (both rounded up to multiples of 16); the desktop continues into the padding.
    // Every sample lies in 16..235, so coded pictures never carry a zero byte in their samples.
    SyntheticScreen(int width, int height);

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    int PaddedWidth() const { return m_desktop.width; }
    int PaddedHeight() const { return m_desktop.height; }

    // Where the window and the cursor are in frame `frameIndex`. The scene moves for 90 frames,
    // then rests for 30, and so on; positions and sizes are even.
    SceneLayout LayoutAt(uint64_t frameIndex) const;

    // Paints the whole padded picture for `layout`.
    void Compose(const SceneLayout& layout, Picture& picture) const;

    // Turns a picture that shows `from` into one that shows `to`, touching only the areas listed
    // by ChangedAreas(from, to).
    void Update(const SceneLayout& from, const SceneLayout& to, Picture& picture) const;

    // The rectangles outside of which the pictures of `from` and `to` are identical (empty when
    // nothing moved).
    std::vector<Rect> ChangedAreas(const SceneLayout& from, const SceneLayout& to) const;

    // Writes the visible part of frame `frameIndex` as planar I420 (Y, then U, then V, rows
    // without padding): width * height + 2 * (width / 2) * (height / 2) bytes.
    void RenderVisible(uint64_t frameIndex, uint8_t* out) const;

private:
    void RestoreDesktop(const Rect& area, Picture& picture) const;
    void DrawWindow(const Rect& area, Picture& picture) const;
    void DrawCursor(const Rect& area, Picture& picture) const;

    int m_width;
    int m_height;
    Picture m_desktop;                        // padded size
    Picture m_window;                         // the window's own pixels
    Picture m_cursor;                         // the cursor's own pixels
    std::vector<uint8_t> m_cursorLumaMask;    // 1 where the cursor covers a luma sample
    std::vector<uint8_t> m_cursorChromaMask;  // 1 where it covers a chroma sample
};

}  // namespace qzt
