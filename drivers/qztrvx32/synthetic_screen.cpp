// Pixels and motion of the synthetic screen.
#include "synthetic_screen.h"

#include <algorithm>
#include <cstring>

namespace qzt {
namespace {

constexpr int kMovingFrames = 90;  // of every cycle, the scene moves this many frames ...
constexpr int kCycleFrames = 120;  // ... and rests for the remainder
constexpr int kCursorWidth = 12;
constexpr int kCursorHeight = 20;

struct Colour {
    uint8_t y;
    uint8_t u;
    uint8_t v;
};

int Even(int value) {
    return value & ~1;
}
int RoundUpTo16(int value) {
    return (value + 15) & ~15;
}

// A position running back and forth over [0, range].
int Bounce(int64_t position, int range) {
    if (range <= 0) {
        return 0;
    }
    const int64_t period = 2 * static_cast<int64_t>(range);
    const int64_t phase = position % period;
    return static_cast<int>(phase <= range ? phase : period - phase);
}

uint8_t Level(int value) {
    return static_cast<uint8_t>(std::clamp(value, 16, 235));
}

// The desktop: a vertical gradient with a fine checker, a column of icons and a taskbar with a
// start button along the bottom of the visible screen.
Colour DesktopColour(int x, int y, int width, int height, int paddedHeight) {
    const int taskbarHeight = std::min(28, Even(height / 4));
    if (y >= height - taskbarHeight && y < height) {
        return x < 48 ? Colour{96, 100, 160} : Colour{44, 132, 124};
    }
    const int iconColumn = x - 16;
    const int iconRow = y - 16;
    if (iconColumn >= 0 && iconColumn < 40 && iconRow >= 0 && iconRow % 64 < 40 &&
        iconRow / 64 * 64 + 56 < height - taskbarHeight) {
        const int icon = iconRow / 64;
        return {Level(100 + icon * 23 % 120), Level(60 + icon * 41 % 150), Level(70 + icon * 53 % 140)};
    }
    const int checker = ((x >> 3) ^ (y >> 3)) & 1;
    return {Level(56 + y * 96 / paddedHeight + checker * 6), Level(140 + x * 32 / std::max(width, 1)), 112};
}

// The window: a dark border, a title bar with a close button and a light body with lines of
// "text" of varying length.
Colour WindowColour(int x, int y, int width, int height) {
    if (x < 2 || y < 2 || x >= width - 2 || y >= height - 2) {
        return {32, 128, 128};
    }
    if (y < 18) {
        if (x >= width - 18 && x < width - 4 && y >= 4 && y < 16) {
            return {120, 96, 200};
        }
        return {72, 170, 96};
    }
    if (y >= 24 && (y - 24) % 12 < 6) {
        const int line = (y - 24) / 12;
        const int length = (line * 97 + 40) % std::max(1, width - 16);
        if (x >= 8 && x < 8 + length && x / 6 % 7 != 6) {
            return {48, 128, 128};
        }
    }
    return {214, 128, 128};
}

bool InsideCursor(int x, int y, int width, int height) {
    if (x < 0 || y < 0 || x >= width || y >= height) {
        return false;
    }
    return (y < 14 && x <= y * 3 / 4) || (y >= 12 && x >= 3 && x <= 6);
}

Colour CursorColour(int x, int y, int width, int height) {
    const bool edge = !InsideCursor(x - 1, y, width, height) || !InsideCursor(x + 1, y, width, height) ||
                      !InsideCursor(x, y - 1, width, height) || !InsideCursor(x, y + 1, width, height);
    return {static_cast<uint8_t>(edge ? 24 : 232), 128, 128};
}

// Fills a picture from a colour function: luma at every sample, chroma from the colour at the
// top-left luma sample of each 2x2 block.
template <typename ColourAt>
void Paint(Picture& picture, ColourAt colourAt) {
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            picture.y[static_cast<size_t>(y) * picture.width + x] = colourAt(x, y).y;
        }
    }
    const int chromaWidth = picture.width / 2;
    for (int y = 0; y < picture.height / 2; ++y) {
        for (int x = 0; x < chromaWidth; ++x) {
            const Colour colour = colourAt(2 * x, 2 * y);
            picture.u[static_cast<size_t>(y) * chromaWidth + x] = colour.u;
            picture.v[static_cast<size_t>(y) * chromaWidth + x] = colour.v;
        }
    }
}

// Copies a width x height block of one plane to another position of another plane.
void CopyPlaneArea(const std::vector<uint8_t>& from, int fromStride, int fromX, int fromY, std::vector<uint8_t>& to,
                   int toStride, int toX, int toY, int width, int height) {
    for (int row = 0; row < height; ++row) {
        std::memcpy(&to[static_cast<size_t>(toY + row) * toStride + toX],
                    &from[static_cast<size_t>(fromY + row) * fromStride + fromX], static_cast<size_t>(width));
    }
}

}  // namespace

