// Result codes of every fallible operation and their texts.
// Thread rules: vqxGetErrorText reads a constant table and may be called from any thread.
#pragma once

#include <vqx/platform.h>

namespace vqx {

// Signed 32-bit result. 0 is success; 1 to 52 have fixed texts; every other value (for example
// a component's own codes above 52) reads "VQX Error".
enum VQX_ERROR : int32 {
    VQX_OK = 0,
    VQX_FAIL = 1,
    VQX_INVALID_PARAMETER = 2,
    VQX_NO_MEMORY = 3,
    VQX_NOT_ALLOCATED = 4,
    VQX_NO_INTERFACE = 5,
    VQX_NOT_IMPLEMENTED = 6,
    VQX_OPENCL_FAILED = 7,
    VQX_DIRECTX_FAILED = 8,
    VQX_PIPELINE_DESTROYED = 9,
    VQX_ALREADY_INITIALIZED = 10,
    VQX_NOT_INITIALIZED = 11,
    VQX_WRONG_STATE = 12,
    VQX_FILE_NOT_OPEN = 13,
    VQX_EOF = 14,
    VQX_CODEC_NOT_FOUND = 15,
    VQX_REPEAT = 16,
    VQX_PARAMETER_NOT_FOUND = 17,
    VQX_NULL_POINTER = 18,
    VQX_DIRECT3D_CREATE_FAILED = 19,
    VQX_DIRECT3D_DEVICE_FAILED = 20,
    VQX_RVX_SERVICE_FAILED = 21,
    VQX_ENCODER_CREATE_FAILED = 22,
    VQX_ENCODER_DESTROY_FAILED = 23,
    VQX_ENCODER_OPEN_FAILED = 24,
    VQX_INVALID_RESOLUTION = 25,
    VQX_FORMAT_NOT_SUPPORTED = 26,
    VQX_SURFACE_CREATE_FAILED = 27,
    VQX_SURFACE_LOCK_FAILED = 28,
    VQX_RVX_ENCODE_FAILED = 29,
    VQX_RVX_RECLAIM_FAILED = 30,
    VQX_SET_CONFIG_FAILED = 31,
    VQX_DECODER_CREATE_FAILED = 32,
    VQX_KERNELS_CREATE_FAILED = 33,
    VQX_DECODE_FAILED = 34,
    VQX_XML_ELEMENT_MISSING = 35,
    VQX_XML_ATTRIBUTE_MISSING = 36,
    VQX_XML_WRITE_FAILED = 37,
    VQX_XML_PARSE_ERROR = 38,
    VQX_FILE_READ_FAILED = 39,
    VQX_HW_ACCEL_NOT_SUPPORTED = 40,
    VQX_DIRECTX_VIDEO_NOT_SUPPORTED = 41,
    VQX_FEATURE_NOT_SUPPORTED_ON_CORE = 42,
    VQX_X_SERVER_CONNECT_FAILED = 43,
    VQX_XV_FAILED = 44,
    VQX_INPUT_FULL = 45,
    VQX_XML_ATTRIBUTE_WRONG_VALUE = 46,
    VQX_FILE_PARSE_FAILED = 47,
    VQX_ALSA_FAILED = 48,
    VQX_GLX_FAILED = 49,
    VQX_DECODER_OPEN_FAILED = 50,
    VQX_STREAM_TYPE_NOT_SUPPORTED = 51,
    VQX_CODEC_NOT_SUPPORTED = 52,
};

extern "C" {
// Length of the text of `code` in characters (without NUL). Copies the text with its NUL into
// `buffer` only when buffer is not null and length + 1 <= bufferLength; otherwise writes nothing.
VQX_API uint32 VQX_CALL vqxGetErrorText(VQX_ERROR code, wchar_t* buffer, uint32 bufferLength);
}

}  // namespace vqx
