// Two upper-case hexadecimal digits of a byte, as printf's "%02X" writes an unsigned byte.
// Thread rules: pure, callable from any thread.
#pragma once

#include <vqx/strings.h>

namespace vqx::hex {

inline void AppendByte(vqx_string& out, unsigned char byte) {
    static const char kDigits[] = "0123456789ABCDEF";
    out.push_back(kDigits[byte >> 4]);
    out.push_back(kDigits[byte & 0x0F]);
}

}  // namespace vqx::hex
