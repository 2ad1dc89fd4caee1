// Records exchanged with the encode-service library (qztrvx32.dll). Fixed little-endian layouts;
// every record begins with its own size in bytes. The caller zero-fills a record and writes its
// size before a call. The one description of these records: the binding and the encoder of
// vqx.dll and the stand-in service (drivers/qztrvx32) all compile against it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vqx::zep {

struct ZEPCreateParams {         // 68 bytes
    uint32_t size;               // 68
    uint32_t optionalFieldMask;  // bit 3: feedbacks valid, bit 4: AUD field valid
    uint32_t reserved8;
    uint32_t usage;  // 0 generic, 1 wireless display, 2 low latency
    uint32_t width;
    uint32_t height;
    uint32_t profile;  // H.264 profile_idc
    uint32_t level;    // H.264 level_idc
    uint32_t fpsNumerator;
    uint32_t fpsDenominator;
    uint32_t reserved40;
    uint32_t outputType;  // 1 to 4
    uint32_t reserved48;
    uint32_t constant52;  // 33
    uint32_t constant56;  // 1
    uint32_t feedbacks;
    uint32_t insertAud;  // 1 or 0
};

// ZEPCreateParams::optionalFieldMask bits.
constexpr uint32_t kCreateFeedbacksValid = 1u << 3;
constexpr uint32_t kCreateAudValid = 1u << 4;

// ZEPCreateParams::usage codes.
constexpr uint32_t kUsageCodeGeneric = 0;
constexpr uint32_t kUsageCodeWirelessDisplay = 1;
constexpr uint32_t kUsageCodeLowLatency = 2;

// ZEPCreateParams::outputType code under which a query asks for two entries (one output may come
// in two parts).
constexpr uint32_t kOutputTypeTwoParts = 2;

// ZEPCreateParams::profile values (H.264 profile_idc) the encoder offers: Baseline up to High.
constexpr uint32_t kProfileIdcBaseline = 66;
constexpr uint32_t kProfileIdcHigh = 100;

struct ZEPCreateVersion {  // 12 bytes: {12, 0, 0x60000}
    uint32_t size;
    uint32_t reserved4;
    uint32_t version;
};

struct ZEPCreateResult {  // 16 bytes
    uint32_t size;        // 16
    uint32_t reserved4;
    uint32_t handle;  // encoder handle
    uint32_t reserved12;
};

struct ZEPCreateInfo {  // 12 bytes: {12, 0, 0}
    uint32_t size;
    uint32_t reserved4;
    uint32_t reserved8;
};

struct ZEPHandleParams {  // 16 bytes
    uint32_t size;        // 16
    uint32_t reserved4;
    uint32_t value;  // handle, resource identifier or 0
    uint32_t reserved12;
};

struct ZEPControlParams {  // 12 bytes: {12, 0, 0}
    uint32_t size;
    uint32_t reserved4;
    uint32_t reserved8;
};

struct ZEPStatus {    // 8 bytes
    uint32_t size;    // 8
    uint32_t status;  // may be filled by the service; not read
};

struct ZEPConfig;

struct ZEPConfigHeader {  // 16 bytes
    uint32_t size;        // 16
    uint32_t reserved4;
    ZEPConfig* config;  // 32-bit address of the configuration record
    uint32_t reserved12;
};

struct ZEPConfig {        // 100 bytes
    uint32_t size;        // 100
    uint32_t changeMask;  // bit k: field at offset 36 + 4k is valid
    uint32_t idrPeriod;
    uint32_t skippedPicPeriod;
    uint32_t reserved16;
    uint32_t rateControlMethod;
    uint32_t bitrate;
    uint32_t peakBitrate;
    uint32_t derivedIdrPeriod;
    uint32_t intraRefreshMbs;     // bit 0
    uint32_t reserved40;          // bit 1, never set
    uint32_t vbvBufferSize;       // bit 2
    uint32_t initialVbvFullness;  // bit 3, 0..64
    uint32_t minQp;               // bit 4
    uint32_t maxQp;               // bit 5
    uint32_t reserved60;          // bit 6, never set
    uint32_t deblockingDisabled;  // bit 7
    uint32_t mbsPerSlice;         // bit 8
    uint32_t reserved72;          // bit 9, never set
    uint32_t fillerData;          // bit 10
    uint32_t qpI;                 // bit 11
    uint32_t qpP;                 // bit 12
    uint32_t halfPixel;           // bit 13
    uint32_t quarterPixel;        // bit 14
    uint32_t timingInfo;          // bit 15
};

// The ZEPConfig::changeMask bit of the optional field at `fieldOffset` (36 + 4k: bit k).
constexpr uint32_t ChangeMaskBit(std::size_t fieldOffset) {
    return 1u << ((fieldOffset - 36) / 4);
}

