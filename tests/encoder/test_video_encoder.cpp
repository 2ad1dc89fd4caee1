// White-box tests of the video encoder and its buffers against a scripted encode service, and of
// the frame pacing.
#include "encoder/frame_wait_helper.h"
#include "encoder/video_encoder.h"
#include "encoder/zep_buffer.h"
#include "scripted_service.h"

#include <vqx/memory.h>
#include <vqx/trace.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace vqx {
namespace {

using test::ScriptedService;
constexpr int64 kTicksPerMs = 10000;

// Collects the messages traced under the encoder's facility while alive.
struct TraceCapture final : VQXTraceListener {
    TraceCapture() { VQXRegisterTraceListener(this); }
    ~TraceCapture() override { VQXUnregisterTraceListener(this); }
    void Write(const wchar_t* facility, const wchar_t* message) override {
        if (facility != nullptr && std::wstring(facility) == L"VQXEncoderKLTZEPImpl") messages.emplace_back(message);
    }
    std::vector<std::wstring> messages;
};

const uint8* Bytes(const VQXPtr<VQXZepBuffer>& buffer) {
    void* memory = nullptr;
    buffer->GetMemory(&memory);
    return static_cast<const uint8*>(memory);
}

bool AllBytesAre(const uint8* bytes, uint32 size, uint8 value) {
    return bytes != nullptr && std::all_of(bytes, bytes + size, [value](uint8 b) { return b == value; });
}

class VideoEncoderTest : public ::testing::Test {
protected:
    // A started encoder at `fps`/1 with the given wait limit; output type code 2 asks for two
    // outputs per query.
    void StartEncoder(uint64 waitFrameMax, uint32 outputType = 1, uint32 fps = 1000) {
        zep::ZEPCreateParams params{};
        params.size = sizeof(params);
        params.width = 640;
        params.fpsNumerator = fps;
        params.fpsDenominator = 1;
        params.outputType = outputType;
        ASSERT_EQ(VideoEncoder::Create(params, encoder, service), VQX_OK);
        EXPECT_EQ(std::memcmp(&service.lastCreate, &params, sizeof(params)), 0);  // a copy of the record
        EXPECT_EQ(encoder->HasTwoOutputs(), outputType == 2);
        custom->waitFrameMax = waitFrameMax;
        ASSERT_EQ(encoder->SetConfig(header, custom), 0);
        ASSERT_EQ(encoder->Start(), 0);
    }
    VQX_ERROR Query(VQXPtr<VQXZepBuffer>& buffer) { return encoder->QueryOutputs(cancel, buffer.put()); }
    // A canceller that sets the flag after `ms` milliseconds.
    std::thread CancelAfter(int ms) {
        return std::thread([this, ms] {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            cancel = true;
        });
    }

