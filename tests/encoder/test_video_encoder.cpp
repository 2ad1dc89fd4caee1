// White-box tests of the video encoder and its buffers against a scripted encode service.
#include "encoder/video_encoder.h"
#include "encoder/zep_buffer.h"
#include "scripted_service.h"
#include "trace_capture.h"

#include <vqx/memory.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

namespace vqx {
namespace {

using test::ScriptedService;
using test::TraceCapture;

struct BufferHolder {
    VQXPtr<VQXZepBuffer> buffer;
    const uint8* Bytes() {
        void* memory = nullptr;
        buffer->GetMemory(&memory);
        return static_cast<const uint8*>(memory);
    }
};

bool AllBytesAre(const uint8* bytes, uint32 size, uint8 value) {
    for (uint32 i = 0; i < size; ++i) {
        if (bytes[i] != value) return false;
    }
    return true;
}

class VideoEncoderTest : public ::testing::Test {
protected:
    // A started encoder at `fps`/1 with the given wait limit; two outputs per query if asked.
    void StartEncoder(uint64 waitFrameMax, bool twoOutputs = false, uint32 fps = 1000) {
        zep::ZEPCreateParams params{};
        params.size = sizeof(params);
        params.fpsNumerator = fps;
        params.fpsDenominator = 1;
        params.outputType = twoOutputs ? 2 : 1;
        ASSERT_EQ(VideoEncoder::Create(params, encoder, service), VQX_OK);
        custom = std::make_shared<CustomParams>();
        custom->waitFrameMax = waitFrameMax;
        zep::ZEPConfig config{};
        config.size = sizeof(config);
        const zep::ZEPConfigHeader header{sizeof(header), 0, &config, 0};
        ASSERT_EQ(encoder->SetConfig(header, custom), 0);
        ASSERT_EQ(encoder->Start(), 0);
    }

    VQX_ERROR Query(BufferHolder& holder) { return encoder->QueryOutputs(cancel, holder.buffer.put()); }

