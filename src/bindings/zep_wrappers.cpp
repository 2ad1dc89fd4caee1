// Checked calls into the encode-service library. Each wrapper checks in a fixed order (bound
// ordinal or binding, null records, record sizes, nested records) and otherwise passes the
// service's result through unchanged. The wrappers never throw and never trace.
#include "bindings/zep_service.h"

namespace vqx::zep {
namespace {

constexpr uint32_t kOutputEntrySize = sizeof(ZEPOutputEntry);
constexpr uint32_t kSideRecordSize = sizeof(ZEPSideRecord);
constexpr uint32_t kConfigSize = sizeof(ZEPConfig);
constexpr uint32_t kEntryHasSideRecord = 1u;

template <typename Proc>
Proc EntryPoint(uint32_t ordinal) {
    return reinterpret_cast<Proc>(BoundEntryPoint(ordinal));
}

// The record checks every wrapper makes: both records present (`in` first), then each of its
// own size.
template <typename In, typename Out>
int32_t CheckRecords(const In* in, const Out* out) {
    if (in == nullptr || out == nullptr) {
        return kNullRecord;
    }
    if (in->size != sizeof(In) || out->size != sizeof(Out)) {
        return kWrongSize;
    }
    return 0;
}

// The opening of the wrappers that need an earlier binding: the bound entry point into `proc`,
// then the records. 0 when the call may go ahead.
template <typename Proc, typename In, typename Out>
int32_t OpenBound(uint32_t ordinal, const In* in, const Out* out, Proc& proc) {
    proc = EntryPoint<Proc>(ordinal);
    if (proc == nullptr) {
        return kNotBound;
    }
    return CheckRecords(in, out);
}

// The opening of the wrappers that bind on first use: the records, then the binding (its own
// failure code), then the entry point into `proc`. 0 when the call may go ahead.
template <typename Proc, typename In, typename Out>
int32_t OpenBinding(uint32_t ordinal, const In* in, const Out* out, Proc& proc) {
    if (const int32_t check = CheckRecords(in, out)) {
        return check;
    }
    if (const uint32_t bound = BindEncodeService()) {
        return static_cast<int32_t>(bound);
    }
    proc = EntryPoint<Proc>(ordinal);
    return proc == nullptr ? kNotBound : 0;
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
    ZEPControlProc proc = nullptr;
    if (const int32_t check = OpenBound(ordinal, in, out, proc)) {
        return check;
    }
    return proc(handle, in, out);
}

}  // namespace

int32_t ZEPCreate(const ZEPCreateParams* in, ZEPCreateResult* out) {
    ZEPCreateProc proc = nullptr;
    if (const int32_t check = OpenBinding(kOrdinalCreate, in, out, proc)) {
        return check;
    }
    const ZEPCreateVersion version{sizeof(ZEPCreateVersion), 0, 0x60000};
    ZEPCreateInfo info{sizeof(ZEPCreateInfo), 0, 0};
    return proc(in, &version, out, &info);
}

int32_t ZEPDestroy(const ZEPHandleParams* in, ZEPStatus* out) {
    ZEPDestroyProc proc = nullptr;
    if (const int32_t check = OpenBound(kOrdinalDestroy, in, out, proc)) {
        return check;
    }
    return proc(in, out);
}

int32_t ZEPSetConfig(uint32_t handle, const ZEPConfigHeader* in, ZEPStatus* out) {
    ZEPSetConfigProc proc = nullptr;
    if (const int32_t check = OpenBound(kOrdinalSetConfig, in, out, proc)) {
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
    return Control(kOrdinalStartEncode, handle, in, out);
}

int32_t ZEPStopEncode(uint32_t handle, const ZEPControlParams* in, ZEPStatus* out) {
    return Control(kOrdinalStopEncode, handle, in, out);
}

int32_t ZEPQueryOutputs(uint32_t handle, const ZEPQueryParams* in, ZEPQueryResult* out) {
    ZEPQueryOutputsProc proc = nullptr;
    if (const int32_t check = OpenBound(kOrdinalQueryOutputs, in, out, proc)) {
        return check;
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
    ZEPReclaimProc proc = nullptr;
    if (const int32_t check = OpenBound(kOrdinalReclaimOutputResource, in, out, proc)) {
        return check;
    }
    return proc(handle, in, out);
}

int32_t ZEPGetCaps(uint32_t handle, const ZEPHandleParams* in, ZEPCaps* out) {
    ZEPGetCapsProc proc = nullptr;
    if (const int32_t check = OpenBinding(kOrdinalGetCaps, in, out, proc)) {
        return check == kLoadFailed ? kNotBound : check;  // a failed binding reads as not bound here
    }
    return proc(handle, in, out);
}

}  // namespace vqx::zep
