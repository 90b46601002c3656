// The automation errors the Downloader members pass to their callers.
#pragma once

#include "common/automation/automation_arg.h"

namespace wex {

// "Object variable or With block variable not set": what a script meets when
// it calls a member after another object of the process unloaded the shared
// engine.
constexpr hresult kObjectNotSet = static_cast<hresult>(0x800A005B);

// Not enough memory to build a result (a body too large to hand out as text).
constexpr hresult kOutOfMemory = static_cast<hresult>(0x8007000E);

}  // namespace wex
