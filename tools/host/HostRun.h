#pragma once
// korax-host's work, callable in-process: it loads the driver as a host runtime does, initialises it with
// a parameter block and a tag list, scans every DetectScanTime milliseconds for a time or until stopped,
// writes values, collects messages and the alarm event, and reports what it saw.
#include "common/ExitCodes.h"
#include "host/HostOptions.h"

namespace korax::tools::host {

// Done; BadInput for a file or value it cannot take, BadCommandLine for options that do not go together
// (nothing was run then); DriverFailed.
ExitCode RunHost(const HostOptions& options, const HostConsole& console);

} // namespace korax::tools::host
