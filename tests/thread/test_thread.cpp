// VQXThread: start, cooperative stop, restart and the races between owner and worker.
#include <vqx/thread.h>

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>

using namespace vqx;

namespace {

// A body that loops until asked to stop, counting what the base class calls.
class PollingThread : public VQXThread {
public:
    std::atomic<int> inits{0};
    std::atomic<int> runs{0};
    std::atomic<int> terminates{0};
    std::atomic<int> turns{0};
    std::atomic<bool> initResult{true};
    std::atomic<bool> exitFromBody{false};

protected:
    bool Init() override {
        ++inits;
        return initResult.load();
    }
    void Run() override {
        ++runs;
        while (!StopRequested()) {
            ++turns;
            Sleep(1);
        }
    }
    bool Terminate() override {
        ++terminates;
        return false;  // ignored
    }
};

// A body that returns at once.
class ShortThread : public VQXThread {
public:
    std::atomic<int> runs{0};
    std::atomic<int> terminates{0};

protected:
    void Run() override { ++runs; }
    bool Terminate() override {
        ++terminates;
        return true;
    }
};

// A body that waits for a gate, then returns.
class GatedThread : public VQXThread {
public:
    VQXEvent gate{false, true};
    std::atomic<int> runs{0};

protected:
    void Run() override {
        ++runs;
        gate.Lock(VQX_INFINITE);
    }
};

template <class Condition>
bool WaitUntil(Condition condition, DWORD limitMs = 20000) {
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > limitMs) return false;
        Sleep(1);
    }
    return true;
}

class ExitingThread : public VQXThread {
public:
    std::atomic<int> terminates{0};
    std::atomic<bool> started{false};
    std::atomic<bool> reachedEnd{false};

protected:
    void Run() override {
        started = true;
        vqx::ExitThread();
        reachedEnd = true;
    }
    bool Terminate() override {
        ++terminates;
        return true;
    }
};

}  // namespace

TEST(VQXThreadTest, StopRequestEndsAPollingBodyAndTerminateRunsOnce) {
    PollingThread thread;
    EXPECT_FALSE(thread.StopRequested());
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(WaitUntil([&] { return thread.turns.load() > 0; }));
    EXPECT_TRUE(thread.RequestStop());
    EXPECT_TRUE(thread.StopRequested());
    EXPECT_TRUE(thread.WaitForStop());
    EXPECT_EQ(thread.inits.load(), 1);
    EXPECT_EQ(thread.runs.load(), 1);
    EXPECT_EQ(thread.terminates.load(), 1);
    EXPECT_FALSE(thread.StopRequested());  // the event is signalled again
}

TEST(VQXThreadTest, WaitForStopWithoutRequestReturnsAtOnce) {
    PollingThread thread;
    ASSERT_TRUE(thread.Start());
    EXPECT_TRUE(thread.WaitForStop());
    EXPECT_EQ(thread.terminates.load(), 0);  // still running
    thread.RequestStop();
    EXPECT_TRUE(thread.WaitForStop());
    EXPECT_EQ(thread.terminates.load(), 1);
}

TEST(VQXThreadTest, StartWhileRunningStartsNoSecondThread) {
    GatedThread thread;
    EXPECT_TRUE(thread.Start());
    EXPECT_TRUE(thread.Start());
    thread.RequestStop();
    EXPECT_TRUE(thread.Start());  // stopping counts as running too
    thread.gate.SetEvent();
    EXPECT_TRUE(thread.WaitForStop());
    EXPECT_EQ(thread.runs.load(), 1);
}

TEST(VQXThreadTest, RestartAfterACompleteStopRunsInitAndRunAgain) {
    PollingThread thread;
    for (int round = 1; round <= 3; ++round) {
        ASSERT_TRUE(thread.Start());
        thread.RequestStop();
        ASSERT_TRUE(thread.WaitForStop());
        EXPECT_EQ(thread.inits.load(), round);
        EXPECT_EQ(thread.runs.load(), round);
        EXPECT_EQ(thread.terminates.load(), round);
    }
}

TEST(VQXThreadTest, IdleObjectIgnoresStopRequests) {
    PollingThread thread;
    EXPECT_TRUE(thread.RequestStop());
    EXPECT_FALSE(thread.StopRequested());
    EXPECT_TRUE(thread.WaitForStop());
}

TEST(VQXThreadTest, BodyThatReturnsByItselfLeavesTheObjectIdle) {
    ShortThread thread;
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(WaitUntil([&] { return thread.terminates.load() == 1; }));
    EXPECT_TRUE(thread.WaitForStop());
    // Idle again: a stop request does nothing and a new start runs the body again.
    thread.RequestStop();
    EXPECT_FALSE(thread.StopRequested());
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(WaitUntil([&] { return thread.terminates.load() == 2; }));
    EXPECT_EQ(thread.runs.load(), 2);
}

// Races a body that ends at once against the owner's stop protocol: whatever the interleaving,
// WaitForStop returns and the object ends Idle with no stop pending.
TEST(VQXThreadTest, ImmediateBodyNeverLeavesWaitForStopHanging) {
    ShortThread thread;
    for (int round = 0; round < 200; ++round) {
        ASSERT_TRUE(thread.Start());
        thread.RequestStop();
        ASSERT_TRUE(thread.WaitForStop());
        EXPECT_FALSE(thread.StopRequested()) << "round " << round;
    }
    EXPECT_EQ(thread.runs.load(), 200);
    EXPECT_EQ(thread.terminates.load(), 200);
}

TEST(VQXThreadTest, InitFailureSkipsRunAndTerminateAndReturnsToIdle) {
    PollingThread thread;
    thread.initResult = false;
    ASSERT_TRUE(thread.Start());
    thread.RequestStop();
    EXPECT_TRUE(thread.WaitForStop());  // a pending request is released
    EXPECT_EQ(thread.inits.load(), 1);
    EXPECT_EQ(thread.runs.load(), 0);
    EXPECT_EQ(thread.terminates.load(), 0);
    EXPECT_FALSE(thread.StopRequested());

    thread.initResult = true;
    ASSERT_TRUE(thread.Start());  // Idle again, so this starts a new thread
    thread.RequestStop();
    EXPECT_TRUE(thread.WaitForStop());
    EXPECT_EQ(thread.runs.load(), 1);
}

TEST(VQXThreadTest, ObjectCanBeDestroyedRightAfterTheStopProtocol) {
    for (int i = 0; i < 50; ++i) {
        PollingThread thread;
        ASSERT_TRUE(thread.Start());
        thread.RequestStop();
        ASSERT_TRUE(thread.WaitForStop());
    }  // each destructor runs while the worker may still be on its way out
}

TEST(VQXThreadTest, ExitThreadEndsTheBodyWithoutTerminate) {
    ExitingThread thread;
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(WaitUntil([&] { return thread.started.load(); }));
    Sleep(100);
    EXPECT_FALSE(thread.reachedEnd.load());
    EXPECT_EQ(thread.terminates.load(), 0);
    EXPECT_TRUE(thread.Start());  // still marked running: the steps after Run never happened
}
