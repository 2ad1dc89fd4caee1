// The ten entry points of the encode service, exported by ordinal only (1300..1309). Each one
// records what it received for the tests, counts the call, answers an injected failure, then
// validates its records and does its work under the service lock. No exception leaves them.
#include "encoder_registry.h"
#include "qzt_test_api.h"
#include "test_controls.h"

#include <algorithm>
#include <new>
#include <type_traits>

using namespace vqx::zep;

namespace qzt {
namespace {

constexpr uint32_t kInterfaceVersion = 0x60000;
constexpr uint32_t kMinDimension = 16;
constexpr uint32_t kMaxDimension = 4096;
constexpr uint32_t kMaxUsage = 2;
constexpr uint32_t kMinOutputType = 1;
constexpr uint32_t kMaxOutputType = 4;

template <typename Body>
int32_t Guarded(Body body) noexcept {
    try {
        const std::lock_guard<std::mutex> lock(ServiceMutex());
        return body();
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    } catch (...) {
        return kInternalError;
    }
}

bool IsDimension(uint32_t value) {
    return value >= kMinDimension && value <= kMaxDimension && value % 2 == 0;
}
bool IsByte(uint32_t value) {
    return value >= 1 && value <= 255;
}

int32_t ValidateCreateParams(const ZEPCreateParams& params) {
    const bool valid = IsDimension(params.width) && IsDimension(params.height) && params.fpsNumerator != 0 &&
                       params.fpsDenominator != 0 && params.usage <= kMaxUsage && params.outputType >= kMinOutputType &&
                       params.outputType <= kMaxOutputType && IsByte(params.profile) && IsByte(params.level);
    return valid ? 0 : kBadParameter;
}

// Validation shared by the calls taking (record in, status out).
int32_t ValidatePair(const void* in, uint32_t inSize, uint32_t expectedIn, const ZEPStatus* status) {
    if (in == nullptr || status == nullptr) {
        return kNullPointer;
    }
    return inSize == expectedIn && status->size == sizeof(ZEPStatus) ? 0 : kBadSize;
}

template <typename Record>
uint32_t SizeOf(const Record* record) {
    return record ? record->size : 0;
}

int32_t Control(Operation operation, uint32_t handle, const ZEPControlParams* params, ZEPStatus* status) {
    if (const int32_t injected = EnterOperation(operation)) {
        return injected;
    }
    if (const int32_t invalid = ValidatePair(params, SizeOf(params), sizeof(ZEPControlParams), status)) {
        return invalid;
    }
    EncoderSession* const session = Registry().Find(handle);
    if (session == nullptr) {
        return kBadHandle;
    }
    const int32_t result = operation == Operation::StartEncode ? session->Start() : session->Stop();
    status->status = static_cast<uint32_t>(result);
    return result;
}

int32_t ValidateQuery(const ZEPQueryParams* params, const ZEPQueryResult* result) {
    if (params == nullptr || result == nullptr) {
        return kNullPointer;
    }
    if (params->size != sizeof(ZEPQueryParams) || result->size != sizeof(ZEPQueryResult)) {
        return kBadSize;
    }
    if (params->requestedCount < 1 || params->requestedCount > 2) {
        return kBadParameter;
    }
    if (result->entries == nullptr) {
        return kNullPointer;
    }
    for (uint32_t i = 0; i < params->requestedCount; ++i) {
        if (result->entries[i].size != sizeof(ZEPOutputEntry)) {
            return kBadSize;
        }
    }
    return 0;
}

}  // namespace
}  // namespace qzt

using namespace qzt;

