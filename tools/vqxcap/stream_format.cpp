#include "stream_format.h"

namespace vqxcap {
namespace {

constexpr int64_t kSplitOutputType = 1;  // "Output Type" 1: each output comes as two buffers

bool ReadInteger(vqx::VQXEncoderKLTZEP& encoder, const wchar_t* name, int64_t& value, StepFailure& failure) {
    vqx::VQXVariant variant;
    const vqx::VQX_ERROR result = encoder.GetProperty(name, &variant);
    if (result != vqx::VQX_OK) {
        failure = StepFailure{L"reading \"" + std::wstring(name) + L"\"", result};
        return false;
    }
    value = variant.ToInt64();
    return true;
}

}  // namespace

bool ReadStreamFormat(vqx::VQXEncoderKLTZEP& encoder, StreamFormat& format, StepFailure& failure) {
    int64_t width = 0, height = 0, outputType = 0;
    Fraction rate;
    if (!ReadInteger(encoder, L"Width", width, failure) || !ReadInteger(encoder, L"Height", height, failure) ||
        !ReadInteger(encoder, L"FPS Numerator", rate.num, failure) ||
        !ReadInteger(encoder, L"FPS Denominator", rate.den, failure) ||
        !ReadInteger(encoder, L"Output Type", outputType, failure)) {
        return false;
    }
    if (rate.num <= 0 || rate.den <= 0) {
        failure = StepFailure{L"reading the frame rate", vqx::VQX_INVALID_PARAMETER};
        return false;
    }
    format.width = static_cast<int>(width);
    format.height = static_cast<int>(height);
    format.frameRate = Reduced(rate);
    format.splitOutputs = outputType == kSplitOutputType;
    return true;
}

}  // namespace vqxcap
