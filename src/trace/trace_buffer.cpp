// vqxTraceBuffer: a hexadecimal dump of bytes as one message.
#include <vqx/trace.h>

#include "trace/trace_core.h"

#include <algorithm>
#include <string>
#include <wchar.h>

namespace {

constexpr size_t kLineCapacity = 2000;  // characters of one dump line, terminator included
constexpr vqx::uint32 kBytesPerLine = 16;

// One line: each byte as "0x%02X, ", each entry bounded by the room left in the line buffer.
std::wstring DumpLine(const vqx::uint8* bytes, vqx::uint32 count) {
    wchar_t line[kLineCapacity] = {};
    size_t used = 0;
    for (vqx::uint32 i = 0; i < count; ++i) {
        const size_t room = kLineCapacity - 1 - used;
        const int written = _snwprintf(line + used, room, L"0x%02X, ", bytes[i]);
        if (written < 0) break;
        used += static_cast<size_t>(written);
    }
    return std::wstring(line, used);
}

}  // namespace

extern "C" void VQX_CALL vqxTraceBuffer(vqx::int32 level, const wchar_t* facility, const vqx::uint8* data,
                                        vqx::uint32 size) {
    std::wstring message = L"\r\n";
    vqx::uint32 remaining = data != nullptr ? size : 0;
    for (const vqx::uint8* bytes = data; remaining > 0;) {
        const vqx::uint32 count = std::min(remaining, kBytesPerLine);
        message += DumpLine(bytes, count);
        message += L"\r\n";
        bytes += count;
        remaining -= count;
    }
    vqx::detail::TraceDispatch(level, facility, message.c_str());
}
