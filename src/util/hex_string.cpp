// Bytes to hexadecimal text and back.
#include <vqx/strings.h>

#include "util/crt_stdio.h"
#include "util/hex_digits.h"

namespace vqx {
namespace {

// One pair read with the runtime's "%2X" (blanks skipped, a sign accepted, one digit enough);
// a pair that does not scan gives 0.
unsigned char ScanHexPair(char first, char second) {
    const char pair[3] = {first, second, '\0'};
    unsigned int value = 0;
    vqx_crt_sscanf(pair, "%2X", &value);
    return static_cast<unsigned char>(value & 0xFF);
}

}  // namespace

extern "C" {

vqx_string VQX_CALL vqx_from_string_to_hex_string(const vqx_string& bytes) {
    vqx_string hex;
    hex.reserve(bytes.size() * 2);
    for (const char byte : bytes)
        hex::AppendByte(hex, static_cast<unsigned char>(byte));
    return hex;
}

// Odd lengths: the last pair is the final digit and the terminator.
vqx_string VQX_CALL vqx_from_hex_string_to_string(const vqx_string& hex) {
    vqx_string bytes;
    bytes.reserve(hex.size() / 2 + 1);
    for (size_t position = 0; position < hex.size(); position += 2) {
        const char second = position + 1 < hex.size() ? hex[position + 1] : '\0';
        bytes.push_back(static_cast<char>(ScanHexPair(hex[position], second)));
    }
    return bytes;
}

}  // extern "C"
}  // namespace vqx
