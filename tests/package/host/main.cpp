// The package test's host: the sample of README.md ("Building a host"), which run_package_test.cmake
// requires here word for word, and a main that checks what it captures and that a std::bad_alloc
// thrown inside vqx.dll reaches this program's catch (shared GCC runtime on both sides).
#include <windows.h>

#include <cwchar>
#include <vector>

#include <vqx/vqx.h>

#include <cstdio>
#include <new>

using namespace vqx;

// Queries the encoder `queries` times and writes the outputs it hands out into `file`; returns
// how many it wrote. (The sample leaves the results of the other operations unchecked.)
int Capture(std::FILE* file, int queries) {
    VQXPtr<VQXEncoderKLTZEP> encoder;
    VQXCreateEncoderKLTZEP(encoder.put());                       // one reference, released by VQXPtr
    encoder->SetProperty(L"Usage", VQXVariant::FromInt64(1));    // before CreateEncoder
    encoder->AcquireDisplay();
    encoder->CreateEncoder();                                    // reads the display's timing
    encoder->SetProperty(L"Bitrate", VQXVariant::FromInt64(8000000));  // after CreateEncoder
    encoder->StartEncode();
    int outputs = 0;
    for (int i = 0; i < queries; ++i) {
        VQXPtr<VQXZepBuffer> buffer;
        VQX_ERROR r = encoder->QueryOutput(buffer.put());        // VQX_REPEAT: nothing came in time
        if (r != VQX_OK) continue;
        void* bytes; buffer->GetMemory(&bytes);
        fwrite(bytes, 1, buffer->GetSize(), file);               // bytes stay valid while held
        ++outputs;
    }
    encoder->StopEncode(); encoder->DestroyEncoder(); encoder->ReleaseDisplay();
    return outputs;
}

namespace {

int Fail(const char* what) {
    std::printf("host failed: %s\n", what);
    return 1;
}

// Reserves, without committing, every free stretch of the address space that holds `size` bytes, so
// that no allocation of that size can succeed while this object lives.
class AddressSpaceReservation {
public:
    explicit AddressSpaceReservation(size_t size) {
        m_blocks.reserve(size_t{0xFFFFFFFFu} / size + 1);  // no allocation of its own while reserving
        for (size_t chunk = size_t{1} << 30; chunk >= size; chunk /= 2) {
            while (void* const block = VirtualAlloc(nullptr, chunk, MEM_RESERVE, PAGE_NOACCESS)) {
                m_blocks.push_back(block);
            }
        }
    }
    ~AddressSpaceReservation() {
        for (void* const block : m_blocks) VirtualFree(block, 0, MEM_RELEASE);
    }
    AddressSpaceReservation(const AddressSpaceReservation&) = delete;
    AddressSpaceReservation& operator=(const AddressSpaceReservation&) = delete;

private:
    std::vector<void*> m_blocks;
};

// True when vqx_from_string_to_hex_string, whose result needs more memory in one piece than the
// address space has left, lets the allocator's std::bad_alloc out of vqx.dll into this catch.
bool CatchesOutOfMemoryFromTheLibrary() {
    const vqx_string bytes(16u << 20, 'x');  // 16 MiB, whose hexadecimal text needs 32 MiB
    const AddressSpaceReservation reservation(bytes.size() * 2);
    try {
        const vqx_string hex = vqx_from_string_to_hex_string(bytes);
        std::printf("no exception: %u hexadecimal digits\n", static_cast<unsigned>(hex.size()));
        return false;
    } catch (const std::bad_alloc&) {
        return true;
    }
}

// What the host has always checked before capturing: error texts, interfaces by identifier, defaults.
bool LibraryAnswers() {
    wchar_t text[64];
    if (vqxGetErrorText(VQX_REPEAT, text, 64) != 6 || std::wcscmp(text, L"Repeat") != 0) return false;
    VQXPtr<VQXEncoderKLTZEP> encoder;
    VQXCreateEncoderKLTZEP(encoder.put());
    VQXPtr<VQXPropertyStorageEx> storage;
    if (!encoder || encoder->QueryInterface(L"\"VQXPropertyStorageEx\"", storage.put_void()) != VQX_OK) return false;
    VQXVariant bitrate;
    return storage->GetProperty(L"Bitrate", &bitrate) == VQX_OK && bitrate.ToInt64() == 2000000;
}

}  // namespace

int main() {
    if (!LibraryAnswers()) return Fail("error text, QueryInterface or default Bitrate");
    std::FILE* const file = std::fopen("capture.h264", "wb");
    if (file == nullptr) return Fail("cannot write capture.h264");
    const int outputs = Capture(file, 100);
    const long bytes = std::ftell(file);
    std::fclose(file);
    if (outputs < 5 || bytes <= 0) return Fail("fewer than 5 outputs captured");
    if (!CatchesOutOfMemoryFromTheLibrary()) return Fail("no std::bad_alloc from vqx.dll");
    std::printf("host ok: %d outputs, %ld bytes; caught std::bad_alloc thrown inside vqx.dll\n", outputs, bytes);
    return 0;
}
