// A host program built only from the installed package: headers, import library, vqx.dll, and the
// stand-in drivers installed beside it. It walks the encoder through its states and pulls a few
// outputs, as a real host would.
#include <vqx/vqx.h>

#include <cstdio>
#include <cwchar>

namespace {

int Fail(const char* what, vqx::VQX_ERROR code = vqx::VQX_OK) {
    std::printf("host failed: %s (%d)\n", what, static_cast<int>(code));
    return 1;
}

}  // namespace

int main() {
    using namespace vqx;
    wchar_t text[64];
    if (vqxGetErrorText(VQX_REPEAT, text, 64) != 6 || std::wcscmp(text, L"Repeat") != 0) {
        return Fail("vqxGetErrorText");
    }

    VQXPtr<VQXEncoderKLTZEP> encoder;
    VQXCreateEncoderKLTZEP(encoder.put());
    if (!encoder) return Fail("VQXCreateEncoderKLTZEP");
    VQXPtr<VQXPropertyStorageEx> storage;
    if (encoder->QueryInterface(L"\"VQXPropertyStorageEx\"", storage.put_void()) != VQX_OK) {
        return Fail("QueryInterface");
    }
    VQXVariant bitrate;
    if (storage->GetProperty(L"Bitrate", &bitrate) != VQX_OK || bitrate.ToInt64() != 2000000) {
        return Fail("default Bitrate");
    }

    VQX_ERROR result = encoder->AcquireDisplay();
    if (result != VQX_OK) return Fail("AcquireDisplay", result);
    if ((result = encoder->CreateEncoder()) != VQX_OK) return Fail("CreateEncoder", result);
    if ((result = encoder->StartEncode()) != VQX_OK) return Fail("StartEncode", result);
    unsigned outputs = 0, bytes = 0;
    for (int attempt = 0; attempt < 100 && outputs < 5; ++attempt) {
        VQXPtr<VQXZepBuffer> buffer;
        result = encoder->QueryOutput(buffer.put());
        if (result == VQX_REPEAT) continue;
        if (result != VQX_OK) return Fail("QueryOutput", result);
        ++outputs;
        bytes += buffer->GetSize();
    }
    if (outputs < 5 || bytes == 0) return Fail("no output");
    encoder->StopEncode();
    encoder->DestroyEncoder();
    encoder->ReleaseDisplay();
    std::printf("host ok: %u outputs, %u bytes\n", outputs, bytes);
    return 0;
}
