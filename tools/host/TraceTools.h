#pragma once
// What korax-host does with the driver's port trace: decodes a recorded trace with a parameter block and
// sums it up per board (--decode), sets the driver up to record one (--trace), and prepares and judges a
// replay of one on the port I/O library stand-in (--replay).
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/ExitCodes.h"
#include "common/Result.h"
#include "config/DevicePDB.h"
#include "host/HostOptions.h"
#include "sim/TraceReplay.h"

namespace korax::tools::host {

// The block a trace is read with: the file, or the factory block when the path is empty.
Result<config::DevicePDB> TraceBlock(const std::string& path);

// The trace read whole (<path>.1, then <path>), or the file, line and reason it cannot be.
Result<sim::Trace> LoadTrace(const std::string& path);

// Each record as it stands, the port accesses with the meaning the block gives them (UTF-8).
std::vector<std::string> DecodedLines(const sim::Trace& trace, const config::DevicePDB& block);

// Per board of the block: accesses per register, AD status reads that were not ready, counters loaded
// and read; then the accesses to ports no board of the block holds.
std::vector<std::string> TraceSummary(const sim::Trace& trace, const config::DevicePDB& block);

// korax-host --decode: Done, or BadInput for a trace or block it cannot read.
ExitCode RunDecode(const HostOptions& options, const HostConsole& console);

// The settings file that makes the driver record its trace to a file, in the form the driver reads.
std::string TraceSettingsText(const std::string& traceFile);

// What the host tells of a finished replay; Diverged names both lines and the requests around them.
// actualTrace: the driver's own trace of the replay run (its request lines name the tags on the driver's
// side), when there is one.
std::vector<std::string> ReplayVerdict(const sim::Trace& recorded, const sim::ReplayPlan& plan,
                                       const sim::ReplayReport& report, const config::DevicePDB& block,
                                       const std::optional<sim::Trace>& actualTrace);

} // namespace korax::tools::host
