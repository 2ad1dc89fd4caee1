// Process-wide control state of the stand-in.
#include "test_controls.h"

#include <cstring>

namespace qzt {
namespace {

constexpr const char* kOperationNames[kOperationCount] = {"ZEPCreate",    "ZEPDestroy",      "Ordinal1302",
                                                          "ZEPSetConfig", "ZEPStartEncode",  "ZEPStopEncode",
                                                          "Ordinal1306",  "ZEPQueryOutputs", "ZEPReclaimOutputResource",
                                                          "ZEPGetCaps"};

}  // namespace

bool OperationFromName(const char* name, Operation& operation) {
    if (name == nullptr) {
        return false;
    }
    for (size_t i = 0; i < kOperationCount; ++i) {
        if (std::strcmp(name, kOperationNames[i]) == 0) {
            operation = static_cast<Operation>(i);
            return true;
        }
    }
    return false;
}

std::mutex& ServiceMutex() {
    static std::mutex mutex;
    return mutex;
}

ControlState& Controls() {
    static ControlState state;
    return state;
}

int32_t EnterOperation(Operation operation) {
    ControlState& state = Controls();
    const auto index = static_cast<size_t>(operation);
    ++state.calls[index];
    ControlState::Failure& failure = state.failures[index];
    const int32_t code = failure.code;
    if (code != 0 && failure.remaining != 0 && --failure.remaining == 0) {
        failure.code = 0;  // that was the last call to fail
    }
    return code;
}

}  // namespace qzt
