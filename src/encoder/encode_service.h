// The encode-service operations the video encoder calls, behind one small interface so that the
// video encoder can be exercised against a scripted service in white-box tests.
// Ownership: records belong to the caller. Thread rules: as the service's checked wrappers.
#pragma once

#include "abi/zep_records.h"

#include <vqx/platform.h>

namespace vqx {

class EncodeService {
public:
    virtual ~EncodeService() = default;
    virtual int32 Create(const zep::ZEPCreateParams* in, zep::ZEPCreateResult* out) = 0;
    virtual int32 Destroy(const zep::ZEPHandleParams* in, zep::ZEPStatus* out) = 0;
    virtual int32 SetConfig(uint32 handle, const zep::ZEPConfigHeader* in, zep::ZEPStatus* out) = 0;
    virtual int32 StartEncode(uint32 handle, const zep::ZEPControlParams* in, zep::ZEPStatus* out) = 0;
    virtual int32 StopEncode(uint32 handle, const zep::ZEPControlParams* in, zep::ZEPStatus* out) = 0;
    virtual int32 QueryOutputs(uint32 handle, const zep::ZEPQueryParams* in, zep::ZEPQueryResult* out) = 0;
    virtual int32 ReclaimOutputResource(uint32 handle, const zep::ZEPHandleParams* in, zep::ZEPStatus* out) = 0;
};

// The driver's encode service through the checked wrappers; lives for the whole process.
EncodeService& DriverEncodeService();

}  // namespace vqx
