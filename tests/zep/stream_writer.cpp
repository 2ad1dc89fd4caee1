// zep_stream_writer: drives one stand-in encoder through the binding's wrappers alone and writes
// what it delivers as an H.264 file, with the checksums of the synthetic source frames and the
// stream properties a decoder must find. check_stream.sh runs it and compares with ffmpeg.
//
// Usage: zep_stream_writer key=value ...   (width height fps=N/D profile level aud timing slice
// idr output frames); files are written into the current folder: stream.h264, expected.txt,
// source.crc (the CRC-32 of each source frame as planar I420, one per line).
#include "zep_test_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

using namespace zeptest;

namespace {

struct FileClose {
    void operator()(FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<FILE, FileClose>;

// CRC-32 (IEEE 802.3, as zlib and ffmpeg's framehash compute it), eight bytes per step.
class Crc32 {
public:
    Crc32() {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) {
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            }
            table_[0][i] = c;
        }
        for (uint32_t i = 0; i < 256; ++i) {
            for (int t = 1; t < 8; ++t) {
                table_[t][i] = (table_[t - 1][i] >> 8) ^ table_[0][table_[t - 1][i] & 0xFF];
            }
        }
    }
    uint32_t operator()(const uint8_t* data, size_t size) const {
        uint32_t crc = 0xFFFFFFFFu;
        for (; size >= 8; data += 8, size -= 8) {
            uint32_t low;
            uint32_t high;
            std::memcpy(&low, data, 4);
            std::memcpy(&high, data + 4, 4);
            low ^= crc;
            crc = table_[7][low & 0xFF] ^ table_[6][(low >> 8) & 0xFF] ^ table_[5][(low >> 16) & 0xFF] ^
                  table_[4][low >> 24] ^ table_[3][high & 0xFF] ^ table_[2][(high >> 8) & 0xFF] ^
                  table_[1][(high >> 16) & 0xFF] ^ table_[0][high >> 24];
        }
        while (size-- > 0) {
            crc = table_[0][(crc ^ *data++) & 0xFF] ^ (crc >> 8);
        }
        return ~crc;
    }

private:
    uint32_t table_[8][256];
};

struct Options {
    uint32_t width = 200;
    uint32_t height = 120;
    uint32_t fpsNumerator = 30;
    uint32_t fpsDenominator = 1;
    uint32_t profile = 100;
    uint32_t level = 40;
    uint32_t aud = 1;
    uint32_t timing = 1;
    uint32_t slice = 0;  // macroblocks per slice, 0: one slice
    uint32_t idr = 0;    // IDR period, 0: only the first picture
    uint32_t output = 1;
    uint32_t frames = 30;
};

bool ParseOptions(int argc, char** argv, Options& options) {
    std::map<std::string, uint32_t*> fields{
        {"width", &options.width}, {"height", &options.height}, {"profile", &options.profile},
        {"level", &options.level}, {"aud", &options.aud},       {"timing", &options.timing},
        {"slice", &options.slice}, {"idr", &options.idr},       {"output", &options.output},
        {"frames", &options.frames}};
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const size_t equals = arg.find('=');
        if (equals == std::string::npos) {
            return false;
        }
        const std::string key = arg.substr(0, equals);
        const std::string value = arg.substr(equals + 1);
        if (key == "fps") {
            if (std::sscanf(value.c_str(), "%u/%u", &options.fpsNumerator, &options.fpsDenominator) != 2) {
                return false;
            }
        } else if (fields.count(key) != 0) {
            *fields[key] = static_cast<uint32_t>(std::strtoul(value.c_str(), nullptr, 10));
        } else {
            return false;
        }
    }
    return options.fpsNumerator != 0 && options.fpsDenominator != 0 && options.frames != 0;
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

// The NAL unit types of an output, in order (Annex-B with 4-byte start codes).
std::vector<int> NalTypes(const uint8_t* data, size_t size) {
    std::vector<int> types;
    for (size_t i = 0; i + 4 < size; ++i) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 0 && data[i + 3] == 1) {
            types.push_back(data[i + 4] & 0x1F);
            i += 4;
        }
    }
    return types;
}

