#include "error_report.h"

#include <vqx/encoder.h>

#include <vector>

namespace vqxcap {
namespace {

const wchar_t* EncoderCodeName(vqx::VQX_ERROR code) {
    switch (static_cast<int32_t>(code)) {
        case vqx::VQX_ZEP_PROPERTY_READ_ONLY:
            return L"VQX_ZEP_PROPERTY_READ_ONLY";
        case vqx::VQX_ZEP_DISPLAY_FAILED:
            return L"VQX_ZEP_DISPLAY_FAILED";
        case vqx::VQX_ZEP_START_FAILED:
            return L"VQX_ZEP_START_FAILED";
        case vqx::VQX_ZEP_QUERY_FAILED:
            return L"VQX_ZEP_QUERY_FAILED";
        default:
            return nullptr;
    }
}

std::wstring LibraryText(vqx::VQX_ERROR code) {
    const vqx::uint32 length = vqx::vqxGetErrorText(code, nullptr, 0);
    std::vector<wchar_t> text(length + 1);
    vqx::vqxGetErrorText(code, text.data(), static_cast<vqx::uint32>(text.size()));
    return std::wstring(text.data(), length);
}

}  // namespace

std::wstring DescribeResult(vqx::VQX_ERROR code) {
    const wchar_t* name = EncoderCodeName(code);
    const std::wstring text = LibraryText(code);
    return name ? std::wstring(name) + L" (" + text + L")" : text;
}

std::wstring FailureMessage(const std::wstring& operation, vqx::VQX_ERROR code) {
    return L"vqxcap: " + operation + L" failed: error " + std::to_wstring(static_cast<int32_t>(code)) + L" " +
           DescribeResult(code);
}

}  // namespace vqxcap
