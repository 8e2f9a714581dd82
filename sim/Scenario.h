#pragma once
// A scenario sets up a board simulator from a small text, so the port I/O library stand-in and the demo
// run against boards that a test or a person describes without recompiling anything.
//
// One directive per line; blank lines are skipped and `#` (at the start of a line or after a space) begins
// a comment. Numbers are decimal or hexadecimal with 0x. A station must be declared by `board` before any
// other directive names it.
//
//   board <station> <model> <base>                 station 0..31; model by name (KRX-A100) or code 0..6;
//                                                  base I/O address 0..0xFFFF
//   ad <station> <channel> <code>                  fixed AD input code 0..4095
//   wave <station> <channel> ramp|sine <from> <to> <period>
//                                                  changing AD input, one step per conversion over
//                                                  <period> conversions: a ramp climbs from <from> to
//                                                  <to> and starts over, a sine swings between the two
//   notready <station> [on|off]                    AD status reports "not ready" (on when omitted)
//   adhigh <station> <bits>                        bits ORed into the high AD byte's upper nibble
//   di <station> <group> <byte>                    DI byte of a group (channels 8g..8g+7)
//   toggle <station> <group> <mask> <reads>        flip the mask's DI bits after every <reads> reads
//   counter <station> <channel> <reading> [<advance>]
//                                                  counter reading, and the counts that pass after each
//                                                  reading (0 when omitted)
//   trace <path>                                   append every port access to this file (rest of line)
//   replay <path>                                  answer the ports from a recorded driver trace instead
//                                                  of the boards (<path> and <path>.1; rest of line)
//   report <path>                                  where a replay writes how it ended (rest of line)
// The paths of replay and report are relative to the scenario file's folder, that of trace to the
// working folder.
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "sim/BoardSimulator.h"

namespace korax::sim {

// A line the scenario reader could not take; what() reads "line N: reason".
class ScenarioError : public std::runtime_error {
public:
    ScenarioError(std::int32_t line, const std::string& reason);
    std::int32_t Line() const { return line_; }

private:
    std::int32_t line_;
};

// Everything a scenario sets up; the paths are as written (UTF-8), empty when not given.
struct ScenarioSetup {
    BoardSimulator Simulator;
    std::string ReplayTrace;
    std::string ReplayReport;
};

// Throw ScenarioError at the first bad line.
ScenarioSetup ReadScenario(std::string_view text);
BoardSimulator SimulatorFromScenario(std::string_view text);

// The whole text of a scenario file; nothing when it cannot be read.
std::optional<std::string> ReadScenarioFile(const std::filesystem::path& path);

} // namespace korax::sim