extern "C" {

int32_t __stdcall ServiceCreate(const ZEPCreateParams* params, const ZEPCreateVersion* version, ZEPCreateResult* result,
                                ZEPCreateInfo* info) {
    return Guarded([&] {
        if (params != nullptr && params->size == sizeof(ZEPCreateParams)) {
            Controls().lastCreateParams = *params;
        }
        if (const int32_t injected = EnterOperation(Operation::Create)) {
            return injected;
        }
        if (params == nullptr || version == nullptr || result == nullptr || info == nullptr) {
            return kNullPointer;
        }
        if (params->size != sizeof(ZEPCreateParams) || version->size != sizeof(ZEPCreateVersion) ||
            result->size != sizeof(ZEPCreateResult) || info->size != sizeof(ZEPCreateInfo)) {
            return kBadSize;
        }
        if (version->version != kInterfaceVersion) {
            return kBadParameter;
        }
        if (const int32_t invalid = ValidateCreateParams(*params)) {
            return invalid;
        }
        std::string sourceError;
        std::unique_ptr<PictureSource> source =
            MakePictureSource(static_cast<int>(params->width), static_cast<int>(params->height), sourceError);
        if (!source) {
            return kBadParameter;
        }
        const uint32_t handle = Registry().Add(std::make_unique<EncoderSession>(*params, std::move(source)));
        if (handle == 0) {
            return kTooManyEncoders;
        }
        result->reserved4 = 0;
        result->handle = handle;
        result->reserved12 = 0;
        info->reserved4 = kMaxEncoders;
        info->reserved8 = 0;
        return 0;
    });
}

int32_t __stdcall ServiceDestroy(const ZEPHandleParams* params, ZEPStatus* status) {
    return Guarded([&] {
        if (const int32_t injected = EnterOperation(Operation::Destroy)) {
            return injected;
        }
        if (const int32_t invalid = ValidatePair(params, SizeOf(params), sizeof(ZEPHandleParams), status)) {
            return invalid;
        }
        if (!Registry().Remove(params->value)) {
            return kBadHandle;
        }
        status->status = 0;
        return 0;
    });
}

int32_t __stdcall ServiceReserved1302() {
    return Guarded([] {
        const int32_t injected = EnterOperation(Operation::Reserved1302);
        return injected != 0 ? injected : kNotImplemented;
    });
}

int32_t __stdcall ServiceSetConfig(uint32_t handle, const ZEPConfigHeader* header, ZEPStatus* status) {
    return Guarded([&] {
        const bool wellFormed = header != nullptr && header->size == sizeof(ZEPConfigHeader) &&
                                header->config != nullptr && header->config->size == sizeof(ZEPConfig);
        if (wellFormed) {
            Controls().lastConfig = *header->config;
        }
        if (const int32_t injected = EnterOperation(Operation::SetConfig)) {
            return injected;
        }
        if (const int32_t invalid = ValidatePair(header, SizeOf(header), sizeof(ZEPConfigHeader), status)) {
            return invalid;
        }
        if (header->config == nullptr) {
            return kNullPointer;
        }
        if (!wellFormed) {
            return kBadSize;
        }
        EncoderSession* const session = Registry().Find(handle);
        if (session == nullptr) {
            return kBadHandle;
        }
        session->SetConfig(*header->config);
        status->status = 0;
        return 0;
    });
}

int32_t __stdcall ServiceStartEncode(uint32_t handle, const ZEPControlParams* params, ZEPStatus* status) {
    return Guarded([&] { return Control(Operation::StartEncode, handle, params, status); });
}

int32_t __stdcall ServiceStopEncode(uint32_t handle, const ZEPControlParams* params, ZEPStatus* status) {
    return Guarded([&] { return Control(Operation::StopEncode, handle, params, status); });
}

int32_t __stdcall ServiceReserved1306() {
    return Guarded([] {
        const int32_t injected = EnterOperation(Operation::Reserved1306);
        return injected != 0 ? injected : kNotImplemented;
    });
}

int32_t __stdcall ServiceQueryOutputs(uint32_t handle, const ZEPQueryParams* params, ZEPQueryResult* result) {
    return Guarded([&] {
        if (const int32_t injected = EnterOperation(Operation::QueryOutputs)) {
            return injected;
        }
        if (const int32_t invalid = ValidateQuery(params, result)) {
            return invalid;
        }
        EncoderSession* const session = Registry().Find(handle);
        if (session == nullptr) {
            return kBadHandle;
        }
        ControlState& controls = Controls();
        QueryControls query;
        query.outputDelayMs = controls.outputDelayMs;
        query.holdOutputs = controls.holdOutputs;
        query.answerEmpty = controls.emptyQueries != 0;
        query.answerPartial = controls.partialQueries != 0;
        bool partialUsed = false;
        uint32_t returned = 0;
        const int32_t code = session->Query(params->requestedCount, result->entries, returned, query, partialUsed);
        result->returnedCount = returned;
        if (code == 0 && query.answerEmpty) {
            --controls.emptyQueries;
        }
        if (partialUsed) {
            --controls.partialQueries;
        }
        return code;
    });
}

int32_t __stdcall ServiceReclaimOutputResource(uint32_t handle, const ZEPHandleParams* params, ZEPStatus* status) {
    return Guarded([&] {
        if (params != nullptr && params->size == sizeof(ZEPHandleParams) && status != nullptr &&
            status->size == sizeof(ZEPStatus)) {
            Controls().reclaimedIds.push_back(params->value);
        }
        if (const int32_t injected = EnterOperation(Operation::ReclaimOutputResource)) {
            return injected;
        }
        if (const int32_t invalid = ValidatePair(params, SizeOf(params), sizeof(ZEPHandleParams), status)) {
            return invalid;
        }
        EncoderSession* const session = Registry().Find(handle);
        if (session == nullptr) {
            return kBadHandle;
        }
        const int32_t code = session->Reclaim(params->value);
        status->status = static_cast<uint32_t>(code);
        return code;
    });
}

int32_t __stdcall ServiceGetCaps(uint32_t handle, const ZEPHandleParams* params, ZEPCaps* caps) {
    return Guarded([&] {
        if (const int32_t injected = EnterOperation(Operation::GetCaps)) {
            return injected;
        }
        if (params == nullptr || caps == nullptr) {
            return kNullPointer;
        }
        if (params->size != sizeof(ZEPHandleParams) || caps->size != sizeof(ZEPCaps)) {
            return kBadSize;
        }
        if (handle != 0 && Registry().Find(handle) == nullptr) {
            return kBadHandle;
        }
        const ControlState& controls = Controls();
        caps->reserved4 = 0;
        caps->count = controls.capsCount;
        const size_t written = std::min<size_t>(controls.caps.size(), std::size(caps->values));
        std::copy_n(controls.caps.begin(), written, caps->values);
        return 0;
    });
}

}  // extern "C"

// Each entry point has the type vqx.dll calls its ordinal with (abi/zep_records.h).
static_assert(std::is_same_v<decltype(&ServiceCreate), ZEPCreateProc>);
static_assert(std::is_same_v<decltype(&ServiceDestroy), ZEPDestroyProc>);
static_assert(std::is_same_v<decltype(&ServiceSetConfig), ZEPSetConfigProc>);
static_assert(std::is_same_v<decltype(&ServiceStartEncode), ZEPControlProc>);
static_assert(std::is_same_v<decltype(&ServiceStopEncode), ZEPControlProc>);
static_assert(std::is_same_v<decltype(&ServiceQueryOutputs), ZEPQueryOutputsProc>);
static_assert(std::is_same_v<decltype(&ServiceReclaimOutputResource), ZEPReclaimProc>);
static_assert(std::is_same_v<decltype(&ServiceGetCaps), ZEPGetCapsProc>);
