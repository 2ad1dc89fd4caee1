// Binding the display library: a failing Create leaves it unbound and is retried, two first
// users bind exactly once, and unbinding (what unload does) finishes the library.
#include "grx_fixture.h"

#include "bindings/grx_library.h"

#include <atomic>
#include <thread>

using namespace vqx::test;

namespace {

// Each test starts with the library unbound, as in a fresh process.
class GrxBindingTest : public GrxTest {
protected:
    void SetUp() override {
        GrxTest::SetUp();
        grx::detail::UnbindDisplayLibrary();
        TheStandIn().Reset();
    }
};

}  // namespace

TEST_F(GrxBindingTest, FailingCreateIsFinishedAndRetriedOnTheNextAcquisition) {
    {
        ScopedEnv failure(L"GRXAPIXX_FAIL_CREATE", L"0x66");
        EXPECT_EQ(-1, AcquireFailureCode());
        EXPECT_EQ(1, Record().destroy_calls) << "Destroy ends what Create began";
        EXPECT_EQ(0, Record().adapter_count_calls);
        EXPECT_EQ(nullptr, grx::detail::BoundDisplayLibrary());
    }
    grx::AcquireRemoteDisplay().reset();
    {
        ScopedEnv adapters(L"GRXAPIXX_ADAPTERS", L"0");
        EXPECT_EQ(-1, AcquireFailureCode());
    }
    grx::AcquireRemoteDisplay().reset();
    const GRXTestRecord record = Record();
    EXPECT_EQ(2, record.create_calls) << "bound once, then kept through failures and releases";
    EXPECT_EQ(1, record.create_version);
    EXPECT_EQ(1, record.destroy_calls);
    EXPECT_EQ(3, record.adapter_count_calls);
    EXPECT_NE(nullptr, grx::detail::BoundDisplayLibrary());

    grx::detail::UnbindDisplayLibrary();
    EXPECT_EQ(2, Record().destroy_calls);
    EXPECT_EQ(0, Record().created);
    EXPECT_EQ(nullptr, grx::detail::BoundDisplayLibrary());
    grx::detail::UnbindDisplayLibrary();
    EXPECT_EQ(2, Record().destroy_calls) << "an unbound library is not finished twice";
}

TEST_F(GrxBindingTest, TwoFirstUsersBindExactlyOnce) {
    ScopedEnv delay(L"GRXAPIXX_CREATE_DELAY", L"300");
    std::atomic<int> waiting{2};
    std::shared_ptr<grx::RemoteDisplay> displays[2];
    int32_t codes[2] = {0, 0};
    auto acquire = [&](int slot) {
        --waiting;
        while (waiting.load() > 0)
            std::this_thread::yield();
        codes[slot] = GrxErrorCode([&] { displays[slot] = grx::AcquireRemoteDisplay(); });
    };
    std::thread first(acquire, 0);
    std::thread second(acquire, 1);
    first.join();
    second.join();

    EXPECT_EQ(1, Record().create_calls);
    EXPECT_EQ(0, Record().destroy_calls);
    EXPECT_TRUE(displays[0] != nullptr || displays[1] != nullptr);
    for (int slot = 0; slot < 2; ++slot) {
        EXPECT_EQ(displays[slot] == nullptr ? -1 : 0, codes[slot]);
    }
}
