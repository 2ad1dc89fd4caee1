#include "scripted_service.h"

#include <algorithm>
#include <cstring>

namespace vqx::test {

zep::ZEPOutputEntry ScriptedService::MakeOutput(uint32 resourceId, uint32 typeCode, uint32 size, uint8 fill,
                                                int64 timestamp) {
    auto bytes = std::make_shared<std::vector<uint8>>(size, fill);
    m_memory.emplace_back(resourceId, bytes);
    zep::ZEPOutputEntry entry{};
    entry.size = sizeof(entry);
    entry.resourceId = resourceId;
    entry.typeCode = typeCode;
    entry.data = size == 0 ? nullptr : bytes->data();
    entry.dataSize = size;
    entry.timestamp = timestamp;
    return entry;
}

void ScriptedService::Answer(std::vector<zep::ZEPOutputEntry> entries, uint32 returnedCount, int32 status) {
    ScriptedAnswer answer;
    answer.status = status;
    answer.returnedCount = returnedCount;
    answer.entries = std::move(entries);
    m_answers.push_back(std::move(answer));
}

int ScriptedService::Count(const std::string& call) const {
    return static_cast<int>(std::count(calls.begin(), calls.end(), call));
}

int32 ScriptedService::Create(const zep::ZEPCreateParams* in, zep::ZEPCreateResult* out) {
    calls.push_back("create");
    lastCreate = *in;
    if (createResult == 0) out->handle = handle;
    return createResult;
}

int32 ScriptedService::Destroy(const zep::ZEPHandleParams* in, zep::ZEPStatus*) {
    calls.push_back("destroy:" + std::to_string(in->value));
    return destroyResult;
}

int32 ScriptedService::SetConfig(uint32, const zep::ZEPConfigHeader* in, zep::ZEPStatus*) {
    calls.push_back("config");
    lastConfig = *in->config;
    return setConfigResult;
}

int32 ScriptedService::StartEncode(uint32, const zep::ZEPControlParams*, zep::ZEPStatus*) {
    calls.push_back("start");
    return startResult;
}

int32 ScriptedService::StopEncode(uint32, const zep::ZEPControlParams*, zep::ZEPStatus*) {
    calls.push_back("stop");
    return stopResult;
}

int32 ScriptedService::QueryOutputs(uint32, const zep::ZEPQueryParams* in, zep::ZEPQueryResult* out) {
    ++queries;
    calls.push_back("query:" + std::to_string(in->requestedCount));
    if (m_answers.empty()) {
        out->returnedCount = 0;
        return 0;
    }
    ScriptedAnswer answer = std::move(m_answers.front());
    m_answers.pop_front();
    const uint32 count = std::min<uint32>(static_cast<uint32>(answer.entries.size()), in->requestedCount);
    for (uint32 i = 0; i < count; ++i) out->entries[i] = answer.entries[i];
    out->returnedCount = answer.returnedCount == kFull ? in->requestedCount : answer.returnedCount;
    return answer.status;
}

int32 ScriptedService::ReclaimOutputResource(uint32, const zep::ZEPHandleParams* in, zep::ZEPStatus*) {
    calls.push_back("reclaim:" + std::to_string(in->value));
    for (auto& memory : m_memory) {
        if (memory.first == in->value) std::fill(memory.second->begin(), memory.second->end(), kReusedByte);
    }
    return reclaimResult;
}

}  // namespace vqx::test
