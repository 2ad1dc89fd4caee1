#include "encoder_session.h"

namespace vqxcap {

EncoderSession::EncoderSession() {
    vqx::VQXCreateEncoderKLTZEP(m_encoder.put());
}

EncoderSession::~EncoderSession() {
    TearDown();
}

bool EncoderSession::Step(vqx::VQX_ERROR result, const wchar_t* operation, int reached, StepFailure& failure) {
    if (result != vqx::VQX_OK) {
        failure = StepFailure{operation, result};
        return false;
    }
    m_state = reached;
    return true;
}

bool EncoderSession::AcquireDisplay(StepFailure& failure) {
    return Step(m_encoder->AcquireDisplay(), L"AcquireDisplay", 1, failure);
}

bool EncoderSession::CreateEncoder(StepFailure& failure) {
    return Step(m_encoder->CreateEncoder(), L"CreateEncoder", 2, failure);
}

bool EncoderSession::StartEncode(StepFailure& failure) {
    return Step(m_encoder->StartEncode(), L"StartEncode", 3, failure);
}

void EncoderSession::TearDown() {
    if (!m_encoder) return;
    if (m_state >= 3) m_encoder->StopEncode();
    if (m_state >= 2) m_encoder->DestroyEncoder();
    if (m_state >= 1) m_encoder->ReleaseDisplay();
    m_state = 0;
}

void EncoderSession::Cancel() {
    if (m_encoder) m_encoder->CancelQueryOutput();
}

}  // namespace vqxcap
