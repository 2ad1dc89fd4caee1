// VQXThread: start, cooperative stop, restart and the races between owner and worker.
#include <vqx/thread.h>

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>

using namespace vqx;

namespace {

// A worker whose body polls for a stop request, returns at once, waits for a gate, or ends the
// thread from inside; it counts what the base class calls.
class Worker : public VQXThread {
public:
    enum class Body { Poll, Return, Gate, Exit };
    explicit Worker(Body body = Body::Poll) : m_body(body) {}

    std::atomic<int> inits{0}, runs{0}, terminates{0}, turns{0};
    std::atomic<bool> initResult{true}, reachedEnd{false};
    VQXEvent gate{false, true};

protected:
    bool Init() override {
        ++inits;
        return initResult.load();
    }
    void Run() override {
        ++runs;
        if (m_body == Body::Poll) {
            while (!StopRequested()) {
                ++turns;
                Sleep(1);
            }
        } else if (m_body == Body::Gate) {
            gate.Lock(VQX_INFINITE);
        } else if (m_body == Body::Exit) {
            vqx::ExitThread();
        }
        reachedEnd = true;
    }
    bool Terminate() override {
        ++terminates;
        return false;  // ignored
    }

private:
    const Body m_body;
};

template <class Condition>
bool WaitUntil(Condition condition) {
    for (const DWORD start = GetTickCount(); !condition(); Sleep(1)) {
        if (GetTickCount() - start > 20000) return false;
    }
    return true;
}

}  // namespace

TEST(VQXThreadTest, StopRequestEndsAPollingBodyAndTerminateRunsOnce) {
    Worker thread;
    EXPECT_FALSE(thread.StopRequested());
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(WaitUntil([&] { return thread.turns.load() > 0; }));
    EXPECT_TRUE(thread.WaitForStop());  // without a request: at once, the body still runs
    EXPECT_EQ(thread.terminates.load(), 0);
    EXPECT_TRUE(thread.RequestStop());
    EXPECT_TRUE(thread.StopRequested());
    EXPECT_TRUE(thread.WaitForStop());
    EXPECT_EQ(thread.inits.load(), 1);
    EXPECT_EQ(thread.runs.load(), 1);
    EXPECT_EQ(thread.terminates.load(), 1);
    EXPECT_FALSE(thread.StopRequested());       // the event is signalled again
    for (int round = 2; round <= 3; ++round) {  // a complete stop allows a fresh start
        ASSERT_TRUE(thread.Start());
        thread.RequestStop();
        ASSERT_TRUE(thread.WaitForStop());
        EXPECT_EQ(thread.inits.load(), round);
        EXPECT_EQ(thread.runs.load(), round);
        EXPECT_EQ(thread.terminates.load(), round);
    }
}

TEST(VQXThreadTest, StartWhileRunningOrStoppingStartsNoSecondThread) {
    Worker thread(Worker::Body::Gate);
    EXPECT_TRUE(thread.Start());
    EXPECT_TRUE(thread.Start());
    thread.RequestStop();
    EXPECT_TRUE(thread.Start());
    thread.gate.SetEvent();
    EXPECT_TRUE(thread.WaitForStop());
    EXPECT_EQ(thread.runs.load(), 1);
}

TEST(VQXThreadTest, IdleObjectIgnoresStopRequestsAndABodyThatReturnsLeavesItIdle) {
    Worker thread(Worker::Body::Return);
    EXPECT_TRUE(thread.RequestStop());
    EXPECT_FALSE(thread.StopRequested());
    EXPECT_TRUE(thread.WaitForStop());
    for (int round = 1; round <= 2; ++round) {
        ASSERT_TRUE(thread.Start());
        ASSERT_TRUE(WaitUntil([&] { return thread.terminates.load() == round; }));
        EXPECT_TRUE(thread.WaitForStop());
        thread.RequestStop();  // Idle again: does nothing
        EXPECT_FALSE(thread.StopRequested());
    }
    EXPECT_EQ(thread.runs.load(), 2);
}

// A body that ends at once races the owner's stop protocol: whatever the interleaving, WaitForStop
// returns, the object ends Idle with no stop pending and can be restarted or destroyed at once.
TEST(VQXThreadTest, ImmediateBodyNeverLeavesWaitForStopHanging) {
    for (int round = 0; round < 100; ++round) {
        Worker thread(Worker::Body::Return);
        for (int start = 1; start <= 2; ++start) {
            ASSERT_TRUE(thread.Start());
            thread.RequestStop();
            ASSERT_TRUE(thread.WaitForStop());
            EXPECT_FALSE(thread.StopRequested()) << "round " << round;
            ASSERT_TRUE(WaitUntil([&] { return thread.terminates.load() == start; }));
        }
        EXPECT_EQ(thread.runs.load(), 2);
    }  // each destructor runs while the worker may still be on its way out
}

TEST(VQXThreadTest, InitFailureSkipsRunAndTerminateAndReturnsToIdle) {
    Worker thread;
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

TEST(VQXThreadTest, ExitThreadEndsTheBodyWithoutTerminate) {
    Worker thread(Worker::Body::Exit);
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(WaitUntil([&] { return thread.runs.load() == 1; }));
    Sleep(100);
    EXPECT_FALSE(thread.reachedEnd.load());
    EXPECT_EQ(thread.terminates.load(), 0);
    EXPECT_TRUE(thread.Start());  // still marked running: the steps after Run never happened
    EXPECT_EQ(thread.inits.load(), 1);
}
