// Entry points of the stand-in that acquire, time and release the remote display.
#include "abi/win32_resource.h"
#include "standin_edid.h"
#include "standin_settings.h"
#include "standin_state.h"

#include <windows.h>

#include <type_traits>

using namespace standin;

namespace {

constexpr int32_t kFirstHandle = 0x4000;

struct Target {
    int adapter;  // position
    int display;  // position
    int32_t result;
};

Target FindTarget(int32_t adapter_index, const DisplayId& id) {
    const int adapter = AdapterPositionOf(adapter_index);
    if (adapter < 0) return {-1, -1, GRXAPIXX_E_NO_SUCH_ADAPTER};
    const int display = DisplayPositionOf(adapter, id);
    if (display < 0) return {adapter, -1, GRXAPIXX_E_NO_SUCH_DISPLAY};
    return {adapter, display, GRXAPIXX_OK};
}

void KeepAcquireRecord(State& state, const uint8_t* record) {
    if (ReadInt32(record, 0) == layout::kAcquireRecordSize) {
        std::memcpy(state.last_acquire, record, layout::kAcquireRecordSize);
        state.last_acquire_length = layout::kAcquireRecordSize;
    } else {
        std::memcpy(state.last_acquire, record, sizeof(int32_t));
        state.last_acquire_length = sizeof(int32_t);
    }
}

// GRXAPIXX_REFUSE_ACQUIRE=k refuses the next k acquisitions ("all" or -1: every one).
bool RefuseOnRequest(State& state) {
    const int32_t refusals = IntSettingOr("GRXAPIXX_REFUSE_ACQUIRE", 0);
    if (refusals < 0 || state.refusals < refusals) {
        ++state.refusals;
        return true;
    }
    return false;
}

int32_t Acquire(State& state, const Target& target, const uint8_t* record, int32_t* handle) {
    if (target.result != GRXAPIXX_OK) return target.result;
    if (RefuseOnRequest(state)) return GRXAPIXX_E_REFUSED;
    if (kDisplayKinds[target.display] != layout::kRemoteDisplayKind) return GRXAPIXX_E_NOT_REMOTE;
    Acquisition& acquisition = state.acquisitions[target.adapter];
    if (acquisition.acquired) return GRXAPIXX_E_BUSY;
    Mode mode{};
    if (!IsAcceptableAcquireRecord(record) || !ReadPreferredMode(record + layout::kAcquireEdidOffset, &mode)) {
        return GRXAPIXX_E_BAD_RECORD;
    }
    acquisition = Acquisition{true, kFirstHandle + ++state.handles_issued, mode, 0};
    ++state.record.acquired_now;
    *handle = acquisition.handle;
    return GRXAPIXX_OK;
}

// GRXAPIXX_PROBE_MUTEX names a mutex whose presence each release call records.
int32_t ProbeMutex() {
    char name[260];
    if (!ReadTextSetting("GRXAPIXX_PROBE_MUTEX", name, sizeof name)) return -1;
    const win32::UniqueHandle mutex(OpenMutexA(SYNCHRONIZE, FALSE, name));
    return mutex ? 1 : 0;
}

int32_t RefreshMillihertz(const Mode& mode) {
    const long long frame = static_cast<long long>(mode.htotal) * mode.vtotal;
    const long long rate = frame > 0 ? static_cast<long long>(mode.pixel_clock) * 10000 * 1000 / frame : 0;
    return rate > 0 && rate <= 0x7FFFFFFF ? static_cast<int32_t>(rate) : 1;
}

void WriteTiming(uint8_t* record, const Mode& mode) {
    WriteInt32(record, layout::kTimingPresentOffset, 1);
    WriteInt32(record, layout::kTimingRefreshOffset, RefreshMillihertz(mode));
    WriteInt32(record, layout::kTimingScanOffset, 1);
    WriteInt16(record, layout::kTimingHTotalOffset, mode.htotal);
    WriteInt16(record, layout::kTimingWidthOffset, mode.width);
    WriteInt16(record, layout::kTimingVTotalOffset, mode.vtotal);
    WriteInt16(record, layout::kTimingHeightOffset, mode.height);
    WriteInt16(record, layout::kTimingPixelClockOffset, mode.pixel_clock);
}

// An unusable answer: GRXAPIXX_UNUSABLE_RESULT if non-zero, else a record whose usability field
// GRXAPIXX_UNUSABLE_FIELD (8, 12 or 16; default all three) is zero.
int32_t WriteUnusableTiming(uint8_t* record, const Mode& mode) {
    if (const int32_t result = IntSettingOr("GRXAPIXX_UNUSABLE_RESULT", 0)) return result;
    WriteTiming(record, mode);
    const int32_t field = IntSettingOr("GRXAPIXX_UNUSABLE_FIELD", 0);
    for (const int offset : layout::kTimingUsableFieldOffsets) {
        if (field == 0 || field == offset) WriteInt32(record, offset, 0);
    }
    return GRXAPIXX_OK;
}

}  // namespace

