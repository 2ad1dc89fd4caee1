// zep_stream_writer: drives one stand-in encoder through the binding's wrappers alone and writes
// what it delivers as an H.264 file, with the stand-in's own account of every picture (the CRC
// of its reconstruction, QPs, vectors, buffer) and the stream properties a decoder must find.
// check_stream.sh runs it and compares with ffmpeg; check_rate.py checks the rate and QPs.
//
// Usage: zep_stream_writer key=value ...   Stream: width height fps=N/D profile level aud timing
// slice idr output frames. Configuration: rc (record code) bitrate peak vbv fullness minqp maxqp
// qpi qpp deblock filler half quarter refresh skip; change=N:BITRATE pushes a new bitrate before
// picture N is pulled. Files written into the current folder: stream.h264, expected.txt and
// pictures.csv (one line per output).
#include "zep_test_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <numeric>
#include <string>

using namespace vqx::test;

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
    // The configuration record's fields, defaulting to what vqx sends for a small display.
    uint32_t rc = 4, bitrate = 2000000, peak = 0, vbv = 0, fullness = 64, minqp = 0, maxqp = 51, qpi = 26, qpp = 26,
             deblock = 1, filler = 0, half = 1, quarter = 1, refresh = 0, skip = 0;
    uint32_t changeAt = 0, changeBitrate = 0;  // change=N:BITRATE
};

bool ParseOptions(int argc, char** argv, Options& o) {
    std::map<std::string, uint32_t*> fields{{"width", &o.width},   {"height", &o.height},   {"profile", &o.profile},
                                            {"level", &o.level},   {"aud", &o.aud},         {"timing", &o.timing},
                                            {"slice", &o.slice},   {"idr", &o.idr},         {"output", &o.output},
                                            {"frames", &o.frames}, {"rc", &o.rc},           {"bitrate", &o.bitrate},
                                            {"peak", &o.peak},     {"vbv", &o.vbv},         {"fullness", &o.fullness},
                                            {"minqp", &o.minqp},   {"maxqp", &o.maxqp},     {"qpi", &o.qpi},
                                            {"qpp", &o.qpp},       {"deblock", &o.deblock}, {"filler", &o.filler},
                                            {"half", &o.half},     {"quarter", &o.quarter}, {"refresh", &o.refresh},
                                            {"skip", &o.skip}};
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const size_t equals = arg.find('=');
        const std::string key = arg.substr(0, equals);
        const std::string value = equals == std::string::npos ? std::string() : arg.substr(equals + 1);
        if (key == "fps") {
            if (std::sscanf(value.c_str(), "%u/%u", &o.fpsNumerator, &o.fpsDenominator) != 2) return false;
        } else if (key == "change") {
            if (std::sscanf(value.c_str(), "%u:%u", &o.changeAt, &o.changeBitrate) != 2) return false;
        } else if (fields.count(key) != 0 && !value.empty()) {
            *fields[key] = static_cast<uint32_t>(std::strtoul(value.c_str(), nullptr, 10));
        } else {
            return false;
        }
    }
    if (o.peak == 0) o.peak = o.bitrate;
    return o.fpsNumerator != 0 && o.fpsDenominator != 0 && o.frames != 0;
}

// The configuration record with every optional field valid.
ZEPConfig MakeStreamConfig(const Options& o) {
    ZEPConfig config = MakeConfig(o.idr, o.slice, o.timing);
    config.skippedPicPeriod = o.skip;
    config.rateControlMethod = o.rc;
    config.bitrate = o.bitrate;
    config.peakBitrate = o.peak;
    config.intraRefreshMbs = o.refresh;
    config.vbvBufferSize = o.vbv;
    config.initialVbvFullness = o.fullness;
    config.minQp = o.minqp;
    config.maxQp = o.maxqp;
    config.deblockingDisabled = o.deblock != 0 ? 0 : 1;
    config.fillerData = o.filler;
    config.qpI = o.qpi;
    config.qpP = o.qpp;
    config.halfPixel = o.half;
    config.quarterPixel = o.quarter;
    config.changeMask = 0xFFFF & ~((1u << 1) | (1u << 6) | (1u << 9));  // every field bit vqx may set
    return config;
}

int Fail(const char* what, int32_t code = 0) {
    std::fprintf(stderr, "zep_stream_writer: %s (%ld)\n", what, static_cast<long>(code));
    return 1;
}

const char* ProfileName(uint32_t profile) {
    switch (profile) {
        case 66:
            return "Baseline";
        case 77:
            return "Main";
        case 88:
            return "Extended";
        case 100:
            return "High";
        default:
            return "?";
    }
}

