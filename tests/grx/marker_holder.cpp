// Second process of the marker-mutex tests.
//   grx_marker_holder hold <mutex>    creates the named mutex and keeps it until ended (at most
//                                     two minutes)
//   grx_marker_holder probe <mutex>   exit code 1 when a mutex of that name exists, 0 when not
#include <windows.h>

#include <cstring>

int main(int argc, char** argv) {
    if (argc != 3) return 3;
    if (std::strcmp(argv[1], "hold") == 0) {
        if (CreateMutexA(nullptr, TRUE, argv[2]) == nullptr) return 2;
        Sleep(120000);
        return 0;
    }
    const HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, argv[2]);
    if (mutex == nullptr) return 0;
    CloseHandle(mutex);
    return 1;
}
