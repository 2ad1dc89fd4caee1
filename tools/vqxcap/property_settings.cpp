#include "property_settings.h"

namespace vqxcap {
namespace {

StepFailure Refused(const PropertyAssignment& assignment, vqx::VQX_ERROR code) {
    return StepFailure{L"setting \"" + assignment.name + L"\" to \"" + assignment.value + L"\"", code};
}

}  // namespace

vqx::VQX_ERROR SetPropertyFromText(vqx::VQXEncoderKLTZEP& encoder, const PropertyAssignment& assignment) {
    const vqx::VQXVariant value = vqx::VQXVariant::FromWString(assignment.value.c_str());
    return encoder.SetProperty(assignment.name.c_str(), value);
}

PropertySettings::PropertySettings(std::vector<PropertyAssignment> assignments) : m_pending(std::move(assignments)) {}

bool PropertySettings::ApplyBeforeCreate(vqx::VQXEncoderKLTZEP& encoder, StepFailure& failure) {
    std::vector<PropertyAssignment> deferred;
    for (const PropertyAssignment& assignment : m_pending) {
        const vqx::VQX_ERROR result = SetPropertyFromText(encoder, assignment);
        if (result == vqx::VQX_NOT_INITIALIZED) {
            deferred.push_back(assignment);  // settable only once the encoder exists
        } else if (result != vqx::VQX_OK) {
            failure = Refused(assignment, result);
            return false;
        }
    }
    m_pending = std::move(deferred);
    return true;
}

bool PropertySettings::ApplyAfterCreate(vqx::VQXEncoderKLTZEP& encoder, StepFailure& failure) {
    for (const PropertyAssignment& assignment : m_pending) {
        const vqx::VQX_ERROR result = SetPropertyFromText(encoder, assignment);
        if (result != vqx::VQX_OK) {
            failure = Refused(assignment, result);
            return false;
        }
    }
    m_pending.clear();
    return true;
}

}  // namespace vqxcap
