// The stand-in's process-wide state: the caller's allocator, the acquisitions, and the call
// recorder read by the test controls. Plain data, so nothing runs at load or unload.
// Ownership: one instance per process, reached only through StateAccess.
// Thread rules: StateAccess holds the one lock for its lifetime; every entry point takes it.
#pragma once

#include "abi/win32_resource.h"
#include "grxapixx_test.h"
#include "standin_model.h"

namespace standin {

struct Acquisition {
    bool acquired;
    int32_t handle;
    Mode edid_mode;        // preferred timing of the EDID presented at acquisition
    int32_t timing_calls;  // timing queries since the acquisition
};

struct State {
    AllocationCallback allocate;
    int32_t handles_issued;
    int32_t refusals;  // acquisitions refused on request since load or reset
    Acquisition acquisitions[kMaxAdapters];
    GRXTestRecord record;
    uint8_t last_acquire[GRXTEST_ACQUIRE_RECORD_SIZE];
    int32_t last_acquire_length;
};

class StateAccess {
public:
    StateAccess();
    StateAccess(const StateAccess&) = delete;
    StateAccess& operator=(const StateAccess&) = delete;
    State* operator->() const { return m_state; }
    State& operator*() const { return *m_state; }

private:
    win32::UniqueExclusiveLock m_lock;
    State* m_state;
};

// Drops every acquisition (Release_All, Destroy, test reset).
void ReleaseEverything(State& state);

// Appends a call to a log of GRXTEST_LOGGED_CALLS entries; returns the entry, or null when full.
GRXTestDisplayCall* LogDisplayCall(GRXTestDisplayCall* log, int32_t* used, int32_t adapter_index, const DisplayId& id,
                                   int32_t handle);

}  // namespace standin
