#pragma once
// What korax-host is asked to do, and the console it does it on.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Console.h"
#include "common/Result.h"

namespace korax::tools::host {

// A value written to a tag by name, AtMs milliseconds into the scan.
struct ScheduledWrite {
    std::string Name;
    std::string Value;
    std::uint32_t AtMs = 0;
};

// Several values written in one WriteTags call, AtMs milliseconds into the scan.
struct NamedValue {
    std::string Name;
    std::string Value;
};
struct ScheduledWriteSet {
    std::vector<NamedValue> Values;
    std::uint32_t AtMs = 0;
};

// Tags whose reads are forced in one ReadTags call.
struct ScheduledRead {
    std::vector<std::string> Names;
    std::uint32_t AtMs = 0;
};

// A second tag list registered through AddTags while scanning.
struct ScheduledAddition {
    std::string Path;
    std::uint32_t AtMs = 0;
};

// Logging switched on or off through WriteLog.
struct ScheduledLog {
    bool Enable = false;
    std::uint32_t AtMs = 0;
};

// Each option's text, optionally ending in "@SECONDS" (that far into the scan; at once without it), or
// the reason it is not one:
//   --write       NAME=VALUE
//   --write-tags  NAME=VALUE,NAME=VALUE...
//   --read        NAME,NAME...
//   --add-tags    FILE
//   --log         on|off
Result<ScheduledWrite> ParseWriteOption(std::string_view text);
Result<ScheduledWriteSet> ParseWriteSetOption(std::string_view text);
Result<ScheduledRead> ParseReadOption(std::string_view text);
Result<ScheduledAddition> ParseAdditionOption(std::string_view text);
Result<ScheduledLog> ParseLogOption(std::string_view text);

// A name or value as a person typed it, without the spaces and tabs around it.
std::string Trimmed(std::string_view text);

struct HostOptions {
    std::string DriverName;     // empty: korax24.dll (libkorax24.so natively), found as a host finds it
    std::string BlockPath;      // empty: the driver's factory block (FullPDB)
    std::string TagPath;        // empty: no scan
    std::string ScenarioPath;   // board simulator scenario for the port I/O library stand-in
    std::string TracePath;      // the driver records its port trace here (korax24.ini through KORAX24_INI)
    std::string ReplayPath;     // a recorded trace the port I/O library stand-in answers from
    std::string DecodePath;     // a recorded trace to decode with the block; nothing else is run
    double DurationSeconds = 0; // 0: until stopped
    std::vector<ScheduledWrite> Writes;       // OnDataWrite, one value each
    std::vector<ScheduledWriteSet> WriteSets; // WriteTags
    std::vector<ScheduledRead> Reads;         // ReadTags
    std::vector<ScheduledAddition> Additions; // AddTags
    std::vector<ScheduledLog> LogSwitches;    // WriteLog
    bool ListTagTypes = false;                // GetTags and GetTagAddrList
    std::vector<std::string> CheckAddresses;  // TagEdAddr on each, before anything else
    bool Test = false;                        // DLLTestDev
    bool Edit = false;                        // DLLEdDev, saving the block when accepted
    bool Live = false;                        // a table redrawn in place instead of one line per change
    bool TakesInput = false;                  // lines typed while it runs are read
};

// Where the host's text goes and where typed lines come from. Text is UTF-8 and ends in '\n'.
struct HostConsole {
    std::function<void(std::string_view)> Write;
    std::function<void(std::string_view)> WriteError;     // errors that stop the host; Write when unset
    std::function<std::optional<std::string>()> ReadLine; // a line typed meanwhile, if any
    std::function<bool()> StopRequested;
    std::function<std::optional<TerminalSize>()> Size;
};

} // namespace korax::tools::host
