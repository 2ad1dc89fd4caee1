// An in-process encode service for white-box tests of the video encoder: query answers come from
// a script, every call is logged, and reclaimed memory is overwritten as a real service reuses it.
#pragma once

#include "encoder/encode_service.h"

#include <algorithm>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace vqx::test {

class ScriptedService final : public EncodeService {
public:
    static constexpr uint32 kFull = 0xFFFFFFFFu;  // an answer with the requested count
    static constexpr uint8 kReusedByte = 0xDD;

    // Service memory for one output: `size` bytes of `fill`, owned by the service.
    zep::ZEPOutputEntry MakeOutput(uint32 resourceId, uint32 typeCode, uint32 size, uint8 fill, int64 timestamp = 0) {
        m_memory.emplace_back(resourceId, std::make_shared<std::vector<uint8>>(size, fill));
        zep::ZEPOutputEntry entry{};
        entry.size = sizeof(entry);
        entry.resourceId = resourceId;
        entry.typeCode = typeCode;
        entry.data = size == 0 ? nullptr : m_memory.back().second->data();
        entry.dataSize = size;
        entry.timestamp = timestamp;
        return entry;
    }
    // Queues one answer; once they run out the service answers "nothing yet" (count 0).
    void Answer(std::vector<zep::ZEPOutputEntry> entries, uint32 returnedCount = kFull, int32 status = 0) {
        m_answers.push_back({status, returnedCount, std::move(entries)});
    }
    int Count(const std::string& call) const { return static_cast<int>(std::count(calls.begin(), calls.end(), call)); }

    int32 Create(const zep::ZEPCreateParams* in, zep::ZEPCreateResult* out) override {
        lastCreate = *in;
        if (createResult == 0) out->handle = handle;
        return Log("create", createResult);
    }
    int32 Destroy(const zep::ZEPHandleParams* in, zep::ZEPStatus*) override {
        return Log("destroy:" + std::to_string(in->value), destroyResult);
    }
    int32 SetConfig(uint32, const zep::ZEPConfigHeader*, zep::ZEPStatus*) override {
        return Log("config", setConfigResult);
    }
    int32 StartEncode(uint32, const zep::ZEPControlParams*, zep::ZEPStatus*) override {
        return Log("start", startResult);
    }
    int32 StopEncode(uint32, const zep::ZEPControlParams*, zep::ZEPStatus*) override { return Log("stop", stopResult); }
    int32 QueryOutputs(uint32, const zep::ZEPQueryParams* in, zep::ZEPQueryResult* out) override {
        ++queries;
        calls.push_back("query:" + std::to_string(in->requestedCount));
        out->returnedCount = 0;
        if (m_answers.empty()) return 0;
        const Scripted answer = std::move(m_answers.front());
        m_answers.pop_front();
        std::copy_n(answer.entries.begin(), std::min<std::size_t>(answer.entries.size(), in->requestedCount),
                    out->entries);
        out->returnedCount = answer.returnedCount == kFull ? in->requestedCount : answer.returnedCount;
        return answer.status;
    }
    int32 ReclaimOutputResource(uint32, const zep::ZEPHandleParams* in, zep::ZEPStatus*) override {
        for (auto& [id, bytes] : m_memory) {
            if (id == in->value) std::fill(bytes->begin(), bytes->end(), kReusedByte);
        }
        return Log("reclaim:" + std::to_string(in->value), reclaimResult);
    }

    // Results of the next calls.
    int32 createResult = 0, destroyResult = 0, setConfigResult = 0, startResult = 0, stopResult = 0, reclaimResult = 0;
    uint32 handle = 0x5150;
    uint32 queries = 0;
    // In call order: "create", "destroy:<h>", "config", "start", "stop", "query:<n>", "reclaim:<id>".
    std::vector<std::string> calls;
    zep::ZEPCreateParams lastCreate{};

private:
    struct Scripted {
        int32 status;
        uint32 returnedCount;
        std::vector<zep::ZEPOutputEntry> entries;
    };
    int32 Log(std::string call, int32 result) {
        calls.push_back(std::move(call));
        return result;
    }
    std::deque<Scripted> m_answers;
    std::vector<std::pair<uint32, std::shared_ptr<std::vector<uint8>>>> m_memory;  // by resource
};

}  // namespace vqx::test