SyntheticScreen::SyntheticScreen(int width, int height) : m_width(Even(width)), m_height(Even(height)) {
    m_desktop.Resize(RoundUpTo16(m_width), RoundUpTo16(m_height));
    const int paddedHeight = m_desktop.height;
    Paint(m_desktop,
          [this, paddedHeight](int x, int y) { return DesktopColour(x, y, m_width, m_height, paddedHeight); });

    m_window.Resize(std::clamp(Even(m_width / 6), 16, m_width), std::clamp(Even(m_height / 6), 16, m_height));
    Paint(m_window, [this](int x, int y) { return WindowColour(x, y, m_window.width, m_window.height); });

    m_cursor.Resize(std::min(kCursorWidth, m_width), std::min(kCursorHeight, m_height));
    Paint(m_cursor, [this](int x, int y) { return CursorColour(x, y, m_cursor.width, m_cursor.height); });
    m_cursorLumaMask.resize(m_cursor.y.size());
    for (int y = 0; y < m_cursor.height; ++y) {
        for (int x = 0; x < m_cursor.width; ++x) {
            m_cursorLumaMask[static_cast<size_t>(y) * m_cursor.width + x] =
                InsideCursor(x, y, m_cursor.width, m_cursor.height);
        }
    }
    m_cursorChromaMask.resize(m_cursor.u.size());
    for (int y = 0; y < m_cursor.height / 2; ++y) {
        for (int x = 0; x < m_cursor.width / 2; ++x) {
            m_cursorChromaMask[static_cast<size_t>(y) * (m_cursor.width / 2) + x] =
                InsideCursor(2 * x, 2 * y, m_cursor.width, m_cursor.height);
        }
    }
}

SceneLayout SyntheticScreen::LayoutAt(uint64_t frameIndex) const {
    const uint64_t cycle = frameIndex / kCycleFrames;
    const int64_t t =
        static_cast<int64_t>(cycle * kMovingFrames + std::min<uint64_t>(frameIndex % kCycleFrames, kMovingFrames));
    SceneLayout layout;
    layout.window = {Even(Bounce(t * 6, m_width - m_window.width)), Even(Bounce(t * 4, m_height - m_window.height)),
                     m_window.width, m_window.height};
    layout.cursor = {Even(Bounce(t * 10 + m_width / 3, m_width - m_cursor.width)),
                     Even(Bounce(t * 7 + m_height / 3, m_height - m_cursor.height)), m_cursor.width, m_cursor.height};
    return layout;
}

void SyntheticScreen::Compose(const SceneLayout& layout, Picture& picture) const {
    picture = m_desktop;
    DrawWindow(layout.window, picture);
    DrawCursor(layout.cursor, picture);
}

void SyntheticScreen::Update(const SceneLayout& from, const SceneLayout& to, Picture& picture) const {
    if (from.window == to.window && from.cursor == to.cursor) {
        return;
    }
    RestoreDesktop(from.window, picture);
    RestoreDesktop(from.cursor, picture);
    DrawWindow(to.window, picture);
    DrawCursor(to.cursor, picture);
}

std::vector<Rect> SyntheticScreen::ChangedAreas(const SceneLayout& from, const SceneLayout& to) const {
    std::vector<Rect> areas;
    if (from.window != to.window) {
        areas.push_back(from.window);
        areas.push_back(to.window);
    }
    if (from.cursor != to.cursor) {
        areas.push_back(from.cursor);
        areas.push_back(to.cursor);
    }
    return areas;
}

void SyntheticScreen::RenderVisible(uint64_t frameIndex, uint8_t* out) const {
    Picture picture;
    Compose(LayoutAt(frameIndex), picture);
    for (int y = 0; y < m_height; ++y) {
        std::memcpy(out, &picture.y[static_cast<size_t>(y) * picture.width], static_cast<size_t>(m_width));
        out += m_width;
    }
    for (const std::vector<uint8_t>* plane : {&picture.u, &picture.v}) {
        for (int y = 0; y < m_height / 2; ++y) {
            std::memcpy(out, &(*plane)[static_cast<size_t>(y) * (picture.width / 2)], static_cast<size_t>(m_width / 2));
            out += m_width / 2;
        }
    }
}

void SyntheticScreen::RestoreDesktop(const Rect& area, Picture& picture) const {
    const int stride = picture.width;
    CopyPlaneArea(m_desktop.y, stride, area.x, area.y, picture.y, stride, area.x, area.y, area.width, area.height);
    CopyPlaneArea(m_desktop.u, stride / 2, area.x / 2, area.y / 2, picture.u, stride / 2, area.x / 2, area.y / 2,
                  area.width / 2, area.height / 2);
    CopyPlaneArea(m_desktop.v, stride / 2, area.x / 2, area.y / 2, picture.v, stride / 2, area.x / 2, area.y / 2,
                  area.width / 2, area.height / 2);
}

void SyntheticScreen::DrawWindow(const Rect& area, Picture& picture) const {
    const int stride = picture.width;
    CopyPlaneArea(m_window.y, m_window.width, 0, 0, picture.y, stride, area.x, area.y, area.width, area.height);
    CopyPlaneArea(m_window.u, m_window.width / 2, 0, 0, picture.u, stride / 2, area.x / 2, area.y / 2, area.width / 2,
                  area.height / 2);
    CopyPlaneArea(m_window.v, m_window.width / 2, 0, 0, picture.v, stride / 2, area.x / 2, area.y / 2, area.width / 2,
                  area.height / 2);
}

void SyntheticScreen::DrawCursor(const Rect& area, Picture& picture) const {
    for (int y = 0; y < area.height; ++y) {
        for (int x = 0; x < area.width; ++x) {
            const size_t from = static_cast<size_t>(y) * m_cursor.width + x;
            if (m_cursorLumaMask[from]) {
                picture.y[static_cast<size_t>(area.y + y) * picture.width + area.x + x] = m_cursor.y[from];
            }
        }
    }
    const int chromaStride = picture.width / 2;
    for (int y = 0; y < area.height / 2; ++y) {
        for (int x = 0; x < area.width / 2; ++x) {
            const size_t from = static_cast<size_t>(y) * (m_cursor.width / 2) + x;
            if (m_cursorChromaMask[from]) {
                const size_t to = static_cast<size_t>(area.y / 2 + y) * chromaStride + area.x / 2 + x;
                picture.u[to] = m_cursor.u[from];
                picture.v[to] = m_cursor.v[from];
            }
        }
    }
}

}  // namespace qzt
