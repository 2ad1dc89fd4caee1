// Settings of the stand-in, read from the process environment at every call so that a test can
// change them in-process (SetEnvironmentVariable) and a user can set them for a whole run.
// Ownership: none. Thread rules: any thread (the environment block has its own lock).
#pragma once

#include "standin_model.h"

#include <cstddef>

namespace standin {

// The integer in the variable (decimal, or hexadecimal with 0x; "all" reads as -1).
// False when the variable is absent, empty or not a number.
bool ReadIntSetting(const char* name, int32_t* value);
int32_t IntSettingOr(const char* name, int32_t fallback);

// The variable's 8-bit text, NUL-terminated and cut to size - 1 bytes. False when absent or empty.
bool ReadTextSetting(const char* name, char* buffer, std::size_t size);

// The mode chosen with GRXAPIXX_MODE. False when the EDID's preferred timing applies (variable
// absent, empty, "edid", or not understood; the last is reported with OutputDebugString).
bool ReadChosenMode(Mode* mode);

}  // namespace standin