extern "C" {

int32_t __cdecl GRX_RemoteDisplay_Display_Acquire(int32_t adapter_index, DisplayId id, uint8_t* record,
                                                  int32_t* handle) {
    StateAccess state;
    ++state->record.acquire_calls;
    GRXTestDisplayCall* entry =
        LogDisplayCall(state->record.acquires, &state->record.logged_acquires, adapter_index, id, 0);
    int32_t result = GRXAPIXX_E_NOT_CREATED;
    if (state->record.created) {
        result = GRXAPIXX_E_BAD_ARGUMENT;
        if (record != nullptr && handle != nullptr) {
            KeepAcquireRecord(*state, record);
            result = Acquire(*state, FindTarget(adapter_index, id), record, handle);
        }
    }
    if (entry != nullptr) {
        entry->result = result;
        entry->handle = result == GRXAPIXX_OK ? *handle : 0;
    }
    return result;
}

int32_t __cdecl GRX_RemoteDisplay_Display_Release(int32_t adapter_index, DisplayId id, int32_t handle) {
    StateAccess state;
    ++state->record.release_calls;
    state->record.probe_at_last_release = ProbeMutex();
    GRXTestDisplayCall* entry =
        LogDisplayCall(state->record.releases, &state->record.logged_releases, adapter_index, id, handle);
    int32_t result = GRXAPIXX_E_NOT_CREATED;
    if (state->record.created) {
        const Target target = FindTarget(adapter_index, id);
        result = target.result;
        if (result == GRXAPIXX_OK) {
            Acquisition& acquisition = state->acquisitions[target.adapter];
            if (target.display == kRemoteDisplayPosition && acquisition.acquired && acquisition.handle == handle) {
                acquisition = Acquisition{};
                --state->record.acquired_now;
            } else {
                result = GRXAPIXX_E_NOT_ACQUIRED;
            }
        }
    }
    if (entry != nullptr) entry->result = result;
    return result;
}

int32_t __cdecl GRX_RemoteDisplay_Display_Release_All() {
    StateAccess state;
    ++state->record.release_all_calls;
    if (!state->record.created) return GRXAPIXX_E_NOT_CREATED;
    if (const int32_t failure = IntSettingOr("GRXAPIXX_FAIL_RELEASE_ALL", 0)) return failure;
    ReleaseEverything(*state);
    return GRXAPIXX_OK;
}

// Answers from GRXAPIXX_MODE when set, else from the EDID presented at acquisition.
int32_t __cdecl GRX_Display_TargetTiming_Get(int32_t adapter_index, DisplayId id, uint8_t* record) {
    StateAccess state;
    ++state->record.timing_calls;
    if (!state->record.created) return GRXAPIXX_E_NOT_CREATED;
    if (record == nullptr) return GRXAPIXX_E_BAD_ARGUMENT;
    const Target target = FindTarget(adapter_index, id);
    if (target.result != GRXAPIXX_OK) return target.result;
    Acquisition& acquisition = state->acquisitions[target.adapter];
    if (target.display != kRemoteDisplayPosition || !acquisition.acquired) return GRXAPIXX_E_NOT_ACQUIRED;
    Mode mode = acquisition.edid_mode;
    ReadChosenMode(&mode);
    const int32_t unusable = IntSettingOr("GRXAPIXX_UNUSABLE_TIMING", 0);
    if (unusable < 0 || ++acquisition.timing_calls <= unusable) return WriteUnusableTiming(record, mode);
    WriteTiming(record, mode);
    return GRXAPIXX_OK;
}

}  // extern "C"

// Each entry point has the type vqx.dll binds it with (abi/grx_records.h).
static_assert(std::is_same_v<decltype(&GRX_RemoteDisplay_Display_Acquire), grx::DisplayAcquireFn>);
static_assert(std::is_same_v<decltype(&GRX_RemoteDisplay_Display_Release), grx::DisplayReleaseFn>);
static_assert(std::is_same_v<decltype(&GRX_RemoteDisplay_Display_Release_All), grx::DisplayReleaseAllFn>);
static_assert(std::is_same_v<decltype(&GRX_Display_TargetTiming_Get), grx::TargetTimingGetFn>);