    ScriptedService service;
    std::shared_ptr<VideoEncoder> encoder;
    std::shared_ptr<CustomParams> custom = std::make_shared<CustomParams>();
    zep::ZEPConfig config{};
    const zep::ZEPConfigHeader header{sizeof(zep::ZEPConfigHeader), 0, &config, 0};
    std::atomic<bool> cancel{false};
};

TEST_F(VideoEncoderTest, EveryServiceFailureIsTracedWithItsMessage) {
    TraceCapture trace;
    service.createResult = static_cast<int32>(0x80000000u);  // what the binding answers without the library
    zep::ZEPCreateParams params{};
    params.size = sizeof(params);
    EXPECT_EQ(VideoEncoder::Create(params, encoder, service), VQX_ENCODER_CREATE_FAILED);
    EXPECT_FALSE(encoder);
    service.createResult = 0;

    StartEncoder(0);
    service.Answer({service.MakeOutput(4, 1, 8, 0x44)});
    service.setConfigResult = 3;
    service.reclaimResult = 5;
    service.stopResult = 6;
    service.destroyResult = 7;
    EXPECT_EQ(encoder->SetConfig(header, custom), VQX_DECODER_CREATE_FAILED);
    {
        VQXPtr<VQXZepBuffer> held;
        ASSERT_EQ(Query(held), VQX_OK);
    }  // the release reclaims (and fails)
    service.Answer({}, 0, 9);
    VQXPtr<VQXZepBuffer> none;
    EXPECT_EQ(Query(none), VQX_ZEP_QUERY_FAILED);
    EXPECT_FALSE(none);
    EXPECT_EQ(encoder->PendingCount(), 0u);
    encoder.reset();  // stop, destroy
    service.startResult = 8;
    ASSERT_EQ(VideoEncoder::Create(params, encoder, service), VQX_OK);
    EXPECT_EQ(encoder->Start(), VQX_ZEP_START_FAILED);
    EXPECT_FALSE(encoder->IsStarted());
    const std::vector<std::wstring> expected = {
        L"ZEPCreate() - ZEP encoder create failed, err -2147483648",
        L"ZEPSetConfig()- ZEP encoder set config failed, err 3",
        L"ZEPReclaimOutputResource()- ZEP encoder reclaim output failed, err 5",
        L"ZEPQueryOutputs()- ZEP encoder query output failed, err 9",
        L"ZEPStopEncode()- ZEP encoder stop failed, err 6",
        L"ZEPDestroy()- ZEP encoder destroying failed, err 7",
        L"ZEPStartEncode()- ZEP encoder start failed, err 8",
    };
    EXPECT_EQ(trace.messages, expected);
}

TEST_F(VideoEncoderTest, HeldBufferKeepsItsBytesAfterTheNextQueryWhileTheServiceMemoryIsReclaimed) {
    StartEncoder(100);
    const zep::ZEPOutputEntry first = service.MakeOutput(1, 1, 64, 0x11, 1000);
    service.Answer({first});
    service.Answer({service.MakeOutput(2, 2, 32, 0x22, 2000)});

    VQXPtr<VQXZepBuffer> a, b;
    ASSERT_EQ(Query(a), VQX_OK);
    EXPECT_EQ(Bytes(a), first.data);  // handed out without copying
    EXPECT_EQ(service.Count("reclaim:1"), 0);
    ASSERT_EQ(Query(b), VQX_OK);
    EXPECT_EQ(service.Count("reclaim:1"), 1);
    EXPECT_TRUE(AllBytesAre(first.data, 64, ScriptedService::kReusedByte));  // the service reused it
    EXPECT_NE(Bytes(a), first.data);
    EXPECT_TRUE(AllBytesAre(Bytes(a), 64, 0x11));
    EXPECT_EQ(a->GetSize(), 64u);
    EXPECT_EQ(a->GetTimestamp(), 1000);
    EXPECT_EQ(a->GetType(), 0);
    EXPECT_TRUE(AllBytesAre(Bytes(b), 32, 0x22));
    EXPECT_EQ(b->GetType(), 2);
    EXPECT_EQ(encoder->FrameWaiter().FrameCount(), 2u);

    b.reset();  // the host's release gives the resource back
    EXPECT_EQ(service.Count("reclaim:2"), 1);
    a.reset();  // detached already: no second reclaim
    EXPECT_EQ(service.Count("reclaim:1"), 1);
}

TEST_F(VideoEncoderTest, OnlyTheLastBufferOfAResourceReclaimsItAndEmptyOutputsAreNeverCopied) {
    StartEncoder(100, 2);
    service.Answer({service.MakeOutput(5, 1, 16, 0x51), service.MakeOutput(5, 2, 16, 0x52)});
    VQXPtr<VQXZepBuffer> a, b;
    ASSERT_EQ(Query(a), VQX_OK);
    EXPECT_EQ(encoder->PendingCount(), 1u);
    ASSERT_EQ(Query(b), VQX_OK);  // from the queue, no service query
    EXPECT_EQ(service.calls, (std::vector<std::string>{"create", "config", "start", "query:2"}));
    EXPECT_TRUE(AllBytesAre(Bytes(a), 16, 0x51));  // a copy, since the service memory lives on
    b.reset();
    EXPECT_EQ(service.Count("reclaim:5"), 1);
    a.reset();
    EXPECT_EQ(service.Count("reclaim:5"), 1);

    service.Answer({service.MakeOutput(9, 1, 0, 0), service.MakeOutput(10, 1, 4, 0x10)});
    ASSERT_EQ(Query(a), VQX_OK);
    EXPECT_EQ(Bytes(a), nullptr);
    EXPECT_EQ(a->GetSize(), 0u);
    ASSERT_EQ(Query(b), VQX_OK);
    EXPECT_EQ(Bytes(a), nullptr);  // detached without a copy
    EXPECT_EQ(service.Count("reclaim:9"), 1);
}

TEST_F(VideoEncoderTest, BufferMapsTypeCodesAndAnswersOnlyItsOwnIdentifiers) {
    const std::pair<uint32, int32> types[] = {{0, -1}, {1, 0}, {2, 2}, {3, -1}, {4, 3}, {5, 4}, {0xFFFFFFFFu, -1}};
    for (const auto& [code, type] : types) EXPECT_EQ(VideoEncoder::VQXZepBufferImpl::MapTypeCode(code), type) << code;

    StartEncoder(100);
    service.Answer({service.MakeOutput(1, 5, 4, 1)});
    VQXPtr<VQXZepBuffer> held;
    ASSERT_EQ(Query(held), VQX_OK);
    EXPECT_EQ(held->GetType(), 4);
    void* found = nullptr;
    EXPECT_EQ(held->QueryInterface(L"\"VQXZepBuffer\"", &found), VQX_OK);
    EXPECT_EQ(found, static_cast<void*>(held.get()));
    EXPECT_EQ(held->QueryInterface(L"\"VQXUnknown\"", &found), VQX_OK);
    EXPECT_EQ(held->Release(), 2);  // each answer added a reference
    EXPECT_EQ(held->Release(), 1);
    found = nullptr;
    EXPECT_EQ(held->QueryInterface(L"VQXZepBuffer", &found), VQX_NO_INTERFACE);
    EXPECT_EQ(found, nullptr);
}

TEST_F(VideoEncoderTest, PollingEndsOnTheRightAnswers) {
    // No wait limit: a partial answer ends the query after that single poll.
    StartEncoder(0, 3);
    VQXPtr<VQXZepBuffer> held;
    EXPECT_EQ(Query(held), VQX_REPEAT);
    EXPECT_FALSE(held);
    EXPECT_EQ(service.queries, 1u);
    // A full answer of empty entries is no output: it polls again, past the deadline.
    zep::ZEPOutputEntry empty{};
    empty.size = sizeof(empty);
    service.Answer({empty});
    service.Answer({service.MakeOutput(3, 1, 4, 3)});
    EXPECT_EQ(Query(held), VQX_OK);
    EXPECT_EQ(service.Count("query:1"), 3);  // output type code 3 asks for one output
    // An earlier cancel is cleared by the next query.
    cancel = true;
    service.Answer({}, 0);
    service.Answer({service.MakeOutput(1, 1, 4, 1)});
    custom->waitFrameMax = 1000;
    EXPECT_EQ(Query(held), VQX_OK);
    EXPECT_FALSE(cancel);
}

TEST_F(VideoEncoderTest, WithTwoOutputsAShortAnswerIsDroppedAndPolledAgain) {
    StartEncoder(1000, 2);
    service.Answer({service.MakeOutput(7, 1, 4, 7)}, 1);
    service.Answer({service.MakeOutput(8, 1, 4, 8), service.MakeOutput(8, 2, 4, 8)});
    VQXPtr<VQXZepBuffer> held;
    ASSERT_EQ(Query(held), VQX_OK);
    EXPECT_EQ(service.Count("query:2"), 2);
    EXPECT_EQ(held->GetType(), 0);
    EXPECT_EQ(encoder->PendingCount(), 1u);  // the second of resource 8; resource 7 was dropped
    encoder->Stop();
    EXPECT_EQ(service.Count("reclaim:7"), 0);
    EXPECT_EQ(service.Count("reclaim:8"), 1);
}

TEST_F(VideoEncoderTest, AWaitingQueryEndsAtItsLimitOrOnACancelFromAnotherThread) {
    StartEncoder(30, 1, 1);  // one frame per second
    service.Answer({service.MakeOutput(1, 1, 4, 1)});
    VQXPtr<VQXZepBuffer> held;
    ASSERT_EQ(Query(held), VQX_OK);  // frame 0 is due at once
    // A cancel during the wait for frame 1 ends the query before its first poll.
    std::thread canceller = CancelAfter(100);
    EXPECT_EQ(Query(held), VQX_REPEAT);
    canceller.join();
    EXPECT_EQ(service.queries, 1u);
    // Frame 1 is due now: nothing within the 30 ms limit gives REPEAT after several polls.
    int64 before = vqx_high_precision_clock();
    EXPECT_EQ(Query(held), VQX_REPEAT);
    EXPECT_GE(vqx_high_precision_clock() - before, 30 * kTicksPerMs);
    EXPECT_GE(service.queries, 3u);
    // A cancel from another thread ends a query that polls toward a far deadline.
    custom->waitFrameMax = 20000;
    canceller = CancelAfter(200);
    before = vqx_high_precision_clock();
    EXPECT_EQ(Query(held), VQX_REPEAT);
    canceller.join();
    EXPECT_LT(vqx_high_precision_clock() - before, 15000 * kTicksPerMs);
}

TEST_F(VideoEncoderTest, StopReclaimsEveryPendingOutputBeforeStoppingAndDestructionDestroys) {
    StartEncoder(100, 2);
    service.Answer({service.MakeOutput(3, 1, 8, 0x33), service.MakeOutput(4, 1, 8, 0x44)});
    VQXPtr<VQXZepBuffer> held;
    ASSERT_EQ(Query(held), VQX_OK);
    const std::size_t before = service.calls.size();
    encoder->Stop();
    EXPECT_FALSE(encoder->IsStarted());
    const std::vector<std::string> tail(service.calls.begin() + static_cast<std::ptrdiff_t>(before),
                                        service.calls.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"reclaim:3", "reclaim:4", "stop"}));
    encoder->Stop();  // not started: nothing
    EXPECT_EQ(service.Count("stop"), 1);
    encoder.reset();
    EXPECT_EQ(service.calls.back(), "destroy:" + std::to_string(service.handle));
    EXPECT_TRUE(AllBytesAre(Bytes(held), 8, 0x33));  // copied before the stop, valid after the encoder is gone
}

