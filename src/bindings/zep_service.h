// Checked calls into the encode-service library, bound by ordinal on first use.
// Ownership: records belong to the caller; the service's output memory stays valid until the
// resource is reclaimed. Thread rules: no lock; the ordinal table is written once at binding.
#pragma once

#include "abi/zep_records.h"

#include <vqx/platform.h>

namespace vqx::zep {

// Check results of the wrappers; the service's own non-zero results pass through unchanged.
constexpr int32 kLoadFailed = static_cast<int32>(0x80000000u);
constexpr int32 kNullRecord = static_cast<int32>(0x80000002u);
constexpr int32 kWrongSize = static_cast<int32>(0x80000003u);
constexpr int32 kNotBound = static_cast<int32>(0x80000004u);

// Loads qztrvx32.dll and binds ordinals 1300..1309; 0 when bound (at once when already bound).
// 0x80000000 when the library cannot be loaded; 0x80000004 when it lacks ordinal 1300, in which
// case it is unloaded again and the table stays empty (no address of the unloaded library
// survives). A successful binding keeps the library loaded until the process ends. The first
// binding is serialised, so concurrent first calls load the library once.
uint32 BindEncodeService();

// The bound address of an ordinal of 1300..1309 as a generic procedure; null when not bound or
// outside the range. The wrappers cast it to the entry point's own type.
using ServiceProc = void(__stdcall*)();
ServiceProc BoundEntryPoint(uint32 ordinal);

// Wrappers: each checks its records in a fixed order (see zep_wrappers.cpp), then calls the
// entry point and returns its result unchanged. ZEPCreate and ZEPGetCaps bind the library first;
// the others report kNotBound without an earlier binding. A ZEPQueryResult whose entry array is
// null while entries are requested counts as a null record; the array must hold requestedCount
// entries (only those are checked).
int32 ZEPCreate(const ZEPCreateParams* in, ZEPCreateResult* out);
int32 ZEPDestroy(const ZEPHandleParams* in, ZEPStatus* out);
int32 ZEPSetConfig(uint32 handle, const ZEPConfigHeader* in, ZEPStatus* out);
int32 ZEPStartEncode(uint32 handle, const ZEPControlParams* in, ZEPStatus* out);
int32 ZEPStopEncode(uint32 handle, const ZEPControlParams* in, ZEPStatus* out);
int32 ZEPQueryOutputs(uint32 handle, const ZEPQueryParams* in, ZEPQueryResult* out);
int32 ZEPReclaimOutputResource(uint32 handle, const ZEPHandleParams* in, ZEPStatus* out);
int32 ZEPGetCaps(uint32 handle, const ZEPHandleParams* in, ZEPCaps* out);

}  // namespace vqx::zep
