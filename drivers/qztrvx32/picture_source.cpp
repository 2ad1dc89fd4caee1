// The synthetic and file sources of the stand-in's screen.
#include "picture_source.h"

#include <cstring>

#ifdef _WIN32
#define QZT_SEEK _fseeki64
#define QZT_TELL _ftelli64
#else
#define QZT_SEEK fseeko
#define QZT_TELL ftello
#endif

namespace qzt {
namespace {

constexpr char kSignature[] = "YUV4MPEG2 ";
constexpr char kFrameTag[] = "FRAME";
constexpr size_t kMaxHeaderLength = 4096;

// Reads one header line (up to and without its '\n'); false at the end of the file or when the
// line is too long.
bool ReadLine(std::FILE* file, std::string& line) {
    line.clear();
    for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) {
        if (c == '\n') {
            return true;
        }
        if (line.size() >= kMaxHeaderLength) {
            return false;
        }
        line.push_back(static_cast<char>(c));
    }
    return false;
}

// The value of the parameter tagged `tag` in a header line ("W640" -> "640"), or "".
std::string Parameter(const std::string& header, char tag) {
    size_t at = header.find(' ');
    while (at != std::string::npos) {
        const size_t start = at + 1;
        at = header.find(' ', start);
        if (start < header.size() && header[start] == tag) {
            return header.substr(start + 1, at == std::string::npos ? std::string::npos : at - start - 1);
        }
    }
    return std::string();
}

void PadPlane(uint8_t* plane, int stride, int rows, int visibleWidth, int visibleHeight) {
    for (int y = 0; y < visibleHeight; ++y) {
        uint8_t* row = plane + static_cast<size_t>(y) * stride;
        std::memset(row + visibleWidth, row[visibleWidth - 1], static_cast<size_t>(stride - visibleWidth));
    }
    for (int y = visibleHeight; y < rows; ++y) {
        std::memcpy(plane + static_cast<size_t>(y) * stride, plane + static_cast<size_t>(visibleHeight - 1) * stride,
                    static_cast<size_t>(stride));
    }
}

}  // namespace

void PadEdges(Picture& picture, int visibleWidth, int visibleHeight) {
    PadPlane(picture.y.data(), picture.width, picture.height, visibleWidth, visibleHeight);
    PadPlane(picture.u.data(), picture.ChromaWidth(), picture.ChromaHeight(), visibleWidth / 2, visibleHeight / 2);
    PadPlane(picture.v.data(), picture.ChromaWidth(), picture.ChromaHeight(), visibleWidth / 2, visibleHeight / 2);
}

void SyntheticSource::Render(uint64_t index, Picture& picture) {
    const SceneLayout layout = m_screen.LayoutAt(index);
    if (!m_painted) {
        m_canvas.Resize(picture.width, picture.height);
        m_screen.Compose(layout, m_canvas);
    } else if (index == m_lastIndex + 1) {
        m_screen.Update(m_screen.LayoutAt(m_lastIndex), layout, m_canvas);
    } else if (index != m_lastIndex) {
        m_screen.Compose(layout, m_canvas);
    }
    m_painted = true;
    m_lastIndex = index;
    picture.y = m_canvas.y;
    picture.u = m_canvas.u;
    picture.v = m_canvas.v;
}

std::unique_ptr<Y4mSource> Y4mSource::Open(const std::wstring& path, int width, int height, std::string& error) {
    std::unique_ptr<Y4mSource> source(new Y4mSource());
#ifdef _WIN32
    source->m_file.Reset(_wfopen(path.c_str(), L"rb"));
#else
    source->m_file.Reset(std::fopen(std::string(path.begin(), path.end()).c_str(), "rb"));
#endif
    std::FILE* const file = source->m_file.Get();
    if (file == nullptr) {
        error = "cannot open the file";
        return nullptr;
    }
    std::string header;
    if (!ReadLine(file, header) || header.compare(0, sizeof kSignature - 1, kSignature) != 0) {
        error = "not a YUV4MPEG2 file";
        return nullptr;
    }
    const std::string colourSpace = Parameter(header, 'C');
    const bool eightBit420 = colourSpace.empty() || colourSpace == "420" || colourSpace == "420jpeg" ||
                             colourSpace == "420paldv" || colourSpace == "420mpeg2";
    if (!eightBit420) {
        error = "the file's samples are not 8-bit 4:2:0 (C" + colourSpace + ")";
        return nullptr;
    }
    const int fileWidth = std::atoi(Parameter(header, 'W').c_str());
    const int fileHeight = std::atoi(Parameter(header, 'H').c_str());
    if (fileWidth != width || fileHeight != height) {
        error = "the file's frames are " + std::to_string(fileWidth) + "x" + std::to_string(fileHeight) +
                ", the encoder's " + std::to_string(width) + "x" + std::to_string(height);
        return nullptr;
    }
    source->m_width = width;
    source->m_height = height;
    source->m_firstFrameOffset = QZT_TELL(file);
    std::string frameHeader;
    if (!ReadLine(file, frameHeader) || frameHeader.compare(0, sizeof kFrameTag - 1, kFrameTag) != 0) {
        error = "the file holds no frame";
        return nullptr;
    }
    source->m_frameHeaderSize = QZT_TELL(file) - source->m_firstFrameOffset;
    const int64_t frameBytes = static_cast<int64_t>(width) * height * 3 / 2;
    source->m_frameStride = source->m_frameHeaderSize + frameBytes;
    QZT_SEEK(file, 0, SEEK_END);
    const int64_t dataBytes = QZT_TELL(file) - source->m_firstFrameOffset;
    source->m_frameCount = static_cast<uint64_t>(dataBytes / source->m_frameStride);
    if (source->m_frameCount == 0) {
        error = "the file holds no complete frame";
        return nullptr;
    }
    source->m_samples.resize(static_cast<size_t>(frameBytes));
    if (!source->ReadFrame(0)) {
        error = "the first frame cannot be read";
        return nullptr;
    }
    return source;
}

bool Y4mSource::ReadFrame(uint64_t frame) {
    // Every frame header is taken to be as long as the first one ("FRAME" without parameters).
    const int64_t offset = m_firstFrameOffset + static_cast<int64_t>(frame) * m_frameStride + m_frameHeaderSize;
    return QZT_SEEK(m_file.Get(), offset, SEEK_SET) == 0 &&
           std::fread(m_samples.data(), 1, m_samples.size(), m_file.Get()) == m_samples.size();
}

void Y4mSource::Render(uint64_t index, Picture& picture) {
    if (!ReadFrame(index % m_frameCount)) {
        std::fill(m_samples.begin(), m_samples.end(), uint8_t{128});  // a read failure shows grey
    }
    const uint8_t* from = m_samples.data();
    for (int y = 0; y < m_height; ++y, from += m_width) {
        std::memcpy(picture.y.data() + static_cast<size_t>(y) * picture.width, from, static_cast<size_t>(m_width));
    }
    for (std::vector<uint8_t>* plane : {&picture.u, &picture.v}) {
        for (int y = 0; y < m_height / 2; ++y, from += m_width / 2) {
            std::memcpy(plane->data() + static_cast<size_t>(y) * picture.ChromaWidth(), from,
                        static_cast<size_t>(m_width / 2));
        }
    }
    PadEdges(picture, m_width, m_height);
}

}  // namespace qzt
