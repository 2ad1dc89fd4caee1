#include <vqx/vqx.h>

#include <gtest/gtest.h>

#include <thread>

using namespace vqx;

namespace {

class ITestWidget : public virtual VQXInterface {
public:
    static const wchar_t* IID() {
        static const wchar_t id[] = L"\"ITestWidget\"";
        return id;
    }
    virtual int32 VQX_CALL Answer() = 0;
};

int g_destroyed = 0;

class TestWidget : public VQXInterfaceImpl<ITestWidget> {
public:
    ~TestWidget() override { ++g_destroyed; }
    int32 VQX_CALL Answer() override { return 42; }
};

}  // namespace

TEST(InterfaceImpl, CountStartsAtZeroAndFactoryHandsOutOne) {
    TestWidget* raw = new TestWidget;
    EXPECT_EQ(0, raw->GetRefCount());
    delete raw;
    TestWidget* widget = CreateInstance<TestWidget>();
    EXPECT_EQ(1, widget->GetRefCount());
    EXPECT_EQ(2, widget->Acquire());
    EXPECT_EQ(1, widget->Release());
    g_destroyed = 0;
    EXPECT_EQ(0, widget->Release());
    EXPECT_EQ(1, g_destroyed);
}

TEST(InterfaceImpl, QueryInterfaceMatchesExactIdentifiers) {
    VQXPtr<TestWidget> widget = VQXPtr<TestWidget>::Adopt(CreateInstance<TestWidget>());
    void* out = nullptr;
    ASSERT_EQ(VQX_OK, widget->QueryInterface(L"\"VQXUnknown\"", &out));
    EXPECT_EQ(static_cast<VQXInterface*>(widget.get()), out);
    EXPECT_EQ(2, widget->GetRefCount());
    static_cast<VQXInterface*>(out)->Release();

    ASSERT_EQ(VQX_OK, widget->QueryInterface(L"\"ITestWidget\"", &out));
    EXPECT_EQ(42, static_cast<ITestWidget*>(out)->Answer());
    static_cast<ITestWidget*>(out)->Release();

    void* untouched = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(VQX_NO_INTERFACE, widget->QueryInterface(L"VQXUnknown", &untouched));
    EXPECT_EQ(VQX_NO_INTERFACE, widget->QueryInterface(L"\"vqxunknown\"", &untouched));
    EXPECT_EQ(VQX_NO_INTERFACE, widget->QueryInterface(L"\"VQXPropertyStorage\"", &untouched));
    EXPECT_EQ(reinterpret_cast<void*>(0x1234), untouched);
    EXPECT_EQ(1, widget->GetRefCount());
}

TEST(InterfaceImpl, ConcurrentReleasesDestroyExactlyOnce) {
    for (int round = 0; round < 200; ++round) {
        g_destroyed = 0;
        TestWidget* widget = CreateInstance<TestWidget>();
        widget->Acquire();
        std::thread a([&] { widget->Release(); });
        std::thread b([&] { widget->Release(); });
        a.join();
        b.join();
        ASSERT_EQ(1, g_destroyed) << "round " << round;
    }
}

TEST(InterfaceImpl, ConcurrentAcquireReleaseKeepsTheCount) {
    VQXPtr<TestWidget> widget = VQXPtr<TestWidget>::Adopt(CreateInstance<TestWidget>());
    auto churn = [&] {
        for (int i = 0; i < 20000; ++i) {
            widget->Acquire();
            widget->Release();
        }
    };
    std::thread a(churn), b(churn);
    a.join();
    b.join();
    EXPECT_EQ(1, widget->GetRefCount());
}
