// The test controls of the stand-in, exported by name with the C calling convention (see
// qzt_test_api.h and README.md). They never fail loudly: a bad argument leaves the state as it
// was or returns 0 / an error code.
#include "encoder_registry.h"
#include "qzt_test_api.h"
#include "synthetic_screen.h"
#include "test_controls.h"

#include <algorithm>
#include <cstring>
#include <memory>

using namespace qzt;

namespace {

using Lock = std::lock_guard<std::mutex>;

template <typename Record>
uint32_t CopyRecord(const std::optional<Record>& record, void* out, uint32_t size) {
    if (!record || out == nullptr) {
        return 0;
    }
    const uint32_t count = std::min<uint32_t>(size, sizeof(Record));
    std::memcpy(out, &*record, count);
    return count;
}

// The screen of the last rendered size, kept because painting the desktop is the costly part.
std::unique_ptr<SyntheticScreen> g_renderScreen;

}  // namespace

extern "C" {

void __cdecl QztTest_Reset() {
    const Lock lock(ServiceMutex());
    Controls() = ControlState{};
}

void __cdecl QztTest_FailOperation(const char* operation, int32_t code, uint32_t times) {
    const Lock lock(ServiceMutex());
    Operation which;
    if (OperationFromName(operation, which)) {
        Controls().failures[static_cast<size_t>(which)] = {code, code != 0 ? times : 0};
    }
}

void __cdecl QztTest_SetCaps(const uint32_t* values, uint32_t count) {
    const Lock lock(ServiceMutex());
    ControlState& controls = Controls();
    controls.capsCount = count;
    controls.caps.assign(std::min<uint32_t>(count, std::size(vqx::zep::ZEPCaps{}.values)), 0);
    if (values != nullptr) {
        std::copy_n(values, controls.caps.size(), controls.caps.begin());
    }
}

void __cdecl QztTest_SetOutputDelay(uint32_t milliseconds) {
    const Lock lock(ServiceMutex());
    Controls().outputDelayMs = milliseconds;
}

void __cdecl QztTest_HoldOutputs(uint32_t hold) {
    const Lock lock(ServiceMutex());
    Controls().holdOutputs = hold != 0;
}

void __cdecl QztTest_SetPartialResults(uint32_t queries) {
    const Lock lock(ServiceMutex());
    Controls().partialQueries = queries;
}

void __cdecl QztTest_SetEmptyResults(uint32_t queries) {
    const Lock lock(ServiceMutex());
    Controls().emptyQueries = queries;
}

uint32_t __cdecl QztTest_GetLastCreateParams(void* out, uint32_t size) {
    const Lock lock(ServiceMutex());
    return CopyRecord(Controls().lastCreateParams, out, size);
}

uint32_t __cdecl QztTest_GetLastConfig(void* out, uint32_t size) {
    const Lock lock(ServiceMutex());
    return CopyRecord(Controls().lastConfig, out, size);
}

uint32_t __cdecl QztTest_GetCallCount(const char* operation) {
    const Lock lock(ServiceMutex());
    Operation which;
    return OperationFromName(operation, which) ? Controls().calls[static_cast<size_t>(which)] : 0;
}

uint32_t __cdecl QztTest_GetReclaimedIds(uint32_t* out, uint32_t capacity) {
    const Lock lock(ServiceMutex());
    const std::vector<uint32_t>& ids = Controls().reclaimedIds;
    if (out != nullptr) {
        std::copy_n(ids.begin(), std::min<size_t>(capacity, ids.size()), out);
    }
    return static_cast<uint32_t>(ids.size());
}

uint32_t __cdecl QztTest_GetOutstandingCount() {
    const Lock lock(ServiceMutex());
    return Registry().OutstandingCount();
}

int32_t __cdecl QztTest_RenderFrame(uint32_t width, uint32_t height, uint32_t frameIndex, uint8_t* out, uint32_t size) {
    if (width < 16 || height < 16 || width > 4096 || height > 4096 || width % 2 != 0 || height % 2 != 0) {
        return kBadParameter;
    }
    if (out == nullptr) {
        return kNullPointer;
    }
    if (size < width * height + 2 * (width / 2) * (height / 2)) {
        return kBadSize;
    }
    try {
        const Lock lock(ServiceMutex());
        if (!g_renderScreen || g_renderScreen->Width() != static_cast<int>(width) ||
            g_renderScreen->Height() != static_cast<int>(height)) {
            g_renderScreen.reset();
            g_renderScreen = std::make_unique<SyntheticScreen>(static_cast<int>(width), static_cast<int>(height));
        }
        g_renderScreen->RenderVisible(frameIndex, out);
        return 0;
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    } catch (...) {
        return kInternalError;
    }
}

int32_t __cdecl QztTest_GetPictureInfo(uint32_t handle, uint32_t picture, QztPictureInfo* out) {
    if (out == nullptr) {
        return kNullPointer;
    }
    try {
        const Lock lock(ServiceMutex());
        EncoderSession* const session = handle == 0 ? Registry().Newest() : Registry().Find(handle);
        if (session == nullptr) {
            return kBadHandle;
        }
        return session->PictureInfo(picture, *out) ? 0 : kBadParameter;
    } catch (...) {
        return kInternalError;
    }
}

}  // extern "C"
