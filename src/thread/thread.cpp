#include <vqx/thread.h>

#include <process.h>

namespace vqx {

VQXThread::VQXThread() : m_thread(std::make_unique<VQXThreadObj>(this)) {}

VQXThread::~VQXThread() = default;

bool VQXThread::Start() {
    return m_thread->Start();
}
bool VQXThread::RequestStop() {
    return m_thread->RequestStop();
}
bool VQXThread::WaitForStop() {
    return m_thread->WaitForStop();
}
bool VQXThread::StopRequested() {
    return m_thread->StopRequested();
}
bool VQXThread::Init() {
    return true;
}
bool VQXThread::Terminate() {
    return true;
}

void VQX_CALL ExitThread() {
    _endthread();
}

}  // namespace vqx
