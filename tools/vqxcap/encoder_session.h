// One display encoder driven through its states; whatever was reached is undone in reverse order
// when the session ends (stop, destroy, release display, release the encoder).
// Ownership: holds the encoder's one reference. Thread rules: driven from one thread; Cancel may
// be called from any thread (it only sets the encoder's cancel flag).
#pragma once

#include <vqx/vqx.h>

#include <string>

namespace vqxcap {

// A failed step: which operation and what it returned.
struct StepFailure {
    std::wstring operation;
    vqx::VQX_ERROR code = vqx::VQX_OK;
};

class EncoderSession {
public:
    EncoderSession();
    ~EncoderSession();
    EncoderSession(const EncoderSession&) = delete;
    EncoderSession& operator=(const EncoderSession&) = delete;

    vqx::VQXEncoderKLTZEP* Encoder() const { return m_encoder.get(); }

    // Each raises the state by one; false with `failure` filled when the encoder refuses.
    bool AcquireDisplay(StepFailure& failure);
    bool CreateEncoder(StepFailure& failure);
    bool StartEncode(StepFailure& failure);

    // Undoes every state reached, in reverse order. Also done by the destructor.
    void TearDown();

    // Ends a waiting QueryOutput from another thread (Ctrl+C).
    void Cancel();

private:
    bool Step(vqx::VQX_ERROR result, const wchar_t* operation, int reached, StepFailure& failure);

    vqx::VQXPtr<vqx::VQXEncoderKLTZEP> m_encoder;
    int m_state = 0;  // 0 idle, 1 display acquired, 2 encoder created, 3 encoding
};

}  // namespace vqxcap
