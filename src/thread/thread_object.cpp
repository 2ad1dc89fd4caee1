#include <vqx/thread.h>

#include <process.h>

namespace vqx {

VQXThreadObj::VQXThreadObj(VQXThread* owner)
    : m_owner(owner), m_stopEvent(/*initially_signalled=*/true, /*manual_reset=*/true, nullptr) {}

VQXThreadObj::~VQXThreadObj() = default;

bool VQXThreadObj::IsRunning() {
    VQXLock guard(&m_stateLock, VQX_INFINITE);
    return m_thread != kNoThread;
}

// The handle is stored before the worker can clear it: the worker needs the same lock for that.
bool VQXThreadObj::Start() {
    VQXLock guard(&m_stateLock, VQX_INFINITE);
    if (m_thread != kNoThread) return true;
    m_thread = _beginthread(&VQXThreadObj::VQXThreadProc, 0, this);
    return m_thread != kNoThread;
}

bool VQXThreadObj::RequestStop() {
    VQXLock guard(&m_stateLock, VQX_INFINITE);
    if (m_thread != kNoThread) m_stopEvent.ResetEvent();
    return true;
}

bool VQXThreadObj::WaitForStop() {
    if (!IsRunning()) return true;
    const bool stopped = m_stopEvent.Lock(VQX_INFINITE);
    // Wait until the worker has left FinishOnWorker, after which it no longer touches the object.
    VQXLock barrier(&m_stateLock, VQX_INFINITE);
    return stopped;
}

bool VQXThreadObj::StopRequested() {
    return !m_stopEvent.Lock(0);
}

void VQXThreadObj::Run() {
    m_owner->Run();
}
bool VQXThreadObj::Init() {
    return m_owner->Init();
}
bool VQXThreadObj::Terminate() {
    return m_owner->Terminate();
}

void VQXThreadObj::FinishOnWorker() {
    VQXLock guard(&m_stateLock, VQX_INFINITE);
    m_thread = kNoThread;
    if (StopRequested()) m_stopEvent.SetEvent();
}

void VQXThreadObj::VQXThreadProc(void* object) {
    auto* self = static_cast<VQXThreadObj*>(object);
    if (self->Init()) {
        self->Run();
        self->Terminate();
    }
    self->FinishOnWorker();
}

}  // namespace vqx
