// Helpers of the encode-service tests: well-formed records, Windows paths of build folders, the
// library search path, and the stand-in's test controls.
#pragma once

#include "bindings/zep_service.h"
#include "qzt_test_api.h"

#include <windows.h>

#include <string>

namespace zeptest {

using namespace vqx::zep;

// Well-formed creation parameters as the encoder fills them (usage generic, output type 1).
inline ZEPCreateParams MakeCreateParams(uint32_t width = 64, uint32_t height = 48, uint32_t fpsNumerator = 30,
                                        uint32_t fpsDenominator = 1) {
    ZEPCreateParams params{};
    params.size = sizeof params;
    params.optionalFieldMask = 24;  // feedbacks and access-unit delimiter fields valid
    params.usage = 0;
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

inline ZEPCreateResult MakeCreateResult() { return ZEPCreateResult{sizeof(ZEPCreateResult), 0, 0, 0}; }
inline ZEPHandleParams MakeHandleParams(uint32_t value) { return ZEPHandleParams{sizeof(ZEPHandleParams), 0, value, 0}; }
inline ZEPControlParams MakeControlParams() { return ZEPControlParams{sizeof(ZEPControlParams), 0, 0}; }
inline ZEPStatus MakeStatus() { return ZEPStatus{sizeof(ZEPStatus), 0}; }
inline ZEPQueryParams MakeQueryParams(uint32_t count) { return ZEPQueryParams{sizeof(ZEPQueryParams), 0, count, 0}; }
inline ZEPOutputEntry MakeEntry() {
    ZEPOutputEntry entry{};
    entry.size = sizeof entry;
    return entry;
}
inline ZEPCaps MakeCaps() {
    ZEPCaps caps{};
    caps.size = sizeof caps;
    return caps;
}

// A configuration as the encoder first pushes it (every optional field valid).
inline ZEPConfig MakeConfig(uint32_t idrPeriod = 150, uint32_t mbsPerSlice = 0, uint32_t timingInfo = 1) {
    ZEPConfig config{};
    config.size = sizeof config;
    config.changeMask = 64953;
    config.idrPeriod = idrPeriod;
    config.rateControlMethod = 4;
    config.bitrate = 2000000;
    config.peakBitrate = 2000000;
    config.derivedIdrPeriod = 150;
    config.intraRefreshMbs = 30;
    config.initialVbvFullness = 64;
    config.minQp = 22;
    config.maxQp = 51;
    config.mbsPerSlice = mbsPerSlice;
    config.qpI = 22;
    config.qpP = 22;
    config.halfPixel = 1;
    config.quarterPixel = 1;
    config.timingInfo = timingInfo;
    return config;
}

inline ZEPConfigHeader MakeConfigHeader(ZEPConfig* config) {
    return ZEPConfigHeader{sizeof(ZEPConfigHeader), 0, config, 0};
}

// "Z:\..." for a folder of the build tree (given as a Unix path).
inline std::wstring WindowsPath(const char* unixPath) {
    std::wstring path = L"Z:";
    for (const char* p = unixPath; *p != 0; ++p) {
        path += *p == '/' ? L'\\' : static_cast<wchar_t>(*p);
    }
    return path;
}

// Makes the ordinary library search look in `folder` only (besides the system folders).
inline bool SetLibrarySearchPath(const std::wstring& folder) {
    return SetEnvironmentVariableW(L"PATH", folder.c_str()) != FALSE;
}

inline bool IsServiceLoaded() { return GetModuleHandleW(L"qztrvx32.dll") != nullptr; }

}  // namespace zeptest