// Checks that output n is picture n: the first carries the parameter sets in front of its IDR
// slices (after the one delimiter, when asked), every later one is a single picture alone.
bool HasExpectedLayout(const std::vector<int>& nalTypes, uint32_t picture, uint32_t typeCode, const Options& options) {
    size_t at = 0;
    if (options.aud != 0 && (nalTypes.empty() || nalTypes[at++] != 9)) {
        return false;
    }
    if (picture == 0 && (nalTypes.size() < at + 2 || nalTypes[at++] != 7 || nalTypes[at++] != 8)) {
        return false;
    }
    const int sliceType = typeCode == qzt::kTypePPicture || typeCode == qzt::kTypeSkippedPicture ? 1 : 5;
    if (at == nalTypes.size()) {
        return false;
    }
    for (; at < nalTypes.size(); ++at) {
        if (nalTypes[at] != sliceType) {
            return false;
        }
    }
    return true;
}

// Pulls `frames` pictures into `stream`, one per output, reclaiming every resource after its last
// entry, and checks types, NAL units, resource sharing and timestamps on the way.
int PullStream(uint32_t handle, const Options& options, std::vector<uint8_t>& stream, uint32_t& idrPictures) {
    const uint32_t requested = options.output == 2 ? 2 : 1;
    uint32_t pictures = 0;
    const DWORD begin = GetTickCount();
    const DWORD limitMs = 60000 + options.frames * 1000ull * options.fpsDenominator / options.fpsNumerator;
    while (pictures < options.frames) {
        std::vector<ZEPOutputEntry> entries(requested, MakeEntry());
        ZEPQueryParams in = MakeQueryParams(requested);
        ZEPQueryResult out{sizeof(ZEPQueryResult), 0, 0, entries.data()};
        const int32_t code = ZEPQueryOutputs(handle, &in, &out);
        if (code != 0) {
            return Fail("ZEPQueryOutputs failed", code);
        }
        if (out.returnedCount != requested) {
            if (GetTickCount() - begin > limitMs) {
                return Fail("outputs stopped coming");
            }
            Sleep(1);
            continue;
        }
        const size_t outputBegin = stream.size();
        for (uint32_t i = 0; i < requested; ++i) {
            const ZEPOutputEntry& entry = entries[i];
            stream.insert(stream.end(), entry.data, entry.data + entry.dataSize);
            const bool continuation = requested == 2 && i == 1;
            if (continuation) {
                if (entry.typeCode != qzt::kTypeContinuation || entry.resourceId != entries[0].resourceId ||
                    entry.data != entries[0].data + entries[0].dataSize || entry.timestamp != entries[0].timestamp) {
                    return Fail("second part of a split output is not a continuation of the first");
                }
                continue;
            }
            if ((pictures == 0) != (entry.typeCode == qzt::kTypeFirstIdrPicture)) {
                return Fail("type code 1 is not exactly the first output", static_cast<int32_t>(pictures));
            }
            const int64_t expected = static_cast<int64_t>(pictures) * options.fpsDenominator * 10000000 /
                                     options.fpsNumerator;
            if (entry.timestamp != expected) {
                return Fail("unexpected timestamp of picture", static_cast<int32_t>(pictures));
            }
            if (entry.typeCode == qzt::kTypeFirstIdrPicture || entry.typeCode == qzt::kTypeIdrPicture) {
                ++idrPictures;
            } else if (entry.typeCode != qzt::kTypePPicture && entry.typeCode != qzt::kTypeSkippedPicture) {
                return Fail("unexpected type code", static_cast<int32_t>(entry.typeCode));
            }
        }
        // The whole output (both parts of a split one) holds exactly one picture.
        const std::vector<int> nalTypes = NalTypes(stream.data() + outputBegin, stream.size() - outputBegin);
        if (!HasExpectedLayout(nalTypes, pictures, entries[0].typeCode, options)) {
            return Fail("unexpected NAL units in the output of picture", static_cast<int32_t>(pictures));
        }
        ++pictures;
        ZEPHandleParams reclaim = MakeHandleParams(entries[requested - 1].resourceId);
        ZEPStatus status = MakeStatus();
        if (const int32_t reclaimed = ZEPReclaimOutputResource(handle, &reclaim, &status)) {
            return Fail("ZEPReclaimOutputResource failed", reclaimed);
        }
    }
    return 0;
}