    ScriptedService service;
    std::shared_ptr<VideoEncoder> encoder;
    std::shared_ptr<CustomParams> custom;
    std::atomic<bool> cancel{false};
};

TEST_F(VideoEncoderTest, CreateSendsACopyOfTheRecordAndKeepsTheHandle) {
    zep::ZEPCreateParams params{};
    params.size = sizeof(params);
    params.width = 1920;
    params.fpsNumerator = 60;
    params.fpsDenominator = 1;
    params.outputType = 2;
    ASSERT_EQ(VideoEncoder::Create(params, encoder, service), VQX_OK);
    EXPECT_EQ(std::memcmp(&service.lastCreate, &params, sizeof(params)), 0);
    EXPECT_EQ(encoder->Handle(), service.handle);
    EXPECT_TRUE(encoder->HasTwoOutputs());
    EXPECT_FALSE(encoder->IsStarted());
    EXPECT_EQ(service.calls, (std::vector<std::string>{"create"}));  // nothing else at construction

    params.outputType = 3;
    std::shared_ptr<VideoEncoder> single;
    ASSERT_EQ(VideoEncoder::Create(params, single, service), VQX_OK);
    EXPECT_FALSE(single->HasTwoOutputs());
}

TEST_F(VideoEncoderTest, CreateFailureIsTracedAndLeavesNoEncoder) {
    TraceCapture trace;
    service.createResult = static_cast<int32>(0x80000000u);
    zep::ZEPCreateParams params{};
    params.size = sizeof(params);
    EXPECT_EQ(VideoEncoder::Create(params, encoder, service), VQX_ENCODER_CREATE_FAILED);
    EXPECT_FALSE(encoder);
    ASSERT_EQ(trace.Messages().size(), 1u);
    EXPECT_EQ(trace.Messages()[0], L"ZEPCreate() - ZEP encoder create failed, err -2147483648");
}

TEST_F(VideoEncoderTest, EveryServiceFailureIsTracedWithItsMessage) {
    TraceCapture trace;
    StartEncoder(0);
    service.Answer({service.MakeOutput(4, 1, 8, 0x44, 0)}, ScriptedService::kFull, 0);
    service.setConfigResult = 3;
    service.reclaimResult = 5;
    service.stopResult = 6;
    service.destroyResult = 7;
    zep::ZEPConfig config{};
    config.size = sizeof(config);
    const zep::ZEPConfigHeader header{sizeof(header), 0, &config, 0};
    EXPECT_EQ(encoder->SetConfig(header, custom), 3);
    {
        BufferHolder held;
        ASSERT_EQ(Query(held), VQX_OK);
    }  // the release reclaims (and fails)
    service.Answer({}, 0, 9);
    BufferHolder none;
    EXPECT_EQ(Query(none), VQX_ZEP_QUERY_FAILED);
    EXPECT_FALSE(none.buffer);
    EXPECT_EQ(encoder->PendingCount(), 0u);
    encoder.reset();  // stop, destroy

    service.startResult = 8;
    {
        zep::ZEPCreateParams params{};
        params.size = sizeof(params);
        ASSERT_EQ(VideoEncoder::Create(params, encoder, service), VQX_OK);
        EXPECT_EQ(encoder->Start(), 8);
        EXPECT_FALSE(encoder->IsStarted());
    }
    const std::vector<std::wstring> expected = {
        L"ZEPSetConfig()- ZEP encoder set config failed, err 3",
        L"ZEPReclaimOutputResource()- ZEP encoder reclaim output failed, err 5",
        L"ZEPQueryOutputs()- ZEP encoder query output failed, err 9",
        L"ZEPStopEncode()- ZEP encoder stop failed, err 6",
        L"ZEPDestroy()- ZEP encoder destroying failed, err 7",
        L"ZEPStartEncode()- ZEP encoder start failed, err 8",
    };
    EXPECT_EQ(trace.Messages(), expected);
}

TEST_F(VideoEncoderTest, HeldBufferKeepsItsBytesAfterTheNextQueryWhileTheServiceMemoryIsReclaimed) {
    StartEncoder(100);
    const zep::ZEPOutputEntry first = service.MakeOutput(1, 1, 64, 0x11, 1000);
    service.Answer({first});
    service.Answer({service.MakeOutput(2, 2, 32, 0x22, 2000)});

    BufferHolder a;
    ASSERT_EQ(Query(a), VQX_OK);
    EXPECT_EQ(a.Bytes(), first.data);  // handed out without copying
    EXPECT_EQ(a.buffer->GetSize(), 64u);
    EXPECT_EQ(a.buffer->GetTimestamp(), 1000);
    EXPECT_EQ(service.Count("reclaim:1"), 0);

    BufferHolder b;
    ASSERT_EQ(Query(b), VQX_OK);
    EXPECT_EQ(service.Count("reclaim:1"), 1);
    EXPECT_TRUE(AllBytesAre(first.data, 64, ScriptedService::kReusedByte));  // the service reused it
    EXPECT_NE(a.Bytes(), first.data);
    EXPECT_TRUE(AllBytesAre(a.Bytes(), 64, 0x11));
    EXPECT_EQ(a.buffer->GetSize(), 64u);
    EXPECT_TRUE(AllBytesAre(b.Bytes(), 32, 0x22));

    b.buffer.reset();  // the host's release gives the resource back
    EXPECT_EQ(service.Count("reclaim:2"), 1);
    a.buffer.reset();  // detached already: no second reclaim
    EXPECT_EQ(service.Count("reclaim:1"), 1);
}

TEST_F(VideoEncoderTest, OnlyTheLastBufferOfAResourceReclaimsIt) {
    StartEncoder(100, true);
    const zep::ZEPOutputEntry first = service.MakeOutput(5, 1, 16, 0x51, 1);
    const zep::ZEPOutputEntry second = service.MakeOutput(5, 2, 16, 0x52, 2);
    service.Answer({first, second});

    BufferHolder a;
    ASSERT_EQ(Query(a), VQX_OK);
    EXPECT_EQ(encoder->PendingCount(), 1u);
    EXPECT_EQ(service.Count("query:2"), 1);
    BufferHolder b;
    ASSERT_EQ(Query(b), VQX_OK);  // from the queue, no service query
    EXPECT_EQ(service.queries, 1u);
    EXPECT_EQ(service.Count("reclaim:5"), 0);  // the first buffer of the resource never reclaims
    EXPECT_TRUE(AllBytesAre(a.Bytes(), 16, 0x51));  // a copy, since the service memory lives on
    b.buffer.reset();
    EXPECT_EQ(service.Count("reclaim:5"), 1);
    a.buffer.reset();
    EXPECT_EQ(service.Count("reclaim:5"), 1);
}

TEST_F(VideoEncoderTest, AnEmptyOutputIsNeverCopiedButStillReclaims) {
    StartEncoder(100);
    service.Answer({service.MakeOutput(9, 1, 0, 0, 0)});
    service.Answer({service.MakeOutput(10, 1, 4, 0x10, 0)});
    BufferHolder empty;
    ASSERT_EQ(Query(empty), VQX_OK);
    EXPECT_EQ(empty.Bytes(), nullptr);
    EXPECT_EQ(empty.buffer->GetSize(), 0u);
    BufferHolder next;
    ASSERT_EQ(Query(next), VQX_OK);
    EXPECT_EQ(empty.Bytes(), nullptr);
    EXPECT_EQ(service.Count("reclaim:9"), 1);
}

TEST_F(VideoEncoderTest, TypeCodesMapToHostTypes) {
    EXPECT_EQ(VideoEncoder::VQXZepBufferImpl::MapTypeCode(0), -1);
    EXPECT_EQ(VideoEncoder::VQXZepBufferImpl::MapTypeCode(1), 0);
    EXPECT_EQ(VideoEncoder::VQXZepBufferImpl::MapTypeCode(2), 2);
    EXPECT_EQ(VideoEncoder::VQXZepBufferImpl::MapTypeCode(3), -1);
    EXPECT_EQ(VideoEncoder::VQXZepBufferImpl::MapTypeCode(4), 3);
    EXPECT_EQ(VideoEncoder::VQXZepBufferImpl::MapTypeCode(5), 4);
    EXPECT_EQ(VideoEncoder::VQXZepBufferImpl::MapTypeCode(0xFFFFFFFFu), -1);

    StartEncoder(100);
    service.Answer({service.MakeOutput(1, 5, 4, 1, 0)});
    service.Answer({service.MakeOutput(2, 3, 4, 1, 0)});
    BufferHolder five;
    ASSERT_EQ(Query(five), VQX_OK);
    EXPECT_EQ(five.buffer->GetType(), 4);
    BufferHolder three;
    ASSERT_EQ(Query(three), VQX_OK);
    EXPECT_EQ(three.buffer->GetType(), -1);
}

TEST_F(VideoEncoderTest, BufferAnswersOnlyItsOwnIdentifiers) {
    StartEncoder(100);
    service.Answer({service.MakeOutput(1, 1, 4, 1, 0)});
    BufferHolder held;
    ASSERT_EQ(Query(held), VQX_OK);
    void* found = nullptr;
    EXPECT_EQ(held.buffer->QueryInterface(L"\"VQXZepBuffer\"", &found), VQX_OK);
    EXPECT_EQ(found, static_cast<void*>(held.buffer.get()));
    static_cast<VQXZepBuffer*>(found)->Release();
    EXPECT_EQ(held.buffer->QueryInterface(L"\"VQXUnknown\"", &found), VQX_OK);
    static_cast<VQXInterface*>(found)->Release();
    found = nullptr;
    EXPECT_EQ(held.buffer->QueryInterface(L"VQXZepBuffer", &found), VQX_NO_INTERFACE);
    EXPECT_EQ(found, nullptr);
}

TEST_F(VideoEncoderTest, WithoutAWaitLimitAPartialAnswerEndsTheQueryAfterOnePoll) {
    StartEncoder(0);
    BufferHolder none;
    EXPECT_EQ(Query(none), VQX_REPEAT);
    EXPECT_FALSE(none.buffer);
    EXPECT_EQ(service.queries, 1u);
}

TEST_F(VideoEncoderTest, AFullAnswerOfEmptyEntriesPollsAgainEvenPastTheDeadline) {
    StartEncoder(0);
    zep::ZEPOutputEntry empty{};
    empty.size = sizeof(empty);
    service.Answer({empty});
    service.Answer({service.MakeOutput(3, 1, 4, 3, 0)});
    BufferHolder held;
    EXPECT_EQ(Query(held), VQX_OK);
    EXPECT_EQ(service.queries, 2u);
}

TEST_F(VideoEncoderTest, WithTwoOutputsAShortAnswerIsDroppedAndPolledAgain) {
    StartEncoder(1000, true);
    service.Answer({service.MakeOutput(7, 1, 4, 7, 0)}, 1);
    service.Answer({service.MakeOutput(8, 1, 4, 8, 0), service.MakeOutput(8, 2, 4, 8, 0)});
    BufferHolder held;
    ASSERT_EQ(Query(held), VQX_OK);
    EXPECT_EQ(service.queries, 2u);
    EXPECT_EQ(service.Count("query:2"), 2);
    EXPECT_EQ(held.buffer->GetType(), 0);
    EXPECT_EQ(encoder->PendingCount(), 1u);  // the second of resource 8; resource 7 was dropped
    encoder->Stop();
    EXPECT_EQ(service.Count("reclaim:7"), 0);
    EXPECT_EQ(service.Count("reclaim:8"), 1);
}

TEST_F(VideoEncoderTest, NothingWithinTheWaitLimitGivesRepeatAfterSeveralPolls) {
    StartEncoder(30);
    const int64 before = vqx_high_precision_clock();
    BufferHolder none;
    EXPECT_EQ(Query(none), VQX_REPEAT);
    EXPECT_GE(vqx_high_precision_clock() - before, 30 * 10000);
    EXPECT_GE(service.queries, 2u);
}

TEST_F(VideoEncoderTest, ACancelFromAnotherThreadEndsAWaitingQuery) {
    StartEncoder(20000);
    std::thread canceller([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        cancel = true;
    });
    const int64 before = vqx_high_precision_clock();
    BufferHolder none;
    EXPECT_EQ(Query(none), VQX_REPEAT);
    canceller.join();
    EXPECT_LT(vqx_high_precision_clock() - before, 15000 * 10000);
    EXPECT_GE(service.queries, 1u);
}

TEST_F(VideoEncoderTest, ACancelDuringTheFrameWaitEndsTheQueryBeforeItsFirstPoll) {
    StartEncoder(20000, false, 1);  // one frame per second
    service.Answer({service.MakeOutput(1, 1, 4, 1, 0)});
    BufferHolder first;
    ASSERT_EQ(Query(first), VQX_OK);  // frame 0 is due at once
    const uint32 queriesBefore = service.queries;
    std::thread canceller([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        cancel = true;
    });
    BufferHolder none;
    EXPECT_EQ(Query(none), VQX_REPEAT);  // waited for frame 1 (one second), then saw the flag
    canceller.join();
    EXPECT_EQ(service.queries, queriesBefore);
}

TEST_F(VideoEncoderTest, AnEarlierCancelIsClearedByTheNextQuery) {
    StartEncoder(1000);
    cancel = true;
    service.Answer({}, 0);
    service.Answer({service.MakeOutput(1, 1, 4, 1, 0)});
    BufferHolder held;
    EXPECT_EQ(Query(held), VQX_OK);
    EXPECT_FALSE(cancel);
}

TEST_F(VideoEncoderTest, StopReclaimsEveryPendingOutputBeforeStoppingAndDestructionDestroys) {
    StartEncoder(100, true);
    service.Answer({service.MakeOutput(3, 1, 8, 0x33, 0), service.MakeOutput(4, 1, 8, 0x44, 0)});
    BufferHolder held;
    ASSERT_EQ(Query(held), VQX_OK);
    const std::size_t before = service.calls.size();
    encoder->Stop();
    EXPECT_FALSE(encoder->IsStarted());
    const std::vector<std::string> tail(service.calls.begin() + static_cast<std::ptrdiff_t>(before),
                                        service.calls.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"reclaim:3", "reclaim:4", "stop"}));
    EXPECT_TRUE(AllBytesAre(held.Bytes(), 8, 0x33));  // the host's buffer was copied first
    encoder->Stop();  // not started: nothing
    EXPECT_EQ(service.Count("stop"), 1);
    encoder.reset();
    EXPECT_EQ(service.calls.back(), "destroy:" + std::to_string(service.handle));
    EXPECT_TRUE(AllBytesAre(held.Bytes(), 8, 0x33));  // still valid after the encoder is gone
}

TEST_F(VideoEncoderTest, DeliveredOutputsAdvanceTheFrameCount) {
    StartEncoder(100);
    service.Answer({service.MakeOutput(1, 1, 4, 1, 0)});
    service.Answer({service.MakeOutput(2, 1, 4, 1, 0)});
    BufferHolder held;
    ASSERT_EQ(Query(held), VQX_OK);
    ASSERT_EQ(Query(held), VQX_OK);
    EXPECT_EQ(encoder->FrameWaiter().FrameCount(), 2u);
}

}  // namespace
}  // namespace vqx
