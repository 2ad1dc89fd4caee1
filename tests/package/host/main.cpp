// A host program built only from the installed package: headers, import library, vqx.dll.
#include <vqx/vqx.h>

#include <cstdio>
#include <cwchar>

namespace {

int Fail(const char* what) {
    std::printf("host failed: %s\n", what);
    return 1;
}

}  // namespace

int main() {
    wchar_t text[64];
    if (vqx::vqxGetErrorText(vqx::VQX_REPEAT, text, 64) != 6 || std::wcscmp(text, L"Repeat") != 0) {
        return Fail("vqxGetErrorText");
    }
    std::printf("host ok\n");
    return 0;
}
