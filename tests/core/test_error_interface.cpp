// Result-code texts with their buffer rules, and the reference count of the interface base (its
// identifiers are checked on the encoder, tests/encoder/test_component_host.cpp).
#include <vqx/vqx.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

using namespace vqx;

namespace {

std::wstring TextOf(int32 code) {
    const uint32 length = vqxGetErrorText(static_cast<VQX_ERROR>(code), nullptr, 0);
    std::wstring text(length + 1, L'#');
    EXPECT_EQ(length, vqxGetErrorText(static_cast<VQX_ERROR>(code), text.data(), length + 1));
    EXPECT_EQ(L'\0', text[length]) << code;
    text.resize(length);
    return text;
}

int g_destroyed = 0;

class TestWidget : public VQXInterfaceImpl<VQXInterface> {
public:
    ~TestWidget() override { ++g_destroyed; }
};

}  // namespace

TEST(ErrorText, TextIsCopiedOnlyWithRoomForTheTerminator) {
    EXPECT_EQ(8u, vqxGetErrorText(VQX_OK, nullptr, 0));
    EXPECT_EQ(8u, vqxGetErrorText(VQX_OK, nullptr, 100));
    wchar_t buffer[16];
    std::fill(std::begin(buffer), std::end(buffer), L'#');
    EXPECT_EQ(8u, vqxGetErrorText(VQX_OK, buffer, 8));
    EXPECT_EQ(L'#', buffer[0]) << "a buffer without room for the NUL gets nothing";
    EXPECT_EQ(8u, vqxGetErrorText(VQX_OK, buffer, 9));
    EXPECT_EQ(std::wstring(L"No error"), buffer);
    EXPECT_EQ(L'#', buffer[9]) << "nothing written past the NUL";
}

TEST(ErrorText, ExactTextsAndUndefinedCodes) {
    const struct {
        int32 code;
        const wchar_t* text;
    } cases[] = {
        {38, L" XML parsing error"},
        {VQX_DIRECTX_FAILED, L"DirectX filed"},
        {VQX_ENCODER_OPEN_FAILED, L"failed to open the the encoder"},
        {VQX_REPEAT, L"Repeat"},
        {52, L"codec not supported"},
        {VQX_INPUT_FULL, L"primitive have buffers full and cannot accept current input - come back later"},
        {53, L"VQX Error"},
        {-1, L"VQX Error"},
        {301, L"VQX Error"},
        {304, L"VQX Error"},
        {INT32_MIN, L"VQX Error"},
        {INT32_MAX, L"VQX Error"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.text, TextOf(c.code)) << c.code;
    EXPECT_EQ(18u, vqxGetErrorText(static_cast<VQX_ERROR>(38), nullptr, 0));
    EXPECT_EQ(9u, vqxGetErrorText(static_cast<VQX_ERROR>(-1), nullptr, 0));
}

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

// Two threads churn the count of a shared object, then each gives back one of its two references:
// the count stays exact and exactly one of them destroys the object.
TEST(InterfaceImpl, TwoThreadsKeepTheCountAndDestroyExactlyOnce) {
    for (int round = 0; round < 200; ++round) {
        g_destroyed = 0;
        TestWidget* widget = CreateInstance<TestWidget>();
        widget->Acquire();
        auto churnThenRelease = [widget] {
            for (int i = 0; i < 500; ++i) {
                widget->Acquire();
                widget->Release();
            }
            widget->Release();
        };
        std::thread a(churnThenRelease), b(churnThenRelease);
        a.join();
        b.join();
        ASSERT_EQ(1, g_destroyed) << "round " << round;
    }
}
