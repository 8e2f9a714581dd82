#pragma once
#include "config/DevicePDB.h"

namespace korax::driver {

// One device test run on the calling thread: the device is initialised through the driver's IniDriver
// entry with a one-tag probe list, and the outcome decides what the user is told. Always false: no
// interactive test exists in this system. The caller frees the thread's driver object afterwards.
bool RunDeviceTest(const config::DevicePDB& hostBlock);

} // namespace korax::driver
