// An in-process encode service for white-box tests of the video encoder: query answers come from
// a script, every call is logged, and reclaimed memory is overwritten as a real service would reuse it.
#pragma once

#include "encoder/encode_service.h"

#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace vqx::test {

struct ScriptedAnswer {
    int32 status = 0;
    uint32 returnedCount = 0;  // kFull: the requested count
    std::vector<zep::ZEPOutputEntry> entries;
};

class ScriptedService final : public EncodeService {
public:
    static constexpr uint32 kFull = 0xFFFFFFFFu;
    static constexpr uint8 kReusedByte = 0xDD;

    // Service memory for one output: `size` bytes filled with `fill`, owned by the service.
    zep::ZEPOutputEntry MakeOutput(uint32 resourceId, uint32 typeCode, uint32 size, uint8 fill, int64 timestamp);
    // Queues one answer; answers run out into "nothing yet" (count 0).
    void Answer(std::vector<zep::ZEPOutputEntry> entries, uint32 returnedCount = kFull, int32 status = 0);

    int32 Create(const zep::ZEPCreateParams* in, zep::ZEPCreateResult* out) override;
    int32 Destroy(const zep::ZEPHandleParams* in, zep::ZEPStatus* out) override;
    int32 SetConfig(uint32 handle, const zep::ZEPConfigHeader* in, zep::ZEPStatus* out) override;
    int32 StartEncode(uint32 handle, const zep::ZEPControlParams* in, zep::ZEPStatus* out) override;
    int32 StopEncode(uint32 handle, const zep::ZEPControlParams* in, zep::ZEPStatus* out) override;
    int32 QueryOutputs(uint32 handle, const zep::ZEPQueryParams* in, zep::ZEPQueryResult* out) override;
    int32 ReclaimOutputResource(uint32 handle, const zep::ZEPHandleParams* in, zep::ZEPStatus* out) override;

    // Results the next calls return.
    int32 createResult = 0;
    int32 destroyResult = 0;
    int32 setConfigResult = 0;
    int32 startResult = 0;
    int32 stopResult = 0;
    int32 reclaimResult = 0;
    uint32 handle = 0x5150;

    // What the service saw: "create", "destroy:<h>", "config", "start", "stop", "query:<n>",
    // "reclaim:<id>", in call order.
    std::vector<std::string> calls;
    zep::ZEPCreateParams lastCreate{};
    zep::ZEPConfig lastConfig{};
    uint32 queries = 0;

    int Count(const std::string& call) const;

private:
    std::deque<ScriptedAnswer> m_answers;
    std::vector<std::pair<uint32, std::shared_ptr<std::vector<uint8>>>> m_memory;  // by resource
};

}  // namespace vqx::test
