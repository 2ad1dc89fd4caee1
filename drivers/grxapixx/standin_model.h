// The simulated hardware: adapters (count and name from the settings) and on each one three
// displays, of which only the last can be acquired as a remote display.
// Ownership: none; fills caller buffers. Thread rules: pure apart from reading the settings.
#pragma once

#include "abi/grx_records.h"

#include <cstdint>

namespace standin {

// The records as vqx.dll reads them: one description (abi/grx_records.h) for both sides.
using grx::AllocationCallback;
using grx::DisplayId;
using grx::ReadInt32;
using grx::WriteInt16;
using grx::WriteInt32;
namespace layout = grx::layout;

// A display mode as the timing record carries it: 16-bit fields, pixel clock in 10 kHz units.
struct Mode {
    int16_t width;
    int16_t height;
    int16_t htotal;
    int16_t vtotal;
    int16_t pixel_clock;
};

constexpr int kMaxAdapters = 4;
constexpr int kDisplaysPerAdapter = 3;
// Kind values of the displays on every adapter, in array order.
constexpr int32_t kDisplayKinds[kDisplaysPerAdapter] = {16, 19, layout::kRemoteDisplayKind};
constexpr int kRemoteDisplayPosition = 2;

// GRXAPIXX_ADAPTERS, default 1, held to 0..kMaxAdapters.
int AdapterCount();

// Adapter positions 0.. carry adapter indices 1.. (the index is what the entry points take).
int32_t AdapterIndexAt(int position);
// The position of an adapter index among the current adapters, or -1.
int AdapterPositionOf(int32_t adapter_index);

void FillAdapterRecord(int position, uint8_t* record);
void FillDisplayRecord(int adapter_position, int display_position, uint8_t* record);
DisplayId DisplayIdAt(int adapter_position, int display_position);
// The position of the display with this id on the adapter, or -1.
int DisplayPositionOf(int adapter_position, const DisplayId& id);

}  // namespace standin
