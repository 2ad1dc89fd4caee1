// Umbrella header of vqx.dll: everything a host uses.
#pragma once

#include <vqx/platform.h>
#include <vqx/error.h>
#include <vqx/interface.h>
