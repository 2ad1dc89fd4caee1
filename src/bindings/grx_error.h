// The exception every failure of the display-library binding surfaces as; the encoder turns it
// into a result code. Ownership: value type. Thread rules: none.
#pragma once

#include <cstdint>
#include <stdexcept>

namespace grx {

// code: the non-zero result of the library call that failed, or kBindingFailure (-1) when the
// failure is the binding's own (library not loadable, nothing found, no usable timing).
class grx_runtime_error : public std::runtime_error {
public:
    explicit grx_runtime_error(std::int32_t failure_code)
        : std::runtime_error("GRX error occured"), code(failure_code) {}

    std::int32_t code;
};

constexpr std::int32_t kBindingFailure = -1;

}  // namespace grx
