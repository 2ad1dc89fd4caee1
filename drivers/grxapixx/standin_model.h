// The simulated hardware: adapters (count and name from the settings) and on each one three
// displays, of which only the last can be acquired as a remote display.
// Ownership: none; fills caller buffers. Thread rules: pure apart from reading the settings.
#pragma once

#include "standin_layout.h"

namespace standin {

constexpr int kMaxAdapters = 4;
constexpr int kDisplaysPerAdapter = 3;
// Kind values of the displays on every adapter, in array order.
constexpr std::int32_t kDisplayKinds[kDisplaysPerAdapter] = {16, 19, kRemoteDisplayKind};
constexpr int kRemoteDisplayPosition = 2;

// GRXAPIXX_ADAPTERS, default 1, held to 0..kMaxAdapters.
int AdapterCount();

// Adapter positions 0.. carry adapter indices 1.. (the index is what the entry points take).
std::int32_t AdapterIndexAt(int position);
// The position of an adapter index among the current adapters, or -1.
int AdapterPositionOf(std::int32_t adapter_index);

void FillAdapterRecord(int position, std::uint8_t* record);
void FillDisplayRecord(int adapter_position, int display_position, std::uint8_t* record);
DisplayId DisplayIdAt(int adapter_position, int display_position);
// The position of the display with this id on the adapter, or -1.
int DisplayPositionOf(int adapter_position, const DisplayId& id);

}  // namespace standin
