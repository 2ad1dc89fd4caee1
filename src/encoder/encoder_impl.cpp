#include "encoder/encoder_impl.h"

#include "bindings/grx_error.h"

#include <algorithm>

namespace vqx {

VQXEncoderKLTZEPImpl::VQXEncoderKLTZEPImpl() {
    // The storage reads the property set's own description array; nothing is copied.
    RegisterProperties(m_properties.Infos(), m_properties.InfoCount());
}

VQXEncoderKLTZEPImpl::~VQXEncoderKLTZEPImpl() {
    LowerState(kEncoding);
    LowerState(kEncoderCreated);
    LowerState(kDisplayAcquired);
    m_videoEncoder.reset();
    m_display.reset();
}

VQXEncoderKLTZEPImpl::State VQXEncoderKLTZEPImpl::CurrentState() const {
    if (!m_display) return kIdle;
    if (!m_videoEncoder) return kDisplayAcquired;
    return m_videoEncoder->IsStarted() ? kEncoding : kEncoderCreated;
}

// --- state operations ---------------------------------------------------------------------------

VQX_ERROR VQX_CALL VQXEncoderKLTZEPImpl::AcquireDisplay() {
    return RaiseState(kDisplayAcquired);
}
VQX_ERROR VQX_CALL VQXEncoderKLTZEPImpl::CreateEncoder() {
    return RaiseState(kEncoderCreated);
}
VQX_ERROR VQX_CALL VQXEncoderKLTZEPImpl::StartEncode() {
    return RaiseState(kEncoding);
}
VQX_ERROR VQX_CALL VQXEncoderKLTZEPImpl::StopEncode() {
    return LowerState(kEncoding);
}
VQX_ERROR VQX_CALL VQXEncoderKLTZEPImpl::DestroyEncoder() {
    return LowerState(kEncoderCreated);
}
VQX_ERROR VQX_CALL VQXEncoderKLTZEPImpl::ReleaseDisplay() {
    return LowerState(kDisplayAcquired);
}

VQX_ERROR VQXEncoderKLTZEPImpl::RaiseState(State target) {
    try {
        const State current = CurrentState();
        if (current >= target) return VQX_ALREADY_INITIALIZED;
        if (current + 1 != target) return VQX_NOT_INITIALIZED;
        switch (current) {
            case kIdle:
                return AcquireStep();
            case kDisplayAcquired:
                return CreateStep();
            default:
                return StartStep();
        }
    } catch (const grx::grx_runtime_error&) {
        return VQX_ZEP_DISPLAY_FAILED;
    }
}

VQX_ERROR VQXEncoderKLTZEPImpl::LowerState(State source) {
    const State current = CurrentState();
    if (current < source) return VQX_ALREADY_INITIALIZED;
    if (current > source) return VQX_NOT_INITIALIZED;
    switch (current) {
        case kEncoding:
            m_videoEncoder->Stop();
            break;
        case kEncoderCreated:
            m_videoEncoder.reset();
            break;
        default:
            m_display.reset();
            break;
    }
    return VQX_OK;
}

VQX_ERROR VQXEncoderKLTZEPImpl::AcquireStep() {
    m_display = grx::AcquireRemoteDisplay(std::wstring());
    return m_display ? VQX_OK : VQX_ZEP_DISPLAY_FAILED;
}

VQX_ERROR VQXEncoderKLTZEPImpl::CreateStep() {
    // The properties set from the display timing, in table order.
    const grx::DisplayTiming timing = m_display->GetTargetTiming();
    for (const PropertySet::PropertyEntry& entry : m_properties.Entries()) {
        if (entry.timingField != nullptr) SetInternal(entry.name, VQXVariant::FromInt64(timing.*entry.timingField));
    }

    const VQX_ERROR created = VideoEncoder::Create(m_properties.CreateParams(), m_videoEncoder);
    if (created != VQX_OK) return created;
    // Run-time settings take their defaults, now derived from the display's format. Each default is
    // read when its turn comes: an earlier applier (the bitrate's) may have changed a later one.
    const VQXPropertyInfoImpl* infos = m_properties.Infos();
    for (const PropertySet::PropertyEntry& entry : m_properties.Entries()) {
        if (entry.accessMode != PropertySet::kModeAfterCreate) continue;
        const VQXVariant defaultValue(infos[entry.infoIndex].defaultValue);
        SetInternal(entry.name, defaultValue);
    }
    return VQX_OK;
}

VQX_ERROR VQXEncoderKLTZEPImpl::StartStep() {
    const VQX_ERROR pushed = PushConfig();
    if (pushed != VQX_OK) return pushed;
    m_properties.Config().changeMask = 0;
    return m_videoEncoder->Start();
}

VQX_ERROR VQXEncoderKLTZEPImpl::PushConfig() {
    return m_videoEncoder->SetConfig(m_properties.ConfigHeader(), m_properties.GetCustomParams());
}

// --- output -------------------------------------------------------------------------------------

VQX_ERROR VQX_CALL VQXEncoderKLTZEPImpl::QueryOutput(VQXZepBuffer** ppBuffer) {
    if (!IsEncoding()) return VQX_NOT_INITIALIZED;
    if (ppBuffer == nullptr) return VQX_NULL_POINTER;
    return m_videoEncoder->QueryOutputs(m_cancelQuery, ppBuffer);
}

VQX_ERROR VQX_CALL VQXEncoderKLTZEPImpl::CancelQueryOutput() {
    if (!IsEncoding()) return VQX_NOT_INITIALIZED;
    m_cancelQuery = true;
    return VQX_OK;
}

VQX_ERROR VQX_CALL VQXEncoderKLTZEPImpl::UpdateConfig() {
    if (!IsEncoding()) return VQX_NOT_INITIALIZED;
    const VQX_ERROR pushed = PushConfig();
    if (pushed != VQX_OK) return pushed;
    m_properties.Config().changeMask = 0;
    return VQX_OK;
}

// --- storage overrides --------------------------------------------------------------------------

void VQXEncoderKLTZEPImpl::SetInternal(const wchar_t* name, const VQXVARIANT& value) {
    SetValueInMap(name, value);
    OnPropertyChanged(name);
}

void VQX_CALL VQXEncoderKLTZEPImpl::OnPropertyChanged(const wchar_t* name) {
    VQXVariant value;
    if (VQXPropertyStorageExImpl::GetProperty(name, &value) != VQX_OK) return;
    m_properties.ApplyProperty(name, value, false);
    // The applier may have changed another property as well (its row names it): store its new value.
    const PropertySet::PropertyEntry* entry = m_properties.FindEntry(name);
    if (entry != nullptr && entry->followOn.name != nullptr) {
        SetInternal(entry->followOn.name, VQXVariant::FromInt64(entry->followOn.recordValue(m_properties)));
    }
}

VQX_ERROR VQX_CALL VQXEncoderKLTZEPImpl::ValidateProperty(const wchar_t* name, VQXVARIANT value,
                                                          VQXVARIANT* validated) {
    if (const PropertySet::PropertyEntry* entry = m_properties.FindEntry(name)) {
        switch (entry->accessMode) {
            case PropertySet::kModeDriver:
            case PropertySet::kModeNever:
                return VQX_ZEP_PROPERTY_READ_ONLY;
            case PropertySet::kModeBeforeCreate:
                if (HasVideoEncoder()) return VQX_WRONG_STATE;
                break;
            case PropertySet::kModeAfterCreate:
                if (!HasVideoEncoder()) return VQX_NOT_INITIALIZED;
                break;
            default:
                break;
        }
        if (!m_properties.IsPropertySupported(name)) return VQX_WRONG_STATE;
    }
    return VQXPropertyStorageExImpl::ValidateProperty(name, value, validated);
}

VQX_ERROR VQX_CALL VQXEncoderKLTZEPImpl::GetProperty(const wchar_t* name, VQXVARIANT* value) {
    if (const PropertySet::PropertyEntry* entry = m_properties.FindEntry(name)) {
        // The display timing is known only once the video encoder exists.
        if (entry->timingField != nullptr && !HasVideoEncoder()) return VQX_NOT_INITIALIZED;
        if (entry->capability) return ReadCapability(*entry->capability, value);
    }
    return VQXPropertyStorageExImpl::GetProperty(name, value);
}

VQX_ERROR VQXEncoderKLTZEPImpl::ReadCapability(uint32 capability, VQXVARIANT* value) {
    if (value == nullptr) return VQX_NULL_POINTER;
    zep::ZEPCaps caps{};
    caps.size = sizeof(caps);
    const uint32 handle = HasVideoEncoder() ? m_videoEncoder->Handle() : 0;
    const VQX_ERROR read = ReadServiceCaps(handle, caps);
    if (read != VQX_OK) return read;
    const uint32 count = std::min<uint32>(caps.count, 64);
    const bool supported = std::find(caps.values, caps.values + count, capability) != caps.values + count;
    value->type = VQX_VARIANT_BOOL;
    value->boolValue = supported;
    return VQX_OK;
}

VQX_ERROR VQX_CALL VQXEncoderKLTZEPImpl::Clear() {
    VQXPropertyStorageExImpl::Clear();
    m_properties.ApplyDefaults();
    if (HasVideoEncoder()) PushConfig();  // result ignored; the change mask stays
    return VQX_OK;
}

}  // namespace vqx
