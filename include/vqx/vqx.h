// Umbrella header of vqx.dll: everything a host uses.
#pragma once

#include <vqx/platform.h>
#include <vqx/error.h>
#include <vqx/interface.h>
#include <vqx/memory.h>
#include <vqx/strings.h>
#include <vqx/variant.h>
#include <vqx/sync.h>
#include <vqx/thread.h>
#include <vqx/trace.h>
#include <vqx/paths.h>
#include <vqx/property_storage.h>
#include <vqx/property_storage_ex.h>
#include <vqx/encoder.h>
