#pragma once
// The exit codes of korax-host and korax-pdb: one table, one meaning per code, shown by both tools'
// --help. Scripts that run the tools rely on these numbers; never reuse one for something else.
#include <array>
#include <string>
#include <string_view>

namespace korax::tools {

enum class ExitCode : int {
    Done = 0,           // everything asked was done (--help included)
    BadInput = 1,       // a file or a value the tool cannot take; nothing was run or written
    BadCommandLine = 2, // a command line the tool does not understand; nothing was run or written
    DriverFailed = 3,   // the driver could not be loaded or refused to initialise (korax-host)
    ReplayDiverged = 4, // korax-host --replay: the driver's port accesses differ from the recorded ones
};

struct ExitCodeRow {
    ExitCode Code;
    std::string_view Meaning;
};

inline constexpr std::array<ExitCodeRow, 5> ExitCodeTable = {{
    {ExitCode::Done, "done"},
    {ExitCode::BadInput, "a file or value it cannot take; nothing was run or written"},
    {ExitCode::BadCommandLine, "a command line it does not understand; nothing was run or written"},
    {ExitCode::DriverFailed, "korax-host: the driver could not be loaded or refused to initialise"},
    {ExitCode::ReplayDiverged,
     "korax-host --replay: the driver's port accesses differ from the recorded trace"},
}};

// What a process returns for a code.
constexpr int ProcessExitCode(ExitCode code) {
    return static_cast<int>(code);
}

// The table as --help ends with it.
inline std::string ExitCodesHelp() {
    std::string text = "Exit codes:";
    for (const ExitCodeRow& row : ExitCodeTable) {
        text += "\n  " + std::to_string(ProcessExitCode(row.Code)) + "  " + std::string(row.Meaning);
    }
    return text;
}

} // namespace korax::tools
