// Applies --set NAME=VALUE assignments to the encoder. Some properties can be set only before the
// encoder is created, others only after; an assignment the encoder answers with "not initialized"
// before creation is kept and applied again once the encoder exists.
// Thread rules: main thread only.
#pragma once

#include "encoder_session.h"
#include "options.h"

#include <vector>

namespace vqxcap {

class PropertySettings {
public:
    explicit PropertySettings(std::vector<PropertyAssignment> assignments);

    // Before CreateEncoder: sets what can be set now, defers the rest.
    bool ApplyBeforeCreate(vqx::VQXEncoderKLTZEP& encoder, StepFailure& failure);
    // After CreateEncoder: sets what was deferred.
    bool ApplyAfterCreate(vqx::VQXEncoderKLTZEP& encoder, StepFailure& failure);

private:
    std::vector<PropertyAssignment> m_pending;
};

// Sets one property from its text; the encoder converts the text to the property's type.
vqx::VQX_ERROR SetPropertyFromText(vqx::VQXEncoderKLTZEP& encoder, const PropertyAssignment& assignment);

}  // namespace vqxcap