int WriteSourceChecksums(const Options& options) {
    qzt::TestControls controls;
    if (!controls.LoadFromProcess()) {
        return Fail("the stand-in's test controls are missing");
    }
    const uint32_t size = options.width * options.height + 2 * (options.width / 2) * (options.height / 2);
    std::vector<uint8_t> frame(size);
    const Crc32 crc;
    UniqueFile file(std::fopen("source.crc", "wb"));
    if (!file) {
        return Fail("cannot write source.crc");
    }
    for (uint32_t n = 0; n < options.frames; ++n) {
        if (const int32_t code = controls.RenderFrame(options.width, options.height, n, frame.data(), size)) {
            return Fail("QztTest_RenderFrame failed", code);
        }
        std::fprintf(file.get(), "%08x\n", crc(frame.data(), frame.size()));
    }
    return 0;
}

int WriteExpectations(const Options& options, uint32_t idrPictures) {
    const uint32_t mbCount = ((options.width + 15) / 16) * ((options.height + 15) / 16);
    const uint32_t slices = options.slice == 0 ? 1 : (mbCount + options.slice - 1) / options.slice;
    const uint32_t divisor = std::gcd(options.fpsNumerator, options.fpsDenominator);
    UniqueFile file(std::fopen("expected.txt", "wb"));
    if (!file) {
        return Fail("cannot write expected.txt");
    }
    std::fprintf(file.get(),
                 "frames=%u\nwidth=%u\nheight=%u\nprofile=%s\nprofile_idc=%u\nlevel=%u\nlevel_idc=%u\n"
                 "aud_count=%u\nslice_count=%u\nidr_slice_count=%u\ncrop_right=%u\ncrop_bottom=%u\n"
                 "vui_parameters_present_flag=%u\n",
                 options.frames, options.width, options.height, ProfileName(options.profile), options.profile,
                 options.level, options.level, options.aud ? options.frames : 0, options.frames * slices,
                 idrPictures * slices, ((options.width + 15) / 16 * 16 - options.width) / 2,
                 ((options.height + 15) / 16 * 16 - options.height) / 2, options.timing ? 1 : 0);
    if (options.timing) {
        std::fprintf(file.get(), "r_frame_rate=%u/%u\n", options.fpsNumerator / divisor,
                     options.fpsDenominator / divisor);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        return Fail("bad arguments");
    }
    ZEPCreateParams params = MakeCreateParams(options.width, options.height, options.fpsNumerator,
                                              options.fpsDenominator);
    params.profile = options.profile;
    params.level = options.level;
    params.insertAud = options.aud;
    params.outputType = options.output;
    ZEPCreateResult created = MakeCreateResult();
    if (const int32_t code = ZEPCreate(&params, &created)) {
        return Fail("ZEPCreate failed", code);
    }
    const uint32_t handle = created.handle;
    ZEPConfig config = MakeConfig(options.idr, options.slice, options.timing);
    ZEPConfigHeader header = MakeConfigHeader(&config);
    ZEPStatus status = MakeStatus();
    if (const int32_t code = ZEPSetConfig(handle, &header, &status)) {
        return Fail("ZEPSetConfig failed", code);
    }
    ZEPControlParams control = MakeControlParams();
    if (const int32_t code = ZEPStartEncode(handle, &control, &status)) {
        return Fail("ZEPStartEncode failed", code);
    }
    std::vector<uint8_t> stream;
    uint32_t idrPictures = 0;
    const DWORD began = GetTickCount();
    if (const int failed = PullStream(handle, options, stream, idrPictures)) {
        return failed;
    }
    std::printf("pulled %u pictures (%u bytes) in %lu ms\n", options.frames, static_cast<unsigned>(stream.size()),
                static_cast<unsigned long>(GetTickCount() - began));
    if (const int32_t code = ZEPStopEncode(handle, &control, &status)) {
        return Fail("ZEPStopEncode failed", code);
    }
    ZEPHandleParams destroy = MakeHandleParams(handle);
    if (const int32_t code = ZEPDestroy(&destroy, &status)) {
        return Fail("ZEPDestroy failed", code);
    }
    UniqueFile file(std::fopen("stream.h264", "wb"));
    if (!file || std::fwrite(stream.data(), 1, stream.size(), file.get()) != stream.size()) {
        return Fail("cannot write stream.h264");
    }
    file.reset();
    if (const int failed = WriteSourceChecksums(options)) {
        return failed;
    }
    return WriteExpectations(options, idrPictures);
}