constexpr uint32_t kChangeIntraRefreshMbs = ChangeMaskBit(offsetof(ZEPConfig, intraRefreshMbs));
constexpr uint32_t kChangeVbvBufferSize = ChangeMaskBit(offsetof(ZEPConfig, vbvBufferSize));
constexpr uint32_t kChangeInitialVbvFullness = ChangeMaskBit(offsetof(ZEPConfig, initialVbvFullness));
constexpr uint32_t kChangeMinQp = ChangeMaskBit(offsetof(ZEPConfig, minQp));
constexpr uint32_t kChangeMaxQp = ChangeMaskBit(offsetof(ZEPConfig, maxQp));
constexpr uint32_t kChangeDeblockingDisabled = ChangeMaskBit(offsetof(ZEPConfig, deblockingDisabled));
constexpr uint32_t kChangeMbsPerSlice = ChangeMaskBit(offsetof(ZEPConfig, mbsPerSlice));
constexpr uint32_t kChangeFillerData = ChangeMaskBit(offsetof(ZEPConfig, fillerData));
constexpr uint32_t kChangeQpI = ChangeMaskBit(offsetof(ZEPConfig, qpI));
constexpr uint32_t kChangeQpP = ChangeMaskBit(offsetof(ZEPConfig, qpP));
constexpr uint32_t kChangeHalfPixel = ChangeMaskBit(offsetof(ZEPConfig, halfPixel));
constexpr uint32_t kChangeQuarterPixel = ChangeMaskBit(offsetof(ZEPConfig, quarterPixel));
constexpr uint32_t kChangeTimingInfo = ChangeMaskBit(offsetof(ZEPConfig, timingInfo));

// ZEPConfig::rateControlMethod codes.
constexpr uint32_t kRateControlConstantQp = 0;
constexpr uint32_t kRateControlCappedQuality = 3;
constexpr uint32_t kRateControlCbr = 4;
constexpr uint32_t kRateControlVbr = 6;

struct ZEPQueryParams {  // 16 bytes
    uint32_t size;       // 16
    uint32_t reserved4;
    uint32_t requestedCount;  // 1 or 2
    uint32_t reserved12;
};

struct ZEPOutputEntry;

struct ZEPQueryResult {  // 16 bytes
    uint32_t size;       // 16
    uint32_t reserved4;
    uint32_t returnedCount;   // written by the service
    ZEPOutputEntry* entries;  // caller-allocated array of requestedCount entries
};

struct ZEPSideRecord {  // 16 bytes, first field 16
    uint32_t size;
    uint32_t reserved[3];
};

#pragma pack(push, 4)
struct ZEPOutputEntry {  // 56 bytes
    uint32_t size;       // 56
    uint32_t flags;      // bit 0: sideRecord addresses a ZEPSideRecord
    uint32_t resourceId;
    uint32_t reserved12;
    uint32_t typeCode;  // 0, 1, 2, 4 or 5
    uint8_t* data;      // encoded bytes in service memory
    uint32_t dataSize;
    uint32_t reserved28;
    int64_t timestamp;
    ZEPSideRecord* sideRecord;
    uint32_t reserved44[3];
};
#pragma pack(pop)

struct ZEPCaps {    // 268 bytes
    uint32_t size;  // 268
    uint32_t reserved4;
    uint32_t count;
    uint32_t values[64];
};

// Values in ZEPCaps::values: the usages the service supports.
constexpr uint32_t kCapabilityGeneric = 0;
constexpr uint32_t kCapabilityWirelessDisplay = 1;
constexpr uint32_t kCapabilityLowLatency = 4;

// Entry points of the library, all with the standard calling convention; 0 means success.
using ZEPCreateProc = int32_t(__stdcall*)(const ZEPCreateParams*, const ZEPCreateVersion*, ZEPCreateResult*,
                                          ZEPCreateInfo*);
using ZEPDestroyProc = int32_t(__stdcall*)(const ZEPHandleParams*, ZEPStatus*);
using ZEPSetConfigProc = int32_t(__stdcall*)(uint32_t, const ZEPConfigHeader*, ZEPStatus*);
using ZEPControlProc = int32_t(__stdcall*)(uint32_t, const ZEPControlParams*, ZEPStatus*);  // start and stop
using ZEPQueryOutputsProc = int32_t(__stdcall*)(uint32_t, const ZEPQueryParams*, ZEPQueryResult*);
using ZEPReclaimProc = int32_t(__stdcall*)(uint32_t, const ZEPHandleParams*, ZEPStatus*);
using ZEPGetCapsProc = int32_t(__stdcall*)(uint32_t, const ZEPHandleParams*, ZEPCaps*);

