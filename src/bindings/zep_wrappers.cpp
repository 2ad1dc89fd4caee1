// Checked calls into the encode-service library. Each wrapper checks in a fixed order (bound
// ordinal or binding, null records, record sizes, nested records) and otherwise passes the
// service's result through unchanged. The wrappers never throw and never trace.
#include "bindings/zep_service.h"

namespace vqx::zep {
namespace {

constexpr uint32 kOutputEntrySize = sizeof(ZEPOutputEntry);
constexpr uint32 kSideRecordSize = sizeof(ZEPSideRecord);
constexpr uint32 kConfigSize = sizeof(ZEPConfig);
constexpr uint32 kEntryHasSideRecord = 1u;

template <typename Proc>
Proc EntryPoint(uint32 ordinal) {
    return reinterpret_cast<Proc>(BoundEntryPoint(ordinal));
}

// The record checks every wrapper makes: both records present (`in` first), then each of its
// own size.
template <typename In, typename Out>
int32 CheckRecords(const In* in, const Out* out) {
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
int32 OpenBound(uint32 ordinal, const In* in, const Out* out, Proc& proc) {
    proc = EntryPoint<Proc>(ordinal);
    if (proc == nullptr) {
        return kNotBound;
    }
    return CheckRecords(in, out);
}

// The opening of the wrappers that bind on first use: the records, then the binding (its own
// failure code), then the entry point into `proc`. 0 when the call may go ahead.
template <typename Proc, typename In, typename Out>
int32 OpenBinding(uint32 ordinal, const In* in, const Out* out, Proc& proc) {
    if (const int32 check = CheckRecords(in, out)) {
        return check;
    }
    if (const uint32 bound = BindEncodeService()) {
        return static_cast<int32>(bound);
    }
    proc = EntryPoint<Proc>(ordinal);
    return proc == nullptr ? kNotBound : 0;
}

int32 CheckEntry(const ZEPOutputEntry& entry) {
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

int32 Control(uint32 ordinal, uint32 handle, const ZEPControlParams* in, ZEPStatus* out) {
    ZEPControlProc proc = nullptr;
    if (const int32 check = OpenBound(ordinal, in, out, proc)) {
        return check;
    }
    return proc(handle, in, out);
}

}  // namespace

int32 ZEPCreate(const ZEPCreateParams* in, ZEPCreateResult* out) {
    ZEPCreateProc proc = nullptr;
    if (const int32 check = OpenBinding(kOrdinalCreate, in, out, proc)) {
        return check;
    }
    const ZEPCreateVersion version{sizeof(ZEPCreateVersion), 0, 0x60000};
    ZEPCreateInfo info{sizeof(ZEPCreateInfo), 0, 0};
    return proc(in, &version, out, &info);
}

int32 ZEPDestroy(const ZEPHandleParams* in, ZEPStatus* out) {
    ZEPDestroyProc proc = nullptr;
    if (const int32 check = OpenBound(kOrdinalDestroy, in, out, proc)) {
        return check;
    }
    return proc(in, out);
}

int32 ZEPSetConfig(uint32 handle, const ZEPConfigHeader* in, ZEPStatus* out) {
    ZEPSetConfigProc proc = nullptr;
    if (const int32 check = OpenBound(kOrdinalSetConfig, in, out, proc)) {
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

int32 ZEPStartEncode(uint32 handle, const ZEPControlParams* in, ZEPStatus* out) {
    return Control(kOrdinalStartEncode, handle, in, out);
}

int32 ZEPStopEncode(uint32 handle, const ZEPControlParams* in, ZEPStatus* out) {
    return Control(kOrdinalStopEncode, handle, in, out);
}

int32 ZEPQueryOutputs(uint32 handle, const ZEPQueryParams* in, ZEPQueryResult* out) {
    ZEPQueryOutputsProc proc = nullptr;
    if (const int32 check = OpenBound(kOrdinalQueryOutputs, in, out, proc)) {
        return check;
    }
    if (in->requestedCount != 0 && out->entries == nullptr) {
        return kNullRecord;
    }
    for (uint32 i = 0; i < in->requestedCount; ++i) {
        if (const int32 check = CheckEntry(out->entries[i])) {
            return check;
        }
    }
    return proc(handle, in, out);
}

int32 ZEPReclaimOutputResource(uint32 handle, const ZEPHandleParams* in, ZEPStatus* out) {
    ZEPReclaimProc proc = nullptr;
    if (const int32 check = OpenBound(kOrdinalReclaimOutputResource, in, out, proc)) {
        return check;
    }
    return proc(handle, in, out);
}

int32 ZEPGetCaps(uint32 handle, const ZEPHandleParams* in, ZEPCaps* out) {
    ZEPGetCapsProc proc = nullptr;
    if (const int32 check = OpenBinding(kOrdinalGetCaps, in, out, proc)) {
        return check == kLoadFailed ? kNotBound : check;  // a failed binding reads as not bound here
    }
    return proc(handle, in, out);
}

}  // namespace vqx::zep
