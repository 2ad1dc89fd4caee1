// The full road of a host through vqx.dll and the stand-in drivers: create, set properties,
// acquire, create, start, pull thirty outputs, change the configuration while
// running, cancel a waiting query from another thread, stop, destroy, release. The collected
// stream is written to the file named on the command line for the decoder checks that follow.
#include "standins.h"

#include <vqx/memory.h>

#include <chrono>
#include <fstream>
#include <thread>

namespace vqx::test {
namespace {

const char* g_streamPath = "encoder_road.h264";

constexpr int64 kTicksPerSecond = 10000000;

TEST(EncoderRoad, AHostPullsADecodableStream) {
    StandIns standIns;
    ASSERT_TRUE(standIns.ready) << "the stand-in drivers are not on the path";
    standIns.Reset("640x480@60");

    VQXPtr<VQXEncoderKLTZEP> encoder = NewEncoder();
    ASSERT_TRUE(encoder);
    ASSERT_EQ(SetInt(encoder.get(), L"Usage", 1), VQX_OK);  // generic: every setting is open
    ASSERT_EQ(SetInt(encoder.get(), L"Profile", 100), VQX_OK);
    ASSERT_EQ(SetInt(encoder.get(), L"Wait Frame Max", 1000), VQX_OK);
    ASSERT_EQ(encoder->AcquireDisplay(), VQX_OK);
    ASSERT_EQ(encoder->CreateEncoder(), VQX_OK);
    ASSERT_EQ(SetInt(encoder.get(), L"Bitrate", 3000000), VQX_OK);
    ASSERT_EQ(SetInt(encoder.get(), L"Slices Per Frame", 4), VQX_OK);
    ASSERT_EQ(encoder->StartEncode(), VQX_OK);

    std::ofstream stream(g_streamPath, std::ios::binary | std::ios::trunc);
    ASSERT_TRUE(stream) << g_streamPath;
    int outputs = 0;
    int repeats = 0;
    bool configUpdated = false;
    // A fixed number of outputs, however fast the machine codes them.
    constexpr int kOutputs = 30;
    while (outputs < kOutputs) {
        VQXPtr<VQXZepBuffer> buffer;
        const VQX_ERROR result = encoder->QueryOutput(buffer.put());
        if (result == VQX_REPEAT) {
            ++repeats;
            continue;
        }
        ASSERT_EQ(result, VQX_OK);
        void* memory = nullptr;
        ASSERT_EQ(buffer->GetMemory(&memory), VQX_OK);
        if (outputs == 0) {
            EXPECT_EQ(buffer->GetType(), 0);  // picture 0, the parameter sets in front of it
        } else if (outputs == 1) {
            EXPECT_EQ(buffer->GetType(), 3);  // then picture 1, a P picture
        }
        stream.write(static_cast<const char*>(memory), buffer->GetSize());
        ++outputs;
        if (!configUpdated && outputs == kOutputs / 3) {
            // A third in: ask for an IDR picture every 10 frames from now on.
            ASSERT_EQ(SetInt(encoder.get(), L"IDR Period", 10), VQX_OK);
            ASSERT_EQ(encoder->UpdateConfig(), VQX_OK);
            EXPECT_EQ(standIns.LastConfigWords().at(2), 10u);
            configUpdated = true;
        }
    }
    stream.close();
    EXPECT_TRUE(configUpdated);
    EXPECT_EQ(outputs, kOutputs) << repeats << " empty queries";

    // A query that waits for an output the service holds back ends when another thread cancels.
    standIns.zep.HoldOutputs(1);
    ASSERT_EQ(SetInt(encoder.get(), L"Wait Frame Max", 30000), VQX_OK);
    std::thread canceller([&encoder] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        EXPECT_EQ(encoder->CancelQueryOutput(), VQX_OK);
    });
    const int64 before = vqx_high_precision_clock();
    VQXPtr<VQXZepBuffer> none;
    EXPECT_EQ(encoder->QueryOutput(none.put()), VQX_REPEAT);
    canceller.join();
    EXPECT_LT(vqx_high_precision_clock() - before, 20 * kTicksPerSecond);
    standIns.zep.HoldOutputs(0);
    EXPECT_EQ(encoder->QueryOutput(none.put()), VQX_OK);  // the cancel does not stick
    none.reset();

    EXPECT_EQ(encoder->StopEncode(), VQX_OK);
    EXPECT_EQ(encoder->DestroyEncoder(), VQX_OK);
    EXPECT_EQ(encoder->ReleaseDisplay(), VQX_OK);
    EXPECT_EQ(standIns.zep.GetOutstandingCount(), 0u);
    EXPECT_EQ(standIns.DisplayRecord().acquired_now, 0);
    EXPECT_EQ(encoder->Release(), 0);
    encoder.detach();
    std::printf("collected %d outputs (%d empty queries) into %s\n", outputs, repeats, g_streamPath);
}

}  // namespace
}  // namespace vqx::test

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc > 1) vqx::test::g_streamPath = argv[1];
    return RUN_ALL_TESTS();
}
