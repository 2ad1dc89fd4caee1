// Checked calls into the encode-service library, bound by ordinal on first use.
// Ownership: records belong to the caller; the service's output memory stays valid until the
// resource is reclaimed. Thread rules: no lock; the ordinal table is written once at binding.
#pragma once

#include "bindings/zep_records.h"

namespace vqx::zep {

// Check results of the wrappers; the service's own non-zero results pass through unchanged.
constexpr int32_t kLoadFailed = static_cast<int32_t>(0x80000000u);
constexpr int32_t kNullRecord = static_cast<int32_t>(0x80000002u);
constexpr int32_t kWrongSize = static_cast<int32_t>(0x80000003u);
constexpr int32_t kNotBound = static_cast<int32_t>(0x80000004u);

// Loads qztrvx32.dll and binds ordinals 1300..1309; 0 when bound (at once when already bound).
uint32_t BindEncodeService();

int32_t ZEPCreate(const ZEPCreateParams* in, ZEPCreateResult* out);
int32_t ZEPDestroy(const ZEPHandleParams* in, ZEPStatus* out);
int32_t ZEPSetConfig(uint32_t handle, const ZEPConfigHeader* in, ZEPStatus* out);
int32_t ZEPStartEncode(uint32_t handle, const ZEPControlParams* in, ZEPStatus* out);
int32_t ZEPStopEncode(uint32_t handle, const ZEPControlParams* in, ZEPStatus* out);
int32_t ZEPQueryOutputs(uint32_t handle, const ZEPQueryParams* in, ZEPQueryResult* out);
int32_t ZEPReclaimOutputResource(uint32_t handle, const ZEPHandleParams* in, ZEPStatus* out);
int32_t ZEPGetCaps(uint32_t handle, const ZEPHandleParams* in, ZEPCaps* out);

}  // namespace vqx::zep
