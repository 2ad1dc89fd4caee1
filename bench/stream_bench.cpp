// stream_bench: the stand-in's encoder pipeline (qzt::StreamEncoder, the code the service's worker
// thread runs) driven directly, without the service's pacing, so that its speed under emulation
// and its compression can be measured. bench/stream_bench.sh runs it and compares with libx264.
//
//   stream_bench encode key=value ...   codes `frames` pictures; prints the time of every IDR and
//       P picture (median and mean, ms), the sustained pictures per second (pictures over the
//       whole coding time) and the stream's bytes; writes the stream when out= is given.
//       Keys: width height fps (N or N/D) source (synthetic, or a YUV4MPEG2 file of that size)
//       frames idr profile level rc bitrate peak vbv fullness (0..64) minqp maxqp qpi qpp (rc=0)
//       refresh deblock (0 or 1) out
//   stream_bench render width=W height=H frames=N out=FILE
//       writes the synthetic screen's pictures 0..N-1 as YUV4MPEG2 (what a decoder must show).
#include "picture_source.h"
#include "stream_encoder.h"
#include "abi/win32_resource.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

namespace {

using Arguments = std::map<std::string, std::string>;

bool ParseArguments(int argc, char** argv, Arguments& args) {
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        const size_t equals = arg.find('=');
        if (equals == std::string::npos || equals == 0) return false;
        args[arg.substr(0, equals)] = arg.substr(equals + 1);
    }
    return true;
}

uint32_t Number(const Arguments& args, const std::string& key, uint32_t fallback) {
    const auto found = args.find(key);
    return found == args.end() ? fallback : static_cast<uint32_t>(std::strtoul(found->second.c_str(), nullptr, 10));
}

std::string Text(const Arguments& args, const std::string& key, const std::string& fallback) {
    const auto found = args.find(key);
    return found == args.end() ? fallback : found->second;
}

using win32::UniqueFile;