TEST(FrameWaitHelperTest, TheLatencyOffsetFollowsLateOutputsAndDecaysOnPromptOnes) {
    struct Delivery {
        uint64 pollCount;
        int64 pollTime;
        int64 offset;  // expected afterwards
    };
    struct Case {
        uint32 numerator, denominator;
        int64 start;
        std::vector<Delivery> deliveries;
    };
    const Case cases[] = {
        // Frame 1 is due 166666 ticks after the start; 6000 late weighs 5/6, a prompt one decays by 1 %.
        {60, 1, 1000, {{3, 1000 + 166666 + 6000, 5000}, {0, 0, 4950}}},
        // Early outputs give negative offsets that truncate toward zero (-505.8, then -499.95).
        {60, 1, 0, {{1, 166666 - 607, -505}, {0, 0, -499}}},
        // Frame 2 at 30000/1001 is due at 667333.3 ticks: the ideal time uses the exact rate.
        {30000, 1001, 0, {{0, 0, 0}, {1, 667334 + 600, 500}}},
        // A zero numerator learns nothing and never divides by it.
        {0, 1, 0, {{0, 0, 0}, {4, 123456789, 0}}},
    };
    for (const Case& c : cases) {
        FrameWaitHelper waiter(c.numerator, c.denominator);
        waiter.Restart(c.start);
        for (const Delivery& d : c.deliveries) {
            waiter.OnOutputDelivered(d.pollCount, d.pollTime);
            EXPECT_EQ(waiter.LatencyOffset(), d.offset) << c.numerator << "/" << c.denominator;
        }
        EXPECT_EQ(waiter.FrameCount(), c.deliveries.size());
        waiter.Restart(0);
        EXPECT_EQ(waiter.LatencyOffset(), 0);
        EXPECT_EQ(waiter.FrameCount(), 0u);
    }
    FrameWaitHelper unpaced(0, 1);
    unpaced.Restart(vqx_high_precision_clock());
    unpaced.OnOutputDelivered(0, 0);
    EXPECT_EQ(unpaced.WaitForNextFrame(), 0);
}

TEST(FrameWaitHelperTest, WaitsUntilTheNextFrameIsDueInMillisecondSteps) {
    FrameWaitHelper waiter(10, 1);  // 100 ms per frame
    const int64 start = vqx_high_precision_clock();
    waiter.Restart(start);
    EXPECT_EQ(waiter.WaitForNextFrame(), 0);  // frame 0 is due at the start
    waiter.OnOutputDelivered(0, start);
    const int64 planned = waiter.WaitForNextFrame();
    EXPECT_GT(planned, 0);
    EXPECT_LE(planned, 100 * kTicksPerMs);
    EXPECT_GE(vqx_high_precision_clock() - start, 100 * kTicksPerMs);

    VQXPreciseWaiter precise;
    const int64 before = vqx_high_precision_clock();
    const int64 elapsed = precise.Wait(5 * kTicksPerMs);
    EXPECT_GE(elapsed, 5 * kTicksPerMs);
    EXPECT_GE(vqx_high_precision_clock() - before, elapsed);
    EXPECT_GE(precise.Wait(0), 0);  // one step, then the duration has passed
}

}  // namespace
}  // namespace vqx
