// The GRXTest_ exports: reset and read the call recorder (declared in grxapixx_test.h).
#include "standin_state.h"

#include <algorithm>

using namespace standin;

extern "C" {

void __cdecl GRXTest_Reset() {
    StateAccess state;
    ReleaseEverything(*state);
    const int32_t created = state->record.created;
    state->record = GRXTestRecord{};
    state->record.created = created;
    state->record.probe_at_last_release = -1;
    state->refusals = 0;
    state->last_acquire_length = 0;
}

int32_t __cdecl GRXTest_GetRecord(GRXTestRecord* out, int32_t size) {
    StateAccess state;
    if (out != nullptr && size > 0) {
        std::memcpy(out, &state->record, std::min<std::size_t>(static_cast<std::size_t>(size), sizeof(GRXTestRecord)));
    }
    return sizeof(GRXTestRecord);
}

int32_t __cdecl GRXTest_GetLastAcquireRecord(uint8_t* out, int32_t size) {
    StateAccess state;
    if (out != nullptr && size > 0) {
        std::memcpy(out, state->last_acquire, std::min(size, state->last_acquire_length));
    }
    return state->last_acquire_length;
}

int32_t __cdecl GRXTest_GetDisplayRecord(int32_t adapter_position, int32_t display_position, uint8_t* out,
                                         int32_t size) {
    if (out == nullptr || size < layout::kDisplayRecordSize) return 0;
    if (adapter_position < 0 || adapter_position >= AdapterCount()) return 0;
    if (display_position < 0 || display_position >= kDisplaysPerAdapter) return 0;
    FillDisplayRecord(adapter_position, display_position, out);
    return layout::kDisplayRecordSize;
}

}  // extern "C"
