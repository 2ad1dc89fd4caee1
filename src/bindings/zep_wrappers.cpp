// Checked calls into the encode-service library. Each wrapper checks in a fixed order (bound
// ordinal or binding, null records, record sizes, nested records) and otherwise passes the
// service's result through unchanged. The wrappers never throw and never trace.
#include "bindings/zep_service.h"

namespace vqx::zep {
namespace {

constexpr uint32_t kCreateParamsSize = sizeof(ZEPCreateParams);
constexpr uint32_t kCreateResultSize = sizeof(ZEPCreateResult);
constexpr uint32_t kHandleParamsSize = sizeof(ZEPHandleParams);
constexpr uint32_t kControlParamsSize = sizeof(ZEPControlParams);
constexpr uint32_t kStatusSize = sizeof(ZEPStatus);
constexpr uint32_t kConfigHeaderSize = sizeof(ZEPConfigHeader);
constexpr uint32_t kConfigSize = sizeof(ZEPConfig);
constexpr uint32_t kQueryParamsSize = sizeof(ZEPQueryParams);
constexpr uint32_t kQueryResultSize = sizeof(ZEPQueryResult);
constexpr uint32_t kOutputEntrySize = sizeof(ZEPOutputEntry);
constexpr uint32_t kSideRecordSize = sizeof(ZEPSideRecord);
constexpr uint32_t kCapsSize = sizeof(ZEPCaps);
constexpr uint32_t kEntryHasSideRecord = 1u;

template <typename Proc>
Proc EntryPoint(uint32_t ordinal) {
    return reinterpret_cast<Proc>(BoundEntryPoint(ordinal));
}

// Checks shared by the calls taking (record in, status out).
int32_t CheckPair(const void* in, uint32_t inSize, uint32_t expectedIn, const ZEPStatus* out) {
    if (in == nullptr || out == nullptr) {
        return kNullRecord;
    }
    if (inSize != expectedIn || out->size != kStatusSize) {
        return kWrongSize;
    }
    return 0;
}

int32_t CheckEntry(const ZEPOutputEntry& entry) {
    if (entry.size != kOutputEntrySize) {
        return kWrongSize;
    }
    if ((entry.flags & kEntryHasSideRecord) != 0) {
        if (entry.sideRecord == nullptr) {
            return kNullRecord;
        }
        if (entry.sideRecord->size != kSideRecordSize) {
            return kWrongSize;
        }
    }
    return 0;
}

int32_t Control(uint32_t ordinal, uint32_t handle, const ZEPControlParams* in, ZEPStatus* out) {
    const auto proc = EntryPoint<ZEPControlProc>(ordinal);
    if (proc == nullptr) {
        return kNotBound;
    }
    if (const int32_t check = CheckPair(in, in ? in->size : 0, kControlParamsSize, out)) {
        return check;
    }
    return proc(handle, in, out);
}

}  // namespace

int32_t ZEPCreate(const ZEPCreateParams* in, ZEPCreateResult* out) {
    if (in == nullptr || out == nullptr) {
        return kNullRecord;
    }
    if (in->size != kCreateParamsSize || out->size != kCreateResultSize) {
        return kWrongSize;
    }
    if (const uint32_t bound = BindEncodeService()) {
        return static_cast<int32_t>(bound);
    }
    const auto proc = EntryPoint<ZEPCreateProc>(1300);
    const ZEPCreateVersion version{sizeof(ZEPCreateVersion), 0, 0x60000};
    ZEPCreateInfo info{sizeof(ZEPCreateInfo), 0, 0};
    return proc(in, &version, out, &info);
}

int32_t ZEPDestroy(const ZEPHandleParams* in, ZEPStatus* out) {
    const auto proc = EntryPoint<ZEPDestroyProc>(1301);
    if (proc == nullptr) {
        return kNotBound;
    }
    if (const int32_t check = CheckPair(in, in ? in->size : 0, kHandleParamsSize, out)) {
        return check;
    }
    return proc(in, out);
}

int32_t ZEPSetConfig(uint32_t handle, const ZEPConfigHeader* in, ZEPStatus* out) {
    const auto proc = EntryPoint<ZEPSetConfigProc>(1303);
    if (proc == nullptr) {
        return kNotBound;
    }
    if (const int32_t check = CheckPair(in, in ? in->size : 0, kConfigHeaderSize, out)) {
        return check;
    }
    if (in->config == nullptr) {
        return kNullRecord;
    }
    if (in->config->size != kConfigSize) {
        return kWrongSize;
    }
    return proc(handle, in, out);
}

int32_t ZEPStartEncode(uint32_t handle, const ZEPControlParams* in, ZEPStatus* out) {
    return Control(1304, handle, in, out);
}

int32_t ZEPStopEncode(uint32_t handle, const ZEPControlParams* in, ZEPStatus* out) {
    return Control(1305, handle, in, out);
}

int32_t ZEPQueryOutputs(uint32_t handle, const ZEPQueryParams* in, ZEPQueryResult* out) {
    const auto proc = EntryPoint<ZEPQueryOutputsProc>(1307);
    if (proc == nullptr) {
        return kNotBound;
    }
    if (in == nullptr || out == nullptr) {
        return kNullRecord;
    }
    if (in->size != kQueryParamsSize || out->size != kQueryResultSize) {
        return kWrongSize;
    }
    if (in->requestedCount != 0 && out->entries == nullptr) {
        return kNullRecord;
    }
    for (uint32_t i = 0; i < in->requestedCount; ++i) {
        if (const int32_t check = CheckEntry(out->entries[i])) {
            return check;
        }
    }
    return proc(handle, in, out);
}

int32_t ZEPReclaimOutputResource(uint32_t handle, const ZEPHandleParams* in, ZEPStatus* out) {
    const auto proc = EntryPoint<ZEPReclaimProc>(1308);
    if (proc == nullptr) {
        return kNotBound;
    }
    if (const int32_t check = CheckPair(in, in ? in->size : 0, kHandleParamsSize, out)) {
        return check;
    }
    return proc(handle, in, out);
}

int32_t ZEPGetCaps(uint32_t handle, const ZEPHandleParams* in, ZEPCaps* out) {
    if (in == nullptr || out == nullptr) {
        return kNullRecord;
    }
    if (in->size != kHandleParamsSize || out->size != kCapsSize) {
        return kWrongSize;
    }
    if (BindEncodeService() != 0) {
        return kNotBound;
    }
    const auto proc = EntryPoint<ZEPGetCapsProc>(1309);
    if (proc == nullptr) {
        return kNotBound;
    }
    return proc(handle, in, out);
}

}  // namespace vqx::zep
