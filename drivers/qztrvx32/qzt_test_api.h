// What tests see of the stand-in encode service qztrvx32.dll: its own result codes, the meaning
// of its output type codes, and its test controls (named cdecl exports that the real driver does
// not have), with a loader that finds them in the loaded library. See README.md.
// Ownership: the controls copy in and out of caller buffers. Thread rules: every control and
// entry point of the stand-in runs under one lock, so controls may be called from any thread.
#pragma once

#include <windows.h>

#include <cstdint>

namespace qzt {

// Non-zero results of the stand-in's entry points (never equal to a binding's 0x8000000x codes).
constexpr int32_t kBadSize = -101;          // a record's size field is wrong
constexpr int32_t kNullPointer = -102;      // a record pointer (or the entry array) is null
constexpr int32_t kBadParameter = -103;     // a value is out of range (create parameters, count)
constexpr int32_t kBadHandle = -104;        // no encoder with that handle
constexpr int32_t kWrongState = -105;       // start while started, stop or query while stopped
constexpr int32_t kBadResource = -106;      // reclaim of a resource that is not handed out
constexpr int32_t kTooManyEncoders = -107;  // more than kMaxEncoders encoders at once
constexpr int32_t kNotImplemented = -108;   // ordinals 1302 and 1306
constexpr int32_t kOutOfMemory = -109;      // memory for an output could not be had
constexpr int32_t kInternalError = -110;    // any other failure inside the stand-in

constexpr uint32_t kMaxEncoders = 8;

// Type codes of output entries.
constexpr uint32_t kTypeContinuation = 0;     // the second part of an output split over two entries
constexpr uint32_t kTypeFirstIdrPicture = 1;  // picture 0 after a start: [AUD,] SPS, PPS, IDR slices
constexpr uint32_t kTypeIdrPicture = 2;       // any later IDR picture
constexpr uint32_t kTypePPicture = 4;         // a P picture with changed macroblocks
constexpr uint32_t kTypeSkippedPicture = 5;   // a P picture in which nothing changed (all skipped)

// What the stand-in knows of one output it coded (QztTest_GetPictureInfo).
struct QztPictureInfo {
    uint32_t picture;      // index since the start
    uint32_t typeCode;     // kTypeFirstIdrPicture ... kTypeSkippedPicture
    uint32_t bytes;        // the whole output, filler included
    uint32_t fillerBytes;  // filler NAL units (type 12), start codes included
    uint32_t crc;          // CRC-32 of the reconstruction, visible area as planar I420
    uint32_t sliceQp;      // QP of the first macroblock
    uint32_t minQp;        // over the macroblocks (skipped ones carry the QP they inherit)
    uint32_t maxQp;
    uint32_t meanQpX100;
    uint32_t intraMbs;
    uint32_t skippedMbs;
    uint32_t halfPelVectors;     // vectors with a half-sample component and no quarter-sample one
    uint32_t quarterPelVectors;  // vectors with a quarter-sample component
    uint32_t retries;            // times the picture was coded again at a higher QP
    uint32_t clippedLevels;      // levels clipped so that level_prefix stays at most 15 (66, 77)
    uint32_t underflow;          // 1: the picture broke the buffer model even at "Max QP"
    int32_t bufferBits;          // buffer level after the picture
};

extern "C" {
using QztResetProc = void(__cdecl*)();
using QztFailOperationProc = void(__cdecl*)(const char* operation, int32_t code, uint32_t times);
using QztSetCapsProc = void(__cdecl*)(const uint32_t* values, uint32_t count);
using QztSetUint32Proc = void(__cdecl*)(uint32_t value);
using QztGetRecordProc = uint32_t(__cdecl*)(void* out, uint32_t size);
using QztGetCallCountProc = uint32_t(__cdecl*)(const char* operation);
using QztGetReclaimedIdsProc = uint32_t(__cdecl*)(uint32_t* out, uint32_t capacity);
using QztGetOutstandingCountProc = uint32_t(__cdecl*)();
using QztRenderFrameProc = int32_t(__cdecl*)(uint32_t width, uint32_t height, uint32_t frameIndex, uint8_t* out,
                                             uint32_t size);
using QztGetPictureInfoProc = int32_t(__cdecl*)(uint32_t handle, uint32_t picture, QztPictureInfo* out);
}

// The controls of a loaded stand-in. Load() fills every member or returns false.
struct TestControls {
    QztResetProc Reset = nullptr;
    QztFailOperationProc FailOperation = nullptr;
    QztSetCapsProc SetCaps = nullptr;
    QztSetUint32Proc SetOutputDelay = nullptr;
    QztSetUint32Proc HoldOutputs = nullptr;
    QztSetUint32Proc SetPartialResults = nullptr;
    QztSetUint32Proc SetEmptyResults = nullptr;
    QztGetRecordProc GetLastCreateParams = nullptr;
    QztGetRecordProc GetLastConfig = nullptr;
    QztGetCallCountProc GetCallCount = nullptr;
    QztGetReclaimedIdsProc GetReclaimedIds = nullptr;
    QztGetOutstandingCountProc GetOutstandingCount = nullptr;
    QztRenderFrameProc RenderFrame = nullptr;
    QztGetPictureInfoProc GetPictureInfo = nullptr;

    bool Load(HMODULE module) {
        return Find(module, "QztTest_Reset", Reset) && Find(module, "QztTest_FailOperation", FailOperation) &&
               Find(module, "QztTest_SetCaps", SetCaps) && Find(module, "QztTest_SetOutputDelay", SetOutputDelay) &&
               Find(module, "QztTest_HoldOutputs", HoldOutputs) &&
               Find(module, "QztTest_SetPartialResults", SetPartialResults) &&
               Find(module, "QztTest_SetEmptyResults", SetEmptyResults) &&
               Find(module, "QztTest_GetLastCreateParams", GetLastCreateParams) &&
               Find(module, "QztTest_GetLastConfig", GetLastConfig) &&
               Find(module, "QztTest_GetCallCount", GetCallCount) &&
               Find(module, "QztTest_GetReclaimedIds", GetReclaimedIds) &&
               Find(module, "QztTest_GetOutstandingCount", GetOutstandingCount) &&
               Find(module, "QztTest_RenderFrame", RenderFrame) &&
               Find(module, "QztTest_GetPictureInfo", GetPictureInfo);
    }

    // Loads the controls of the qztrvx32.dll already loaded in this process.
    bool LoadFromProcess() {
        const HMODULE module = GetModuleHandleW(L"qztrvx32.dll");
        return module != nullptr && Load(module);
    }

private:
    template <typename Proc>
    static bool Find(HMODULE module, const char* name, Proc& proc) {
        proc = reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(module, name)));
        return proc != nullptr;
    }
};

}  // namespace qzt
