// The stand-in's behaviour switches and call recorder, set through the QztTest_* exports and
// consulted by every entry point. Ownership: one process-wide state. Thread rules: read and
// written only while ServiceMutex() is held.
#pragma once

#include "abi/zep_records.h"

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

namespace qzt {

// The entry points, in ordinal order (1300 + index).
enum class Operation {
    Create,
    Destroy,
    Reserved1302,
    SetConfig,
    StartEncode,
    StopEncode,
    Reserved1306,
    QueryOutputs,
    ReclaimOutputResource,
    GetCaps
};
constexpr size_t kOperationCount = 10;

// The operation of a name as the tests spell it ("ZEPCreate" ... "ZEPGetCaps", "Ordinal1302",
// "Ordinal1306"); false for any other name.
bool OperationFromName(const char* name, Operation& operation);

struct ControlState {
    struct Failure {
        int32_t code = 0;        // 0: no injected failure
        uint32_t remaining = 0;  // calls still to fail; 0 with a code: until cleared
    };
    std::array<Failure, kOperationCount> failures{};
    std::array<uint32_t, kOperationCount> calls{};
    std::vector<uint32_t> caps{0, 1, 4};  // generic, wireless display, low latency
    uint32_t capsCount = 3;               // reported count; may exceed the 64 values a record holds
    uint32_t outputDelayMs = 0;           // every output is due this much later
    bool holdOutputs = false;             // while set, no output is delivered
    uint32_t partialQueries = 0;          // deliverable queries still to answer one entry short
    uint32_t emptyQueries = 0;            // queries still to answer with untouched entries
    std::optional<vqx::zep::ZEPCreateParams> lastCreateParams;
    std::optional<vqx::zep::ZEPConfig> lastConfig;
    std::vector<uint32_t> reclaimedIds;  // resource ids of every well-formed reclaim call
};

std::mutex& ServiceMutex();
ControlState& Controls();

// Counts a call of `operation` and returns its injected failure code (0 when none).
int32_t EnterOperation(Operation operation);

}  // namespace qzt
