// Checks of the acquire record and the EDID it carries, and the reading of the EDID's preferred
// detailed timing. Ownership: none (reads caller buffers). Thread rules: pure functions.
#pragma once

#include "standin_model.h"

namespace standin {

// True when the record says 1032 bytes and 256 EDID bytes, and the EDID has the fixed header,
// one extension block, and both 128-byte blocks sum to 0 modulo 256.
bool IsAcceptableAcquireRecord(const uint8_t* record);

// The preferred mode: the first detailed timing descriptor (bytes 54..71). False when that
// descriptor holds no timing (pixel clock 0).
bool ReadPreferredMode(const uint8_t* edid, Mode* mode);

}  // namespace standin
