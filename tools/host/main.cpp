// korax-host: runs the driver the way a host runtime does, from a console, so that integrators and service
// engineers can see what it reports without the full host.
#include <deque>
#include <iostream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

#include <CLI/CLI.hpp>

#include "common/Console.h"
#include "common/ExitCodes.h"
#include "common/Version.h"
#include "host/HostRun.h"

namespace {

using namespace korax::tools;

// Lines typed while the scan runs, read on a thread of their own so the scan never waits for a key.
// The driver is only ever called from the main thread; this one just queues text.
class TypedLines {
public:
    void Start() {
        std::thread([this] {
            std::string line;
            while (std::getline(std::cin, line)) {
                const std::lock_guard lock(mutex_);
                lines_.push_back(line);
            }
        }).detach(); // blocked in a read at exit; the process ends it
    }
    std::optional<std::string> Next() {
        const std::lock_guard lock(mutex_);
        if (lines_.empty()) return std::nullopt;
        std::string line = std::move(lines_.front());
        lines_.pop_front();
        return line;
    }

private:
    std::mutex mutex_;
    std::deque<std::string> lines_;
};

// Every text given for an option, parsed; false (after saying why) at the first it cannot take.
template <typename Parsed, typename Parse>
bool ParseEach(const std::vector<std::string>& texts, std::string_view option, Parse parse,
               std::vector<Parsed>& into) {
    for (const std::string& text : texts) {
        auto parsed = parse(text);
        if (!parsed) {
            WriteUtf8(Stream::Error,
                      "korax-host: error: " + std::string(option) + " " + parsed.Error().Text + "\n");
            return false;
        }
        into.push_back(std::move(*parsed));
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    host::HostOptions options;
    std::vector<std::string> writes;
    std::vector<std::string> writeSets;
    std::vector<std::string> reads;
    std::vector<std::string> additions;
    std::vector<std::string> logSwitches;
    bool plain = false;
    bool noInput = false;
    bool showVersion = false;

    CLI::App app{
        "Loads the korax24 driver as a host runtime does: initialises it with a parameter block and a "
        "tag list, calls OnDataRead every DetectScanTime ms and shows the tags as they change.",
        "korax-host"};
    app.footer(ExitCodesHelp());
    app.add_option(
        "--tags", options.TagPath,
        "tag list, CSV: id, name, address, data type (real|bool|string), scan interval ms[, initial]");
    app.add_option("--pdb", options.BlockPath,
                   "parameter block file (the driver's factory block when omitted)");
    app.add_option("--duration", options.DurationSeconds,
                   "seconds to scan (until Ctrl+C or quit when omitted)")
        ->check(CLI::NonNegativeNumber);
    app.add_option("--write", writes, "NAME=VALUE[@SECONDS]: write a tag, at once or that far into the scan");
    app.add_option("--write-tags", writeSets,
                   "NAME=VALUE,NAME=VALUE...[@SECONDS]: write several tags in one WriteTags call");
    app.add_option("--read", reads, "NAME,NAME...[@SECONDS]: force reads of tags (ReadTags)");
    app.add_option("--add-tags", additions,
                   "FILE[@SECONDS]: register the tags of a second tag list while scanning (AddTags)");
    app.add_option("--log", logSwitches,
                   "on|off[@SECONDS]: switch the driver's logging state (WriteLog; it acts only while a "
                   "message is pending)");
    app.add_flag("--list-tag-types", options.ListTagTypes,
                 "print the tag editor's lists: templates (GetTags) and address list (GetTagAddrList)");
    app.add_option("--scenario,--simulate", options.ScenarioPath,
                   "board simulator scenario for the port I/O library stand-in");
    app.add_option("--trace", options.TracePath,
                   "FILE: the driver records every port access, request and message to FILE (its ring keeps "
                   "FILE and FILE.1), through a settings file it is pointed at (KORAX24_INI)");
    app.add_option("--replay", options.ReplayPath,
                   "TRACE: answer every port read with the byte TRACE recorded and compare every write with "
                   "the recorded one; the first divergence is shown with both lines (exit code 4). Give the "
                   "--pdb and --tags of the recorded run; scans until the trace ends when --duration is "
                   "omitted");
    app.add_option("--decode", options.DecodePath,
                   "TRACE: print a recorded trace decoded with the block (--pdb, the factory block when "
                   "omitted) and a summary per board; runs no driver");
    app.add_option("--driver", options.DriverName,
                   "driver library to load (default: korax24.dll beside the host)");
    app.add_option("--check-address", options.CheckAddresses,
                   "check and normalise a tag address (TagEdAddr)");
    app.add_flag("--test", options.Test, "run the driver's device test (DLLTestDev)");
    app.add_flag("--edit", options.Edit,
                 "open the configuration wizard on the block (DLLEdDev); save when accepted");
    app.add_flag("--plain", plain, "one line per change even on a terminal");
    app.add_flag("--no-input", noInput, "do not read NAME=VALUE lines from standard input");
    app.add_flag("--version", showVersion,
                 "print korax-host's version and, with --driver, the version resource of that library");

    try {
        const std::vector<std::string> arguments = Utf8Arguments(argc, argv);
        std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
        if (!reversed.empty()) reversed.pop_back();
        app.parse(reversed);
    } catch (const CLI::ParseError& error) {
        std::ostringstream out;
        std::ostringstream err;
        const int code = app.exit(error, out, err);
        WriteUtf8(Stream::Out, out.str());
        WriteUtf8(Stream::Error, err.str());
        return ProcessExitCode(code == 0 ? ExitCode::Done : ExitCode::BadCommandLine);
    }
    if (showVersion) {
        WriteUtf8(Stream::Out, ToolVersionText("korax-host") + "\n");
        if (options.DriverName.empty()) return ProcessExitCode(ExitCode::Done);
        const auto driver = LibraryVersionText(options.DriverName);
        if (!driver) {
            WriteUtf8(Stream::Error, "korax-host: error: " + driver.Error().Text + "\n");
            return ProcessExitCode(ExitCode::BadInput);
        }
        WriteUtf8(Stream::Out, *driver + "\n");
        return ProcessExitCode(ExitCode::Done);
    }
    if (options.TagPath.empty() && !options.Edit && !options.Test && options.CheckAddresses.empty() &&
        !options.ListTagTypes && options.DecodePath.empty()) {
        WriteUtf8(Stream::Error,
                  "korax-host: nothing to do: --tags FILE scans; --edit, --test and --check-address "
                  "work on the block, --list-tag-types prints the tag editor's lists, --decode TRACE reads "
                  "a trace. --help lists every option.\n");
        return ProcessExitCode(ExitCode::BadCommandLine);
    }
    if (!ParseEach(writes, "--write", host::ParseWriteOption, options.Writes) ||
        !ParseEach(writeSets, "--write-tags", host::ParseWriteSetOption, options.WriteSets) ||
        !ParseEach(reads, "--read", host::ParseReadOption, options.Reads) ||
        !ParseEach(additions, "--add-tags", host::ParseAdditionOption, options.Additions) ||
        !ParseEach(logSwitches, "--log", host::ParseLogOption, options.LogSwitches)) {
        return ProcessExitCode(ExitCode::BadCommandLine);
    }

    options.Live = !plain && !options.TagPath.empty() && StdoutIsTerminal() && EnableCursorControl();
    options.TakesInput = !noInput && !options.TagPath.empty();
    // Deliberately never destroyed: the reading thread may still be inside a read when main returns.
    static TypedLines& typed = *std::make_unique<TypedLines>().release();
    if (options.TakesInput) typed.Start();
    CatchInterrupts();

    host::HostConsole console;
    console.Write = [](std::string_view text) { WriteUtf8(Stream::Out, text); };
    console.WriteError = [](std::string_view text) { WriteUtf8(Stream::Error, text); };
    console.ReadLine = [] { return typed.Next(); };
    console.StopRequested = [] { return InterruptRequested(); };
    console.Size = [] { return StdoutTerminalSize(); };
    return ProcessExitCode(host::RunHost(options, console));
}
