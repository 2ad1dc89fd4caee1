#include <vqx/vqx.h>

#include <gtest/gtest.h>

#include <string>

using namespace vqx;

namespace {
std::wstring TextOf(int32 code) {
    const uint32 length = vqxGetErrorText(static_cast<VQX_ERROR>(code), nullptr, 0);
    std::wstring text(length + 1, L'#');
    EXPECT_EQ(length, vqxGetErrorText(static_cast<VQX_ERROR>(code), text.data(), length + 1));
    text.resize(length);
    return text;
}
}  // namespace

TEST(ErrorText, NullBufferOnlyMeasures) {
    EXPECT_EQ(8u, vqxGetErrorText(VQX_OK, nullptr, 0));
    EXPECT_EQ(8u, vqxGetErrorText(VQX_OK, nullptr, 100));
}

TEST(ErrorText, BufferMustHoldTheTerminator) {
    wchar_t buffer[16];
    std::fill(std::begin(buffer), std::end(buffer), L'#');
    EXPECT_EQ(8u, vqxGetErrorText(VQX_OK, buffer, 8));
    EXPECT_EQ(L'#', buffer[0]) << "a buffer without room for the NUL gets nothing";
    EXPECT_EQ(8u, vqxGetErrorText(VQX_OK, buffer, 9));
    EXPECT_EQ(std::wstring(L"No error"), buffer);
    EXPECT_EQ(L'#', buffer[9]) << "nothing written past the NUL";
}

TEST(ErrorText, UndefinedCodesIncludingNegativeReadVqxError) {
    for (int32 code : {53, -1, 301, 304, INT32_MIN, INT32_MAX}) {
        EXPECT_EQ(L"VQX Error", TextOf(code)) << code;
    }
    EXPECT_EQ(9u, vqxGetErrorText(static_cast<VQX_ERROR>(-1), nullptr, 0));
}

TEST(ErrorText, TextsKeepTheirOddities) {
    EXPECT_EQ(L" XML parsing error", TextOf(38));
    EXPECT_EQ(18u, TextOf(38).size());
    EXPECT_EQ(L"DirectX filed", TextOf(VQX_DIRECTX_FAILED));
    EXPECT_EQ(L"failed to open the the encoder", TextOf(VQX_ENCODER_OPEN_FAILED));
    EXPECT_EQ(L"Repeat", TextOf(VQX_REPEAT));
    EXPECT_EQ(L"codec not supported", TextOf(52));
    EXPECT_EQ(L"primitive have buffers full and cannot accept current input - come back later",
              TextOf(VQX_INPUT_FULL));
}
