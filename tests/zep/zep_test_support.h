// Helpers of the encode-service tests: well-formed records, Windows paths of build folders, the
// library search path, and NAL unit scanning.
#pragma once

#include "bindings/zep_service.h"
#include "qzt_test_api.h"

#include <windows.h>

#include <string>
#include <vector>

namespace vqx::test {

using namespace vqx::zep;

// A zero-filled record with its size field set, as every record is handed to the service.
template <class Record>
Record Sized() {
    Record record{};
    record.size = sizeof record;
    return record;
}

// Well-formed creation parameters as the encoder fills them (usage generic, output type 1).
inline ZEPCreateParams MakeCreateParams(uint32_t width = 64, uint32_t height = 48, uint32_t fpsNumerator = 30,
                                        uint32_t fpsDenominator = 1) {
    ZEPCreateParams params = Sized<ZEPCreateParams>();
    params.optionalFieldMask = 24;  // feedbacks and access-unit delimiter fields valid
    params.width = width;
    params.height = height;
    params.profile = 66;
    params.level = 30;
    params.fpsNumerator = fpsNumerator;
    params.fpsDenominator = fpsDenominator;
    params.outputType = 1;
    params.constant52 = 33;
    params.constant56 = 1;
    params.feedbacks = 16;
    params.insertAud = 1;
    return params;
}

inline ZEPHandleParams MakeHandleParams(uint32_t value) {
    return ZEPHandleParams{sizeof(ZEPHandleParams), 0, value, 0};
}
inline ZEPQueryParams MakeQueryParams(uint32_t count) {
    return ZEPQueryParams{sizeof(ZEPQueryParams), 0, count, 0};
}

// A configuration with every optional field valid, as the encoder first pushes it.
inline ZEPConfig MakeConfig(uint32_t idrPeriod = 150, uint32_t mbsPerSlice = 0, uint32_t timingInfo = 1) {
    ZEPConfig config = Sized<ZEPConfig>();
    config.changeMask = 64953;
    config.idrPeriod = idrPeriod;
    config.bitrate = config.peakBitrate = 2000000;
    config.maxQp = 51;
    config.mbsPerSlice = mbsPerSlice;
    config.timingInfo = timingInfo;
    return config;
}

inline ZEPConfigHeader MakeConfigHeader(ZEPConfig* config) {
    return ZEPConfigHeader{sizeof(ZEPConfigHeader), 0, config, 0};
}

// Makes the ordinary library search look in `unixFolder` only (besides the system folders).
inline bool SetLibrarySearchPath(const char* unixFolder) {
    std::wstring path = L"Z:";
    for (const char* p = unixFolder; *p != 0; ++p)
        path += *p == '/' ? L'\\' : static_cast<wchar_t>(*p);
    return SetEnvironmentVariableW(L"PATH", path.c_str()) != FALSE;
}

inline bool IsServiceLoaded() {
    return GetModuleHandleW(L"qztrvx32.dll") != nullptr;
}

// The nal_unit_type of every NAL unit in Annex-B bytes, in order.
inline std::vector<int> NalTypes(const uint8_t* data, size_t size) {
    std::vector<int> types;
    for (size_t i = 0; i + 3 < size; ++i) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
            types.push_back(data[i + 3] & 0x1F);
            i += 3;
        }
    }
    return types;
}

}  // namespace vqx::test
