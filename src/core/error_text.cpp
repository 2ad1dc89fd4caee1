// Result-code texts and their lookup.
#include <vqx/error.h>

#include <cwchar>

namespace vqx {
namespace {

constexpr uint32 kTextCount = 53;

const wchar_t* const kErrorTexts[kTextCount] = {
    L"No error",
    L"Failed",
    L"Invalid parameter",
    L"No memory",
    L"Not allocated",
    L"No interface",
    L"Not implemented",
    L"OpenCL failed",
    L"DirectX filed",
    L"Pipeline destroyed",
    L"Already initialized",
    L"Not initialized",
    L"Wrong state",
    L"Cannot open file",
    L"End of file",
    L"Codec not found",
    L"Repeat",
    L"parameter not found",
    L"NULL pointer",
    L"failed to create the direct3d object",
    L"failed to create the direct3d device",
    L"failed to create the RVX service",
    L"failed to create the encoder",
    L"failed to destroy the encoder",
    L"failed to open the the encoder",
    L"invalid resolution (width or height)",
    L"format not supported",
    L"failed to create the surface",
    L"failed to lock the rect on the texture surface",
    L"failed to execute RVX encode.",
    L"failed to call RVXReclaim",
    L"failed to set the config",
    L"failed to create the decoder",
    L"failed to create the kernels",
    L"failed to decode",
    L"required XML element is missing",
    L"required XML attribute is missing",
    L"save XML failed",
    L" XML parsing error",
    L"cannot read from file",
    L"Hardware acceleration service isn't supported",
    L"DirectX video service isn't supported",
    L"feature isn't supported on specific core",
    L"failed to connect to X server",
    L"failed to use Xv extension",
    L"primitive have buffers full and cannot accept current input - come back later",
    L"XML attribute has wrong value",
    L"data read from file cannot be parsed",
    L"failed to use ALSA",
    L"failed to use GLX",
    L"failed to open the decoder",
    L"stream type is not supported",
    L"codec not supported",
};

const wchar_t kUnknownText[] = L"VQX Error";

}  // namespace

extern "C" uint32 VQX_CALL vqxGetErrorText(VQX_ERROR code, wchar_t* buffer, uint32 bufferLength) {
    // Unsigned comparison: negative codes are undefined too.
    const uint32 index = static_cast<uint32>(code);
    const wchar_t* text = index < kTextCount ? kErrorTexts[index] : kUnknownText;
    const uint32 length = static_cast<uint32>(std::wcslen(text));
    // length + 1 cannot wrap: the longest text is far below 2^32 characters.
    if (buffer != nullptr && length + 1 <= bufferLength) {
        std::wmemcpy(buffer, text, length + 1);
    }
    return length;
}

}  // namespace vqx
