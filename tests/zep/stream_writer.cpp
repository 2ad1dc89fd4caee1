// zep_stream_writer: drives one stand-in encoder through the binding's wrappers alone and writes
// what it delivers as an H.264 file, with the checksums of the synthetic source frames and the
// stream properties a decoder must find. check_stream.sh runs it and compares with ffmpeg.
//
// Usage: zep_stream_writer key=value ...   (width height fps=N/D profile level aud timing slice
// idr output frames); files are written into the current folder: stream.h264, expected.txt and
// source.yuv (every source frame as planar I420).
#include "zep_test_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <numeric>
#include <string>

using namespace zeptest;

namespace {

struct FileClose {
    void operator()(FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<FILE, FileClose>;

struct Options {
    uint32_t width = 200, height = 120, fpsNumerator = 30, fpsDenominator = 1, profile = 100, level = 40;
    uint32_t aud = 1, timing = 1;
    uint32_t slice = 0;  // macroblocks per slice, 0: one slice
    uint32_t idr = 0;    // IDR period, 0: only the first picture
    uint32_t output = 1, frames = 30;
};

bool ParseOptions(int argc, char** argv, Options& o) {
    std::map<std::string, uint32_t*> fields{{"width", &o.width}, {"height", &o.height}, {"profile", &o.profile},
                                            {"level", &o.level}, {"aud", &o.aud},       {"timing", &o.timing},
                                            {"slice", &o.slice}, {"idr", &o.idr},       {"output", &o.output},
                                            {"frames", &o.frames}};
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const size_t equals = arg.find('=');
        const std::string key = arg.substr(0, equals);
        const std::string value = equals == std::string::npos ? std::string() : arg.substr(equals + 1);
        if (key == "fps") {
            if (std::sscanf(value.c_str(), "%u/%u", &o.fpsNumerator, &o.fpsDenominator) != 2) return false;
        } else if (fields.count(key) != 0 && !value.empty()) {
            *fields[key] = static_cast<uint32_t>(std::strtoul(value.c_str(), nullptr, 10));
        } else {
            return false;
        }
    }
    return o.fpsNumerator != 0 && o.fpsDenominator != 0 && o.frames != 0;
}

int Fail(const char* what, int32_t code = 0) {
    std::fprintf(stderr, "zep_stream_writer: %s (%ld)\n", what, static_cast<long>(code));
    return 1;
}

const char* ProfileName(uint32_t profile) {
    switch (profile) {
        case 66: return "Baseline";
        case 77: return "Main";
        case 88: return "Extended";
        case 100: return "High";
        default: return "?";
    }
}

// Output n is picture n: the first carries the parameter sets in front of its IDR slices (after
// the one delimiter, when asked), every later one is a single picture alone.
bool HasExpectedLayout(const std::vector<int>& nalTypes, uint32_t picture, uint32_t typeCode, const Options& options) {
    std::vector<int> head;
    if (options.aud != 0) head.push_back(9);
    if (picture == 0) head.insert(head.end(), {7, 8});
    const int sliceType = typeCode == qzt::kTypePPicture || typeCode == qzt::kTypeSkippedPicture ? 1 : 5;
    if (nalTypes.size() <= head.size() || !std::equal(head.begin(), head.end(), nalTypes.begin())) return false;
    return std::all_of(nalTypes.begin() + head.size(), nalTypes.end(), [&](int type) { return type == sliceType; });
}

// Checks one query's entries: a split output's second part continues the first; a whole output
// has the type code and timestamp of picture `picture`.
const char* EntryFault(const std::vector<ZEPOutputEntry>& entries, uint32_t picture, const Options& options) {
    if (entries.size() == 2) {
        const ZEPOutputEntry& second = entries[1];
        if (second.typeCode != qzt::kTypeContinuation || second.resourceId != entries[0].resourceId ||
            second.data != entries[0].data + entries[0].dataSize || second.timestamp != entries[0].timestamp) {
            return "second part of a split output is not a continuation of the first";
        }
    }
    const ZEPOutputEntry& entry = entries[0];
    if ((picture == 0) != (entry.typeCode == qzt::kTypeFirstIdrPicture)) {
        return "type code 1 is not exactly the first output";
    }
    if (entry.timestamp != static_cast<int64_t>(picture) * options.fpsDenominator * 10000000 / options.fpsNumerator) {
        return "unexpected timestamp";
    }
    if (entry.typeCode != qzt::kTypeIdrPicture && entry.typeCode != qzt::kTypeFirstIdrPicture &&
        entry.typeCode != qzt::kTypePPicture && entry.typeCode != qzt::kTypeSkippedPicture) {
        return "unexpected type code";
    }
    return nullptr;
}

// Pulls `frames` pictures into `stream`, one per output (two entries of one resource with output
// type 2), reclaiming every resource after its last entry, and checks every output on the way.
int PullStream(uint32_t handle, const Options& options, std::vector<uint8_t>& stream, uint32_t& idrPictures) {
    const uint32_t requested = options.output == 2 ? 2 : 1;
    const DWORD begin = GetTickCount();
    const DWORD limitMs = 60000 + options.frames * 1000ull * options.fpsDenominator / options.fpsNumerator;
    for (uint32_t picture = 0; picture < options.frames;) {
        std::vector<ZEPOutputEntry> entries(requested, Sized<ZEPOutputEntry>());
        ZEPQueryParams in = MakeQueryParams(requested);
        ZEPQueryResult out{sizeof(ZEPQueryResult), 0, 0, entries.data()};
        if (const int32_t code = ZEPQueryOutputs(handle, &in, &out)) return Fail("ZEPQueryOutputs failed", code);
        if (out.returnedCount != requested) {
            if (GetTickCount() - begin > limitMs) return Fail("outputs stopped coming");
            Sleep(1);
            continue;
        }
        if (const char* fault = EntryFault(entries, picture, options)) {
            return Fail(fault, static_cast<int32_t>(picture));
        }
        const size_t outputBegin = stream.size();
        for (const ZEPOutputEntry& entry : entries) {
            stream.insert(stream.end(), entry.data, entry.data + entry.dataSize);
        }
        const uint32_t typeCode = entries[0].typeCode;
        idrPictures += typeCode == qzt::kTypeFirstIdrPicture || typeCode == qzt::kTypeIdrPicture ? 1 : 0;
        if (!HasExpectedLayout(NalTypes(stream.data() + outputBegin, stream.size() - outputBegin), picture, typeCode,
                               options)) {
            return Fail("unexpected NAL units in the output of picture", static_cast<int32_t>(picture));
        }
        ++picture;
        ZEPHandleParams reclaim = MakeHandleParams(entries[requested - 1].resourceId);
        ZEPStatus status = Sized<ZEPStatus>();
        if (const int32_t code = ZEPReclaimOutputResource(handle, &reclaim, &status)) {
            return Fail("ZEPReclaimOutputResource failed", code);
        }
    }
    return 0;
}

// The synthetic source frames, planar I420 one after the other, for ffmpeg to hash.
int WriteSourceFrames(const Options& options) {
    qzt::TestControls controls;
    if (!controls.LoadFromProcess()) return Fail("the stand-in's test controls are missing");
    const uint32_t size = options.width * options.height + 2 * (options.width / 2) * (options.height / 2);
    std::vector<uint8_t> frame(size);
    UniqueFile file(std::fopen("source.yuv", "wb"));
    if (!file) return Fail("cannot write source.yuv");
    for (uint32_t n = 0; n < options.frames; ++n) {
        if (const int32_t code = controls.RenderFrame(options.width, options.height, n, frame.data(), size)) {
            return Fail("QztTest_RenderFrame failed", code);
        }
        if (std::fwrite(frame.data(), 1, size, file.get()) != size) return Fail("cannot write source.yuv");
    }
    return 0;
}

int WriteExpectations(const Options& o, uint32_t idrPictures) {
    const uint32_t mbCount = ((o.width + 15) / 16) * ((o.height + 15) / 16);
    const uint32_t slices = o.slice == 0 ? 1 : (mbCount + o.slice - 1) / o.slice;
    const uint32_t divisor = std::gcd(o.fpsNumerator, o.fpsDenominator);
    UniqueFile file(std::fopen("expected.txt", "wb"));
    if (!file) return Fail("cannot write expected.txt");
    std::fprintf(file.get(),
                 "frames=%u\nwidth=%u\nheight=%u\nprofile=%s\nprofile_idc=%u\nlevel=%u\nlevel_idc=%u\n"
                 "aud_count=%u\nslice_count=%u\nidr_slice_count=%u\ncrop_right=%u\ncrop_bottom=%u\n"
                 "vui_parameters_present_flag=%u\n",
                 o.frames, o.width, o.height, ProfileName(o.profile), o.profile, o.level, o.level,
                 o.aud ? o.frames : 0, o.frames * slices, idrPictures * slices, (o.width + 15) / 16 * 8 - o.width / 2,
                 (o.height + 15) / 16 * 8 - o.height / 2, o.timing ? 1 : 0);
    if (o.timing) {
        std::fprintf(file.get(), "r_frame_rate=%u/%u\n", o.fpsNumerator / divisor, o.fpsDenominator / divisor);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) return Fail("bad arguments");
    ZEPCreateParams params = MakeCreateParams(options.width, options.height, options.fpsNumerator,
                                              options.fpsDenominator);
    params.profile = options.profile;
    params.level = options.level;
    params.insertAud = options.aud;
    params.outputType = options.output;
    ZEPCreateResult created = Sized<ZEPCreateResult>();
    if (const int32_t code = ZEPCreate(&params, &created)) return Fail("ZEPCreate failed", code);
    ZEPConfig config = MakeConfig(options.idr, options.slice, options.timing);
    ZEPConfigHeader header = MakeConfigHeader(&config);
    ZEPStatus status = Sized<ZEPStatus>();
    ZEPControlParams control = Sized<ZEPControlParams>();
    if (const int32_t code = ZEPSetConfig(created.handle, &header, &status)) return Fail("ZEPSetConfig failed", code);
    if (const int32_t code = ZEPStartEncode(created.handle, &control, &status)) {
        return Fail("ZEPStartEncode failed", code);
    }
    std::vector<uint8_t> stream;
    uint32_t idrPictures = 0;
    const DWORD began = GetTickCount();
    if (const int failed = PullStream(created.handle, options, stream, idrPictures)) return failed;
    std::printf("pulled %u pictures (%u bytes) in %lu ms\n", options.frames, static_cast<unsigned>(stream.size()),
                static_cast<unsigned long>(GetTickCount() - began));
    if (const int32_t code = ZEPStopEncode(created.handle, &control, &status)) {
        return Fail("ZEPStopEncode failed", code);
    }
    ZEPHandleParams destroy = MakeHandleParams(created.handle);
    if (const int32_t code = ZEPDestroy(&destroy, &status)) return Fail("ZEPDestroy failed", code);
    UniqueFile file(std::fopen("stream.h264", "wb"));
    if (!file || std::fwrite(stream.data(), 1, stream.size(), file.get()) != stream.size()) {
        return Fail("cannot write stream.h264");
    }
    file.reset();
    if (const int failed = WriteSourceFrames(options)) return failed;
    return WriteExpectations(options, idrPictures);
}
