// Checked calls into the encode-service library, bound by ordinal on first use.
// Ownership: records belong to the caller; the service's output memory stays valid until the
// resource is reclaimed. Thread rules: no lock; the ordinal table is written once at binding.
#pragma once

#include "abi/zep_records.h"

namespace vqx::zep {

// Check results of the wrappers; the service's own non-zero results pass through unchanged.
constexpr int32_t kLoadFailed = static_cast<int32_t>(0x80000000u);
constexpr int32_t kNullRecord = static_cast<int32_t>(0x80000002u);
constexpr int32_t kWrongSize = static_cast<int32_t>(0x80000003u);
constexpr int32_t kNotBound = static_cast<int32_t>(0x80000004u);

// Loads qztrvx32.dll and binds ordinals 1300..1309; 0 when bound (at once when already bound).
// 0x80000000 when the library cannot be loaded; 0x80000004 when it lacks ordinal 1300, in which
// case it is unloaded again and the table stays empty (no address of the unloaded library
// survives). A successful binding keeps the library loaded until the process ends. The first
// binding is serialised, so concurrent first calls load the library once.
uint32_t BindEncodeService();

// The bound address of an ordinal of 1300..1309 as a generic procedure; null when not bound or
// outside the range. The wrappers cast it to the entry point's own type.
using ServiceProc = void(__stdcall*)();
ServiceProc BoundEntryPoint(uint32_t ordinal);

// Wrappers: each checks its records in a fixed order (see zep_wrappers.cpp), then calls the
// entry point and returns its result unchanged. ZEPCreate and ZEPGetCaps bind the library first;
// the others report kNotBound without an earlier binding. A ZEPQueryResult whose entry array is
// null while entries are requested counts as a null record; the array must hold requestedCount
// entries (only those are checked).
int32_t ZEPCreate(const ZEPCreateParams* in, ZEPCreateResult* out);
int32_t ZEPDestroy(const ZEPHandleParams* in, ZEPStatus* out);
int32_t ZEPSetConfig(uint32_t handle, const ZEPConfigHeader* in, ZEPStatus* out);
int32_t ZEPStartEncode(uint32_t handle, const ZEPControlParams* in, ZEPStatus* out);
int32_t ZEPStopEncode(uint32_t handle, const ZEPControlParams* in, ZEPStatus* out);
int32_t ZEPQueryOutputs(uint32_t handle, const ZEPQueryParams* in, ZEPQueryResult* out);
int32_t ZEPReclaimOutputResource(uint32_t handle, const ZEPHandleParams* in, ZEPStatus* out);
int32_t ZEPGetCaps(uint32_t handle, const ZEPHandleParams* in, ZEPCaps* out);

}  // namespace vqx::zep
