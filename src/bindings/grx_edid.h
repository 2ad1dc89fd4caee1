// The built-in EDID (a virtual wireless monitor: VESA E-EDID 1.3 base block plus one CEA-861
// extension, preferred timing 1920x1080 at 60 Hz) and the acquire record that presents it.
// Ownership: values. Thread rules: constant data, pure function.
#pragma once

#include "abi/grx_records.h"

#include <vqx/platform.h>

#include <array>
#include <cstddef>

namespace grx {

constexpr std::size_t kEdidSize = layout::kAcquireEdidSize;
extern const std::array<vqx::uint8, kEdidSize> kBuiltInEdid;

using AcquireRecord = std::array<vqx::uint8, layout::kAcquireRecordSize>;

// Size 1032, EDID length 256, the EDID, 256 zero bytes, 512 bytes 0xFF.
AcquireRecord BuildAcquireRecord();

}  // namespace grx
