// Reads what a container needs to know about the stream from the created encoder: its size, its
// frame rate and whether outputs come split over two buffers.
// Thread rules: main thread only, once the encoder is created.
#pragma once

#include "encoder_session.h"
#include "stream_sink.h"

namespace vqxcap {

// False with `failure` filled when a property cannot be read.
bool ReadStreamFormat(vqx::VQXEncoderKLTZEP& encoder, StreamFormat& format, StepFailure& failure);

}  // namespace vqxcap
