// The exported factory of the display encoder.
#include "encoder/encoder_impl.h"

namespace vqx {

// A null ppEncoder creates nothing.
extern "C" void VQX_CALL VQXCreateEncoderKLTZEP(VQXEncoderKLTZEP** ppEncoder) {
    if (ppEncoder == nullptr) return;
    // The new object carries the one reference handed to the caller.
    VQXEncoderKLTZEP* encoder = CreateInstance<VQXEncoderKLTZEPImpl>();
    *ppEncoder = encoder;
}

}  // namespace vqx
