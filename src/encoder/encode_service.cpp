#include "encoder/encode_service.h"

#include "bindings/zep_service.h"

namespace vqx {

namespace {

class DriverService final : public EncodeService {
public:
    int32 Create(const zep::ZEPCreateParams* in, zep::ZEPCreateResult* out) override { return zep::ZEPCreate(in, out); }
    int32 Destroy(const zep::ZEPHandleParams* in, zep::ZEPStatus* out) override { return zep::ZEPDestroy(in, out); }
    int32 SetConfig(uint32 handle, const zep::ZEPConfigHeader* in, zep::ZEPStatus* out) override {
        return zep::ZEPSetConfig(handle, in, out);
    }
    int32 StartEncode(uint32 handle, const zep::ZEPControlParams* in, zep::ZEPStatus* out) override {
        return zep::ZEPStartEncode(handle, in, out);
    }
    int32 StopEncode(uint32 handle, const zep::ZEPControlParams* in, zep::ZEPStatus* out) override {
        return zep::ZEPStopEncode(handle, in, out);
    }
    int32 QueryOutputs(uint32 handle, const zep::ZEPQueryParams* in, zep::ZEPQueryResult* out) override {
        return zep::ZEPQueryOutputs(handle, in, out);
    }
    int32 ReclaimOutputResource(uint32 handle, const zep::ZEPHandleParams* in, zep::ZEPStatus* out) override {
        return zep::ZEPReclaimOutputResource(handle, in, out);
    }
};

}  // namespace

EncodeService& DriverEncodeService() {
    static DriverService service;
    return service;
}

}  // namespace vqx
