// The process-wide binding of the display library ("grxapixx.dll", falling back to
// "grxapixy.dll"): created on first use, kept for the rest of the process, and torn down when
// this library is unloaded (GRX_Main_Control_Destroy, then the module is unloaded).
// Ownership: the binding owns the loaded module. Thread rules: binding is serialised by one
// lock, so two first users bind exactly once; once bound the entry points are only read.
#pragma once

#include "abi/grx_records.h"

#include <vqx/platform.h>

namespace grx::detail {

// The bound entry points, binding first if needed; null when the library could not be bound
// (a later call tries again). Failing to load either file is traced under "GRXFunctions".
const GRXFunctions* BindDisplayLibrary();

// The bound entry points without binding; null while unbound.
const GRXFunctions* BoundDisplayLibrary();

// What unload does: if bound, GRX_Main_Control_Destroy and unload the module. Tests call it to
// check the unload path; no remote display may be alive then.
void UnbindDisplayLibrary();

// The allocator handed to GRX_Main_Control_Create: the C heap's malloc of the count (0 bytes
// included); null for a negative count.
void* __stdcall AllocateForLibrary(vqx::int32 size);

}  // namespace grx::detail
