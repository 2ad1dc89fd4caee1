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
    const SceneLayout layout = screen_.LayoutAt(index);
    if (!painted_) {
        canvas_.Resize(picture.width, picture.height);
        screen_.Compose(layout, canvas_);
    } else if (index == lastIndex_ + 1) {
        screen_.Update(screen_.LayoutAt(lastIndex_), layout, canvas_);
    } else if (index != lastIndex_) {
        screen_.Compose(layout, canvas_);
    }
    painted_ = true;
    lastIndex_ = index;
    picture.y = canvas_.y;
    picture.u = canvas_.u;
    picture.v = canvas_.v;
}

std::unique_ptr<Y4mSource> Y4mSource::Open(const std::wstring& path, int width, int height, std::string& error) {
    std::unique_ptr<Y4mSource> source(new Y4mSource());
#ifdef _WIN32
    source->file_.Reset(_wfopen(path.c_str(), L"rb"));
#else
    source->file_.Reset(std::fopen(std::string(path.begin(), path.end()).c_str(), "rb"));
#endif
    std::FILE* const file = source->file_.Get();
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
    source->width_ = width;
    source->height_ = height;
    source->firstFrameOffset_ = QZT_TELL(file);
    std::string frameHeader;
    if (!ReadLine(file, frameHeader) || frameHeader.compare(0, sizeof kFrameTag - 1, kFrameTag) != 0) {
        error = "the file holds no frame";
        return nullptr;
    }
    source->frameHeaderSize_ = QZT_TELL(file) - source->firstFrameOffset_;
    const int64_t frameBytes = static_cast<int64_t>(width) * height * 3 / 2;
    source->frameStride_ = source->frameHeaderSize_ + frameBytes;
    QZT_SEEK(file, 0, SEEK_END);
    const int64_t dataBytes = QZT_TELL(file) - source->firstFrameOffset_;
    source->frameCount_ = static_cast<uint64_t>(dataBytes / source->frameStride_);
    if (source->frameCount_ == 0) {
        error = "the file holds no complete frame";
        return nullptr;
    }
    source->samples_.resize(static_cast<size_t>(frameBytes));
    if (!source->ReadFrame(0)) {
        error = "the first frame cannot be read";
        return nullptr;
    }
    return source;
}

bool Y4mSource::ReadFrame(uint64_t frame) {
    // Every frame header is taken to be as long as the first one ("FRAME" without parameters).
    const int64_t offset = firstFrameOffset_ + static_cast<int64_t>(frame) * frameStride_ + frameHeaderSize_;
    return QZT_SEEK(file_.Get(), offset, SEEK_SET) == 0 &&
           std::fread(samples_.data(), 1, samples_.size(), file_.Get()) == samples_.size();
}

void Y4mSource::Render(uint64_t index, Picture& picture) {
    if (!ReadFrame(index % frameCount_)) {
        std::fill(samples_.begin(), samples_.end(), uint8_t{128});  // a read failure shows grey
    }
    const uint8_t* from = samples_.data();
    for (int y = 0; y < height_; ++y, from += width_) {
        std::memcpy(picture.y.data() + static_cast<size_t>(y) * picture.width, from, static_cast<size_t>(width_));
    }
    for (std::vector<uint8_t>* plane : {&picture.u, &picture.v}) {
        for (int y = 0; y < height_ / 2; ++y, from += width_ / 2) {
            std::memcpy(plane->data() + static_cast<size_t>(y) * picture.ChromaWidth(), from,
                        static_cast<size_t>(width_ / 2));
        }
    }
    PadEdges(picture, width_, height_);
}

}  // namespace qzt
