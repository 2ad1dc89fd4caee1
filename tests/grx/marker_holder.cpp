// Second process for the marker-mutex tests.
//   grx_marker_holder hold <mutex> <ready-event> <exit-event>
//       creates the named mutex, signals the ready event, and keeps the mutex until the exit event
//       is signalled (at most two minutes).
//   grx_marker_holder probe <mutex>
//       exit code 1 when a mutex of that name exists, 0 when not.
#include <windows.h>

#include <cstring>

namespace {

int Hold(const char* mutex_name, const char* ready_name, const char* exit_name) {
    const HANDLE mutex = CreateMutexA(nullptr, TRUE, mutex_name);
    const HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, ready_name);
    const HANDLE exit = OpenEventA(SYNCHRONIZE, FALSE, exit_name);
    if (mutex == nullptr || ready == nullptr || exit == nullptr) return 2;
    SetEvent(ready);
    WaitForSingleObject(exit, 120000);
    CloseHandle(exit);
    CloseHandle(ready);
    CloseHandle(mutex);
    return 0;
}

int Probe(const char* mutex_name) {
    const HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, mutex_name);
    if (mutex == nullptr) return 0;
    CloseHandle(mutex);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "hold") == 0) return Hold(argv[2], argv[3], argv[4]);
    if (argc == 3 && std::strcmp(argv[1], "probe") == 0) return Probe(argv[2]);
    return 3;
}
