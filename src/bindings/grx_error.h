// The exception every failure of the display-library binding surfaces as; the encoder turns it
// into a result code. Ownership: value type. Thread rules: none.
#pragma once

#include <vqx/platform.h>
#include <stdexcept>

namespace grx {

// code: the non-zero result of the library call that failed, or kBindingFailure (-1) when the
// failure is the binding's own (library not loadable, nothing found, no usable timing).
class grx_runtime_error : public std::runtime_error {
public:
    explicit grx_runtime_error(vqx::int32 failure_code) : std::runtime_error("GRX error occured"), code(failure_code) {}

    vqx::int32 code;
};

constexpr vqx::int32 kBindingFailure = -1;

}  // namespace grx
