// Entry points of the stand-in that set the library up and describe the adapters and displays.
#include "standin_settings.h"
#include "standin_state.h"

#include <windows.h>

#include <type_traits>

using namespace standin;

namespace {

// The non-zero result that a GRXAPIXX_FAIL_* variable asks for, or 0.
int32_t RequestedFailure(const char* name) {
    return IntSettingOr(name, 0);
}

}  // namespace

extern "C" {

// GRXAPIXX_CREATE_DELAY=ms holds the caller that long before anything is counted, so that a
// test can make two first users arrive while one of them is binding.
int32_t __cdecl GRX_Main_Control_Create(AllocationCallback allocate, int32_t version) {
    const int32_t delay = RequestedFailure("GRXAPIXX_CREATE_DELAY");
    if (delay > 0) Sleep(static_cast<DWORD>(delay));
    StateAccess state;
    ++state->record.create_calls;
    state->record.create_version = version;
    if (const int32_t failure = RequestedFailure("GRXAPIXX_FAIL_CREATE")) return failure;
    if (allocate == nullptr || version != 1) return GRXAPIXX_E_BAD_ARGUMENT;
    state->allocate = allocate;
    state->record.created = 1;
    return GRXAPIXX_OK;
}

int32_t __cdecl GRX_Main_Control_Destroy() {
    StateAccess state;
    ++state->record.destroy_calls;
    state->record.created = 0;
    state->allocate = nullptr;
    ReleaseEverything(*state);
    return GRXAPIXX_OK;
}

int32_t __cdecl GRX_Adapter_NumberOfAdapters_Get(int32_t* count) {
    StateAccess state;
    ++state->record.adapter_count_calls;
    if (!state->record.created) return GRXAPIXX_E_NOT_CREATED;
    if (count == nullptr) return GRXAPIXX_E_BAD_ARGUMENT;
    if (const int32_t failure = RequestedFailure("GRXAPIXX_FAIL_ADAPTER_COUNT")) return failure;
    *count = AdapterCount();
    return GRXAPIXX_OK;
}

// The array must hold at least one record per adapter, each with a zero first word.
int32_t __cdecl GRX_Adapter_AdapterInfo_Get(uint8_t* records, int32_t byte_size) {
    StateAccess state;
    ++state->record.adapter_info_calls;
    state->record.adapter_info_size = byte_size;
    if (!state->record.created) return GRXAPIXX_E_NOT_CREATED;
    if (const int32_t failure = RequestedFailure("GRXAPIXX_FAIL_ADAPTER_INFO")) return failure;
    const int count = AdapterCount();
    if (records == nullptr || byte_size < 0 || byte_size % layout::kAdapterRecordSize != 0 ||
        byte_size / layout::kAdapterRecordSize < count) {
        return GRXAPIXX_E_BAD_ARGUMENT;
    }
    for (int position = 0; position < count; ++position) {
        if (ReadInt32(records + position * layout::kAdapterRecordSize, 0) != 0) return GRXAPIXX_E_BAD_ARGUMENT;
    }
    for (int position = 0; position < count; ++position) {
        FillAdapterRecord(position, records + position * layout::kAdapterRecordSize);
    }
    return GRXAPIXX_OK;
}

// The display array is allocated through the caller's allocator; the caller frees it.
int32_t __cdecl GRX_Display_DisplayInfo_Get(int32_t adapter_index, int32_t* count, uint8_t** records, int32_t flags) {
    StateAccess state;
    ++state->record.display_info_calls;
    state->record.display_info_flags = flags;
    if (!state->record.created) return GRXAPIXX_E_NOT_CREATED;
    if (count == nullptr || records == nullptr || flags != 0) return GRXAPIXX_E_BAD_ARGUMENT;
    const int adapter = AdapterPositionOf(adapter_index);
    if (adapter < 0) return GRXAPIXX_E_NO_SUCH_ADAPTER;
    if (adapter == 0) {
        if (const int32_t failure = RequestedFailure("GRXAPIXX_FAIL_DISPLAY_INFO")) return failure;
    }
    auto* array = static_cast<uint8_t*>(state->allocate(kDisplaysPerAdapter * layout::kDisplayRecordSize));
    if (array == nullptr) return GRXAPIXX_E_BAD_ARGUMENT;
    for (int display = 0; display < kDisplaysPerAdapter; ++display) {
        FillDisplayRecord(adapter, display, array + display * layout::kDisplayRecordSize);
    }
    *records = array;
    *count = kDisplaysPerAdapter;
    return GRXAPIXX_OK;
}

}  // extern "C"

// Each entry point has the type vqx.dll binds it with (abi/grx_records.h).
static_assert(std::is_same_v<decltype(&GRX_Main_Control_Create), grx::MainControlCreateFn>);
static_assert(std::is_same_v<decltype(&GRX_Main_Control_Destroy), grx::MainControlDestroyFn>);
static_assert(std::is_same_v<decltype(&GRX_Adapter_NumberOfAdapters_Get), grx::AdapterCountGetFn>);
static_assert(std::is_same_v<decltype(&GRX_Adapter_AdapterInfo_Get), grx::AdapterInfoGetFn>);
static_assert(std::is_same_v<decltype(&GRX_Display_DisplayInfo_Get), grx::DisplayInfoGetFn>);
