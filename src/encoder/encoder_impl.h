// The display encoder component: a validated property storage over the encoder's property set,
// the four-state machine (state derived from what it holds, never stored), and the output query.
// Ownership: owns the property set, the acquired remote display and the video encoder (shared
// pointers); reference-counted, the last Release undoes every state in reverse order.
// Thread rules: one driving thread; CancelQueryOutput may come from another thread while
// QueryOutput waits (the cancel flag is atomic).
// Choices: QueryOutput with a null ppBuffer in state 3 answers VQX_NULL_POINTER; a capability
// property read with a null value pointer answers VQX_NULL_POINTER (otherwise the previous content
// of *value is overwritten without being cleared); a capability count above 64 is bounded to 64.
#pragma once

#include "bindings/grx_remote_display.h"
#include "encoder/property_set.h"
#include "encoder/video_encoder.h"

#include <vqx/encoder.h>

#include <atomic>
#include <memory>

namespace vqx {

class VQXEncoderKLTZEPImpl : public VQXPropertyStorageExImpl_T<VQXInterfaceImpl<VQXEncoderKLTZEP>> {
public:
    VQXEncoderKLTZEPImpl();
    ~VQXEncoderKLTZEPImpl() override;

    VQX_ERROR VQX_CALL AcquireDisplay() override;
    VQX_ERROR VQX_CALL CreateEncoder() override;
    VQX_ERROR VQX_CALL StartEncode() override;
    VQX_ERROR VQX_CALL StopEncode() override;
    VQX_ERROR VQX_CALL DestroyEncoder() override;
    VQX_ERROR VQX_CALL ReleaseDisplay() override;
    VQX_ERROR VQX_CALL QueryOutput(VQXZepBuffer** ppBuffer) override;
    VQX_ERROR VQX_CALL CancelQueryOutput() override;
    VQX_ERROR VQX_CALL UpdateConfig() override;

    VQX_ERROR VQX_CALL GetProperty(const wchar_t* name, VQXVARIANT* value) override;
    VQX_ERROR VQX_CALL Clear() override;
    VQX_ERROR VQX_CALL ValidateProperty(const wchar_t* name, VQXVARIANT value, VQXVARIANT* validated) override;
    void VQX_CALL OnPropertyChanged(const wchar_t* name) override;

private:
    enum State : int { kIdle = 0, kDisplayAcquired = 1, kEncoderCreated = 2, kEncoding = 3 };

    State CurrentState() const;
    bool HasVideoEncoder() const { return m_display && m_videoEncoder; }
    bool IsEncoding() const { return CurrentState() == kEncoding; }

    VQX_ERROR RaiseState(State target);
    VQX_ERROR LowerState(State source);
    VQX_ERROR AcquireStep();
    VQX_ERROR CreateStep();
    VQX_ERROR StartStep();

    // Pushes the configuration record; VQX_OK, or VQX_DECODER_CREATE_FAILED when the service refuses.
    VQX_ERROR PushConfig();
    // Stores without validation and runs OnPropertyChanged; listeners hear nothing.
    void SetInternal(const wchar_t* name, const VQXVARIANT& value);
    VQX_ERROR ReadCapability(uint32 capability, VQXVARIANT* value);

    PropertySet m_properties;
    std::shared_ptr<grx::RemoteDisplay> m_display;
    std::shared_ptr<VideoEncoder> m_videoEncoder;
    std::atomic<bool> m_cancelQuery{false};
};

}  // namespace vqx