// Output n is picture n: the first carries the parameter sets in front of its IDR slices (after
// the one delimiter, when asked), every later one is a single picture alone; filler data may
// follow the slices.
bool HasExpectedLayout(const std::vector<int>& nalTypes, uint32_t picture, uint32_t typeCode, const Options& options) {
    std::vector<int> head;
    if (options.aud != 0) head.push_back(9);
    if (picture == 0) head.insert(head.end(), {7, 8});
    const int sliceType = typeCode == qzt::kTypePPicture || typeCode == qzt::kTypeSkippedPicture ? 1 : 5;
    if (nalTypes.size() <= head.size() || !std::equal(head.begin(), head.end(), nalTypes.begin())) return false;
    const auto slicesEnd =
        std::find_if(nalTypes.begin() + head.size(), nalTypes.end(), [&](int type) { return type != sliceType; });
    return slicesEnd != nalTypes.begin() + head.size() &&
           std::all_of(slicesEnd, nalTypes.end(), [](int type) { return type == 12; });  // filler last
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

int PushBitrate(uint32_t handle, const Options& options, uint32_t bitrate) {
    Options changed = options;
    changed.bitrate = changed.peak = bitrate;
    ZEPConfig config = MakeStreamConfig(changed);
    ZEPConfigHeader header = MakeConfigHeader(&config);
    ZEPStatus status = Sized<ZEPStatus>();
    const int32_t code = ZEPSetConfig(handle, &header, &status);
    return code == 0 ? 0 : Fail("ZEPSetConfig (bitrate change) failed", code);
}

// Pulls `frames` pictures into `stream`, one per output (two entries of one resource with output
// type 2), reclaiming every resource after its last entry, and checks every output on the way.
int PullStream(uint32_t handle, const Options& options, std::vector<uint8_t>& stream, uint32_t& idrPictures) {
    qzt::TestControls controls;
    if (!controls.LoadFromProcess()) return Fail("the stand-in's test controls are missing");
    UniqueFile pictures(std::fopen("pictures.csv", "wb"));
    if (!pictures) return Fail("cannot write pictures.csv");
    std::fprintf(pictures.get(),
                 "picture,type,timestamp,bytes,filler,crc,sliceqp,minqp,maxqp,intra,skipped,half,"
                 "quarter,retries,underflow,buffer,clipped,meanqp\n");
    const uint32_t requested = options.output == 2 ? 2 : 1;
    bool changed = false;
    const DWORD begin = GetTickCount();
    const DWORD limitMs = 60000 + options.frames * 1000ull * options.fpsDenominator / options.fpsNumerator;
    for (uint32_t picture = 0; picture < options.frames;) {
        if (options.changeBitrate != 0 && picture == options.changeAt && !changed) {
            if (const int failed = PushBitrate(handle, options, options.changeBitrate)) return failed;
            changed = true;
        }
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
        qzt::QztPictureInfo info{};
        if (const int32_t code = controls.GetPictureInfo(handle, picture, &info)) {
            return Fail("QztTest_GetPictureInfo failed", code);
        }
        std::fprintf(pictures.get(), "%u,%u,%lld,%u,%u,%08x,%u,%u,%u,%u,%u,%u,%u,%u,%u,%ld,%u,%.2f\n", picture,
                     typeCode, static_cast<long long>(entries[0].timestamp),
                     static_cast<unsigned>(stream.size() - outputBegin), info.fillerBytes, info.crc, info.sliceQp,
                     info.minQp, info.maxQp, info.intraMbs, info.skippedMbs, info.halfPelVectors,
                     info.quarterPelVectors, info.retries, info.underflow, static_cast<long>(info.bufferBits),
                     info.clippedLevels, info.meanQpX100 / 100.0);
        ++picture;
        ZEPHandleParams reclaim = MakeHandleParams(entries[requested - 1].resourceId);
        ZEPStatus status = Sized<ZEPStatus>();
        if (const int32_t code = ZEPReclaimOutputResource(handle, &reclaim, &status)) {
            return Fail("ZEPReclaimOutputResource failed", code);
        }
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
                 "vui_parameters_present_flag=%u\ndisable_deblocking_filter_idc=%u\n",
                 o.frames, o.width, o.height, ProfileName(o.profile), o.profile, o.level, o.level, o.aud ? o.frames : 0,
                 o.frames * slices, idrPictures * slices, (o.width + 15) / 16 * 8 - o.width / 2,
                 (o.height + 15) / 16 * 8 - o.height / 2, o.timing ? 1 : 0, o.deblock != 0 ? 0 : 1);
    if (o.timing) {
        std::fprintf(file.get(), "r_frame_rate=%u/%u\n", o.fpsNumerator / divisor, o.fpsDenominator / divisor);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) return Fail("bad arguments");
    ZEPCreateParams params =
        MakeCreateParams(options.width, options.height, options.fpsNumerator, options.fpsDenominator);
    params.profile = options.profile;
    params.level = options.level;
    params.insertAud = options.aud;
    params.outputType = options.output;
    ZEPCreateResult created = Sized<ZEPCreateResult>();
    if (const int32_t code = ZEPCreate(&params, &created)) return Fail("ZEPCreate failed", code);
    ZEPConfig config = MakeStreamConfig(options);
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
    return WriteExpectations(options, idrPictures);
}