double NowMs() {
    LARGE_INTEGER counter;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

int Fail(const std::string& what) {
    std::fprintf(stderr, "stream_bench: %s\n", what.c_str());
    return 1;
}

struct Timings {
    std::vector<double> idrMs;
    std::vector<double> pMs;  // coded and skipped P pictures
};

std::string Describe(std::vector<double> ms) {
    if (ms.empty()) return "none";
    std::sort(ms.begin(), ms.end());
    const double mean = std::accumulate(ms.begin(), ms.end(), 0.0) / static_cast<double>(ms.size());
    char text[96];
    std::snprintf(text, sizeof text, "median %.0f mean %.0f ms (%zu)", ms[ms.size() / 2], mean, ms.size());
    return text;
}

std::unique_ptr<qzt::PictureSource> OpenSource(const std::string& name, int width, int height, std::string& error) {
    if (name == "synthetic") return std::make_unique<qzt::SyntheticSource>(width, height);
    return qzt::Y4mSource::Open(std::wstring(name.begin(), name.end()), width, height, error);
}

// The configuration a host sets through vqx, as the stand-in holds it after its clamps.
qzt::StreamConfig MakeConfig(const Arguments& args, uint32_t fpsNumerator, uint32_t fpsDenominator) {
    qzt::StreamConfig config;
    config.idrPeriod = Number(args, "idr", 250);
    config.intraRefreshMbs = Number(args, "refresh", 0);
    config.rate.mode = Number(args, "rc", 4);
    config.rate.bitrate = Number(args, "bitrate", 4000000);
    config.rate.peakBitrate = Number(args, "peak", config.rate.bitrate);
    config.rate.vbvSize = Number(args, "vbv", 0);
    config.rate.initialFullness = Number(args, "fullness", 64);
    config.rate.minQp = Number(args, "minqp", 0);
    config.rate.maxQp = Number(args, "maxqp", 51);
    config.rate.qpI = Number(args, "qpi", 26);
    config.rate.qpP = Number(args, "qpp", 26);
    config.deblocking = Number(args, "deblock", 1) != 0;
    config.rate.fpsNumerator = fpsNumerator;
    config.rate.fpsDenominator = fpsDenominator;
    return config;
}

int Encode(const Arguments& args) {
    qzt::h264::StreamSettings stream;
    stream.width = static_cast<int>(Number(args, "width", 1280));
    stream.height = static_cast<int>(Number(args, "height", 720));
    stream.profileIdc = Number(args, "profile", 66);
    stream.levelIdc = Number(args, "level", 40);
    stream.timingInfo = true;
    const std::string fps = Text(args, "fps", "30");
    stream.fpsNumerator = static_cast<uint32_t>(std::strtoul(fps.c_str(), nullptr, 10));
    const size_t slash = fps.find('/');
    stream.fpsDenominator = slash == std::string::npos ? 1 : std::strtoul(fps.c_str() + slash + 1, nullptr, 10);
    const uint32_t frames = Number(args, "frames", 30);
    if (stream.fpsNumerator == 0 || stream.fpsDenominator == 0 || frames == 0) return Fail("bad fps or frames");

    std::string error;
    const std::unique_ptr<qzt::PictureSource> source =
        OpenSource(Text(args, "source", "synthetic"), stream.width, stream.height, error);
    if (!source) return Fail("cannot use the source: " + error);
    qzt::StreamEncoder encoder(stream, true, *source);
    encoder.Restart(MakeConfig(args, stream.fpsNumerator, stream.fpsDenominator));

    UniqueFile out;
    if (args.count("out") != 0) {
        out.Reset(std::fopen(Text(args, "out", "").c_str(), "wb"));
        if (!out) return Fail("cannot write " + Text(args, "out", ""));
    }
    Timings timings;
    uint64_t bytes = 0;
    qzt::EncodedPicture picture;
    const double began = NowMs();
    for (uint32_t n = 0; n < frames; ++n) {
        const double start = NowMs();
        encoder.EncodeNext(picture);
        encoder.Commit();
        const double ms = NowMs() - start;
        const bool idr = picture.typeCode == qzt::kTypeFirstIdrPicture || picture.typeCode == qzt::kTypeIdrPicture;
        (idr ? timings.idrMs : timings.pMs).push_back(ms);
        bytes += picture.unit.bytes.size();
        if (out && std::fwrite(picture.unit.bytes.data(), 1, picture.unit.bytes.size(), out.Get()) !=
                       picture.unit.bytes.size()) {
            return Fail("writing the stream failed");
        }
    }
    const double seconds = (NowMs() - began) / 1000.0;
    std::printf("IDR %s | P %s | sustained %.2f pictures/s | %llu bytes, %.0f kbit/s\n",
                Describe(timings.idrMs).c_str(), Describe(timings.pMs).c_str(), frames / seconds,
                static_cast<unsigned long long>(bytes),
                bytes * 8.0 * stream.fpsNumerator / stream.fpsDenominator / frames / 1000.0);
    return 0;
}

// Writes the visible area of `picture` as one YUV4MPEG2 frame.
bool WriteY4mFrame(std::FILE* file, const qzt::Picture& picture, int width, int height) {
    const auto writeRows = [file](const std::vector<uint8_t>& plane, int stride, int w, int h) {
        for (int row = 0; row < h; ++row) {
            if (std::fwrite(plane.data() + static_cast<size_t>(row) * stride, 1, w, file) != static_cast<size_t>(w)) {
                return false;
            }
        }
        return true;
    };
    return std::fputs("FRAME\n", file) >= 0 && writeRows(picture.y, picture.width, width, height) &&
           writeRows(picture.u, picture.ChromaWidth(), width / 2, height / 2) &&
           writeRows(picture.v, picture.ChromaWidth(), width / 2, height / 2);
}

int Render(const Arguments& args) {
    const int width = static_cast<int>(Number(args, "width", 1280));
    const int height = static_cast<int>(Number(args, "height", 720));
    const uint32_t frames = Number(args, "frames", 30);
    UniqueFile out(std::fopen(Text(args, "out", "").c_str(), "wb"));
    if (!out) return Fail("cannot write " + Text(args, "out", "(no out=)"));
    std::fprintf(out.Get(), "YUV4MPEG2 W%d H%d F30:1 Ip A1:1 C420jpeg\n", width, height);
    qzt::SyntheticSource source(width, height);
    qzt::Picture picture;
    picture.Resize((width + 15) / 16 * 16, (height + 15) / 16 * 16);
    for (uint32_t n = 0; n < frames; ++n) {
        source.Render(n, picture);
        if (!WriteY4mFrame(out.Get(), picture, width, height)) return Fail("writing the clip failed");
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Arguments args;
    const std::string command = argc > 1 ? argv[1] : "";
    if ((command != "encode" && command != "render") || !ParseArguments(argc, argv, args)) {
        return Fail("usage: stream_bench encode|render key=value ...");
    }
    return command == "encode" ? Encode(args) : Render(args);
}
