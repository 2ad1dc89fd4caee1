// Worker threads with a cooperative stop protocol: VQXThread (derive and supply Run) and its
// implementation object VQXThreadObj.
// Ownership: a VQXThread owns its VQXThreadObj; the destructor neither stops nor waits for the
// thread, so call RequestStop and WaitForStop before destroying an object whose thread may run.
// Thread rules: Start, RequestStop, WaitForStop and the destructor belong to the owning thread;
// StopRequested is polled by the body on the worker thread.
//
// Ordering between owner and worker: one critical section of the thread object guards the
// handle and the stop event's transitions. Start holds it while it starts the thread and stores
// the handle, and the worker takes it to clear the handle and release a pending stop request, so
// a body that ends at once still leaves the object Idle, and a stop request is either seen by the
// worker (which then sets the event) or finds the handle cleared (and does nothing): WaitForStop
// cannot be left waiting. WaitForStop takes the lock once more after its wait, so when it returns
// the worker has let go of the object, which may then be destroyed.
// When Init returns false the worker goes the same way out (handle cleared, pending request
// released) without Run and Terminate. A body that calls vqx::ExitThread skips all of that: the
// object stays marked Running and a WaitForStop after a RequestStop would wait for ever.
#pragma once

#include <vqx/platform.h>
#include <vqx/sync.h>

#include <cstdint>
#include <memory>

namespace vqx {

class VQXThreadObj;

class VQX_CLASS_API VQXThread {
public:
    VQXThread();
    virtual ~VQXThread();
    VQXThread(const VQXThread&) = delete;
    VQXThread& operator=(const VQXThread&) = delete;

    // Starts the worker; true also when it is already running.
    virtual bool Start();
    // Asks the body to end (it polls StopRequested); true.
    virtual bool RequestStop();
    // Waits without limit until a requested stop has completed; true at once when idle or when
    // no stop was requested.
    virtual bool WaitForStop();
    // True while a stop request is pending.
    virtual bool StopRequested();

protected:
    friend class VQXThreadObj;
    virtual void Run() = 0;
    virtual bool Init();       // true unless overridden; false ends the thread before Run
    virtual bool Terminate();  // called after Run; result ignored

private:
    std::unique_ptr<VQXThreadObj> m_thread;
};

class VQX_CLASS_API VQXThreadObj {
public:
    explicit VQXThreadObj(VQXThread* owner);
    virtual ~VQXThreadObj();
    VQXThreadObj(const VQXThreadObj&) = delete;
    VQXThreadObj& operator=(const VQXThreadObj&) = delete;

    virtual bool Start();
    virtual bool RequestStop();
    virtual bool WaitForStop();
    virtual bool StopRequested();

protected:
    virtual void Run();
    virtual bool Init();
    virtual bool Terminate();
    static void VQXThreadProc(void* object);

private:
    static constexpr std::uintptr_t kNoThread = ~std::uintptr_t{0};

    bool IsRunning();
    // Worker side: handle cleared and a pending stop request released, under the lock.
    void FinishOnWorker();

    VQXThread* m_owner;
    std::uintptr_t m_thread = kNoThread;  // _beginthread's value; kNoThread while idle
    VQXEvent m_stopEvent;                 // manual reset; signalled while no stop is pending
    VQXCriticalSection m_stateLock;       // orders owner and worker around m_thread
};

// Ends the calling thread at once (_endthread); the steps after Run in the worker do not happen.
VQX_CLASS_API void VQX_CALL ExitThread();

}  // namespace vqx