// The ordinals the library exports them by (names are not exported); 1302 and 1306 are unused.
constexpr uint32_t kOrdinalCreate = 1300;
constexpr uint32_t kOrdinalDestroy = 1301;
constexpr uint32_t kOrdinalSetConfig = 1303;
constexpr uint32_t kOrdinalStartEncode = 1304;
constexpr uint32_t kOrdinalStopEncode = 1305;
constexpr uint32_t kOrdinalQueryOutputs = 1307;
constexpr uint32_t kOrdinalReclaimOutputResource = 1308;
constexpr uint32_t kOrdinalGetCaps = 1309;

// An entry counts as an output when any of these is non-zero.
inline bool IsOutput(const ZEPOutputEntry& entry) {
    return entry.resourceId != 0 || entry.typeCode != 0 || entry.data != nullptr || entry.dataSize != 0;
}

static_assert(sizeof(void*) == 4, "the records carry 32-bit addresses");
static_assert(sizeof(ZEPCreateParams) == 68);
static_assert(offsetof(ZEPCreateParams, usage) == 12 && offsetof(ZEPCreateParams, width) == 16);
static_assert(offsetof(ZEPCreateParams, profile) == 24 && offsetof(ZEPCreateParams, level) == 28);
static_assert(offsetof(ZEPCreateParams, fpsNumerator) == 32 && offsetof(ZEPCreateParams, fpsDenominator) == 36);
static_assert(offsetof(ZEPCreateParams, outputType) == 44 && offsetof(ZEPCreateParams, constant52) == 52);
static_assert(offsetof(ZEPCreateParams, constant56) == 56 && offsetof(ZEPCreateParams, feedbacks) == 60);
static_assert(offsetof(ZEPCreateParams, insertAud) == 64);
static_assert(sizeof(ZEPCreateVersion) == 12 && sizeof(ZEPCreateResult) == 16 && sizeof(ZEPCreateInfo) == 12);
static_assert(offsetof(ZEPCreateResult, handle) == 8);
static_assert(sizeof(ZEPHandleParams) == 16 && offsetof(ZEPHandleParams, value) == 8);
static_assert(sizeof(ZEPControlParams) == 12 && sizeof(ZEPStatus) == 8);
static_assert(sizeof(ZEPConfigHeader) == 16 && offsetof(ZEPConfigHeader, config) == 8);
static_assert(sizeof(ZEPConfig) == 100);
static_assert(offsetof(ZEPConfig, idrPeriod) == 8 && offsetof(ZEPConfig, rateControlMethod) == 20);
static_assert(offsetof(ZEPConfig, bitrate) == 24 && offsetof(ZEPConfig, derivedIdrPeriod) == 32);
static_assert(offsetof(ZEPConfig, intraRefreshMbs) == 36 && offsetof(ZEPConfig, vbvBufferSize) == 44);
static_assert(offsetof(ZEPConfig, initialVbvFullness) == 48 && offsetof(ZEPConfig, minQp) == 52);
static_assert(offsetof(ZEPConfig, maxQp) == 56 && offsetof(ZEPConfig, deblockingDisabled) == 64);
static_assert(offsetof(ZEPConfig, mbsPerSlice) == 68 && offsetof(ZEPConfig, fillerData) == 76);
static_assert(offsetof(ZEPConfig, qpI) == 80 && offsetof(ZEPConfig, qpP) == 84);
static_assert(offsetof(ZEPConfig, halfPixel) == 88 && offsetof(ZEPConfig, quarterPixel) == 92);
static_assert(offsetof(ZEPConfig, timingInfo) == 96);
static_assert(sizeof(ZEPQueryParams) == 16 && offsetof(ZEPQueryParams, requestedCount) == 8);
static_assert(sizeof(ZEPQueryResult) == 16 && offsetof(ZEPQueryResult, returnedCount) == 8);
static_assert(offsetof(ZEPQueryResult, entries) == 12);
static_assert(sizeof(ZEPOutputEntry) == 56);
static_assert(offsetof(ZEPOutputEntry, resourceId) == 8 && offsetof(ZEPOutputEntry, typeCode) == 16);
static_assert(offsetof(ZEPOutputEntry, data) == 20 && offsetof(ZEPOutputEntry, dataSize) == 24);
static_assert(offsetof(ZEPOutputEntry, timestamp) == 32 && offsetof(ZEPOutputEntry, sideRecord) == 40);
static_assert(sizeof(ZEPSideRecord) == 16);
static_assert(kChangeIntraRefreshMbs == 1u << 0 && kChangeVbvBufferSize == 1u << 2 && kChangeMbsPerSlice == 1u << 8);
static_assert(kChangeTimingInfo == 1u << 15);
static_assert(sizeof(ZEPCaps) == 268 && offsetof(ZEPCaps, count) == 8 && offsetof(ZEPCaps, values) == 12);

}  // namespace vqx::zep
