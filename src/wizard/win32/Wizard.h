#pragma once
// The configuration wizard on real windows: what DLLEdDev runs on Win32.
#include <cstdint>

#include "config/DevicePDB.h"

namespace korax::wizard::win32 {

// Runs the wizard's pages as modal dialogs owned by `ownerWindow` (the host's window handle), on the calling
// thread, and answers 1 (accepted) or 2, as the portable flow decides.
std::int32_t EditDevice(void* ownerWindow, config::DevicePDB* hostBlock);

} // namespace korax::wizard::win32
