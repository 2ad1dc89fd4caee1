#include "standin_state.h"

#include <windows.h>

namespace standin {
namespace {

State g_state;                        // zero-initialised
SRWLOCK g_state_lock = SRWLOCK_INIT;  // needs no constructor or destructor

}  // namespace

StateAccess::StateAccess() : m_lock(win32::AcquireExclusive(g_state_lock)), m_state(&g_state) {}

void ReleaseEverything(State& state) {
    for (Acquisition& acquisition : state.acquisitions)
        acquisition = Acquisition{};
    state.record.acquired_now = 0;
}

GRXTestDisplayCall* LogDisplayCall(GRXTestDisplayCall* log, int32_t* used, int32_t adapter_index, const DisplayId& id,
                                   int32_t handle) {
    if (*used >= GRXTEST_LOGGED_CALLS) return nullptr;
    GRXTestDisplayCall* entry = &log[(*used)++];
    entry->adapter_index = adapter_index;
    std::memcpy(entry->display_id, id.words, sizeof entry->display_id);
    entry->handle = handle;
    entry->result = 0;
    return entry;
}

}  // namespace standin
