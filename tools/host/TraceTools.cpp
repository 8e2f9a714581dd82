#include "host/TraceTools.h"

#include <cstdio>
#include <map>
#include <utility>

#include "boards/ModelTables.h"
#include "boards/PortDecode.h"
#include "common/FileIo.h"
#include "common/TextCodec.h"
#include "host/HostDisplay.h"

namespace korax::tools::host {

namespace {

using sim::TraceKind;
using sim::TraceRecord;

constexpr std::uint32_t PortMask = 0xFFFF;
constexpr std::string_view NoBoardHere = "no board of the block holds this port";

std::string Hex(unsigned value, int digits) {
    char text[12];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

boards::PortDirection Direction(TraceKind kind) {
    return kind == TraceKind::Read ? boards::PortDirection::Read : boards::PortDirection::Write;
}

std::string Where(const sim::Trace& trace, const TraceRecord& record) {
    return trace.Sources[record.Segment] + " line " + std::to_string(record.LineNumber);
}

// The record's fields as the trace writes them, before any decoded text.
std::string Fields(const TraceRecord& record) {
    const std::size_t mark = record.IsPortAccess() || record.Kind == TraceKind::Delay
                                 ? record.Line.find("  ;")
                                 : std::string::npos;
    std::string fields = record.Line.substr(0, mark);
    while (!fields.empty() && fields.back() == ' ') fields.pop_back();
    return GbkToUtf8(fields);
}

// The slot of the block whose board's port span holds the port, and the port's offset on it.
struct Holder {
    std::int32_t Slot;
    std::int32_t Offset;
};
std::optional<Holder> HolderOf(const config::DevicePDB& block, std::uint16_t port) {
    for (std::int32_t slot = 0; slot < config::BoardCount; ++slot) {
        if (const auto offset = boards::OffsetOnBoard(block.Boards[slot], port)) return Holder{slot, *offset};
    }
    return std::nullopt;
}

// What one board saw in a trace.
struct BoardTally {
    std::map<std::pair<std::uint16_t, TraceKind>, std::uint64_t> Accesses;
    std::uint64_t Conversions = 0;                  // AD starts
    std::map<std::int32_t, std::uint64_t> NotReady; // by AD channel: status reads that were not ready
    std::map<std::int32_t, std::vector<std::uint16_t>> Loaded; // by counter: values loaded
    std::map<std::int32_t, std::vector<std::uint16_t>> Read;   // by counter: readings
};

// Where one thread is in a board's register sequences.
struct Sequence {
    std::int32_t AdChannel = -1;
    bool StatusDue = false; // the next AD status read is the conversion's status
    std::map<std::int32_t, std::optional<std::uint8_t>> LoadLow; // counter: low byte written, high due
    std::map<std::int32_t, std::optional<std::uint8_t>> ReadLow; // counter: low byte read, high due
    std::optional<std::int32_t> LoadingCounter; // selected by the control byte, data bytes due
};

void Follow(const boards::PortMap& ports, const Holder& at, const TraceRecord& record, Sequence& sequence,
            BoardTally& tally) {
    const bool write = record.Kind == TraceKind::Write;
    const std::int32_t offset = at.Offset;
    if (write && offset == ports.AdChannel) sequence.AdChannel = record.Value;
    if (write && offset == ports.AdStart) {
        ++tally.Conversions;
        sequence.StatusDue = true;
    } else if (!write && offset == ports.AdStatus && sequence.StatusDue) {
        sequence.StatusDue = false;
        if ((record.Value & boards::AdNotReadyBit) != 0) ++tally.NotReady[sequence.AdChannel];
    }
    if (write && offset == ports.CounterControl && ports.CounterControl != boards::NoPort) {
        const std::int32_t counter = record.Value >> boards::CounterSelectShift;
        if (counter < boards::CounterReadBack) {
            sequence.LoadingCounter = counter;
            sequence.LoadLow[counter].reset();
        }
        return;
    }
    if (ports.CounterData == boards::NoPort || offset < ports.CounterData) return;
    const std::int32_t counter = offset - ports.CounterData;
    if (counter >= boards::CounterReadBack) return;
    if (write && sequence.LoadingCounter == counter) {
        auto& low = sequence.LoadLow[counter];
        if (!low) {
            low = record.Value;
            return;
        }
        tally.Loaded[counter].push_back(static_cast<std::uint16_t>(record.Value << 8 | *low));
        sequence.LoadingCounter.reset();
        low.reset();
    } else if (!write) {
        auto& low = sequence.ReadLow[counter];
        if (!low) {
            low = record.Value;
            return;
        }
        tally.Read[counter].push_back(static_cast<std::uint16_t>(record.Value << 8 | *low));
        low.reset();
    }
}

std::string Values(const std::vector<std::uint16_t>& values) {
    if (values.empty()) return "never";
    std::string text = std::to_string(values.size()) + "x";
    text += ", first " + std::to_string(values.front());
    if (values.size() > 1) text += ", last " + std::to_string(values.back());
    return text;
}

// The last request line of a thread before a record.
std::optional<std::size_t> RequestBefore(const sim::Trace& trace, std::size_t index, std::uint64_t thread) {
    for (std::size_t i = index; i-- > 0;) {
        const TraceRecord& record = trace.Records[i];
        if (record.Thread == thread && record.Kind == TraceKind::Request) return i;
    }
    return std::nullopt;
}

std::string RequestText(const sim::Trace& trace, std::optional<std::size_t> index, bool where) {
    if (!index) return "none before it (the board check at IniDriver)";
    const TraceRecord& record = trace.Records[*index];
    return GbkToUtf8(record.Text) + (where ? " (" + Where(trace, record) + ")" : "");
}

} // namespace

Result<config::DevicePDB> TraceBlock(const std::string& path) {
    config::DevicePDB block{};
    if (path.empty()) {
        config::FillDefaultPDB(block);
        return block;
    }
    const auto bytes = ReadFileBytes(path);
    if (!bytes) return bytes.Error();
    if (bytes->size() != sizeof block) {
        return Failure{path + ": " + std::to_string(bytes->size()) + " bytes; a parameter block has " +
                       std::to_string(sizeof block)};
    }
    std::copy(bytes->begin(), bytes->end(), reinterpret_cast<std::uint8_t*>(&block));
    return block;
}

Result<sim::Trace> LoadTrace(const std::string& path) {
    try {
        return sim::ReadTraceFiles(PathFromUtf8(path));
    } catch (const sim::TraceError& error) {
        return Failure{error.what()};
    }
}

std::vector<std::string> DecodedLines(const sim::Trace& trace, const config::DevicePDB& block) {
    std::vector<std::string> lines;
    lines.reserve(trace.Records.size());
    for (const TraceRecord& record : trace.Records) {
        std::string line = Fields(record);
        if (record.IsPortAccess()) {
            const std::string meaning =
                boards::DescribePortAccess(block, Direction(record.Kind), record.Port, record.Value);
            line += "  ; " + (meaning.empty() ? std::string(NoBoardHere) : GbkToUtf8(meaning));
        } else if (record.Kind == TraceKind::Delay) {
            line += "  ; " + std::to_string(record.Units) + " delay units";
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

std::vector<std::string> TraceSummary(const sim::Trace& trace, const config::DevicePDB& block) {
    std::map<std::int32_t, BoardTally> tallies;
    std::map<std::pair<std::uint64_t, std::int32_t>, Sequence> sequences;
    std::map<std::pair<std::uint16_t, TraceKind>, std::uint64_t> outside;
    for (const TraceRecord& record : trace.Records) {
        if (!record.IsPortAccess()) continue;
        const auto at = HolderOf(block, record.Port);
        if (!at) {
            ++outside[{record.Port, record.Kind}];
            continue;
        }
        BoardTally& tally = tallies[at->Slot];
        ++tally.Accesses[{record.Port, record.Kind}];
        const boards::Model& model = boards::Models[block.Boards[at->Slot].DevType];
        Follow(model.Ports, *at, record, sequences[{record.Thread, at->Slot}], tally);
    }

    std::vector<std::string> lines;
    for (const auto& [slot, tally] : tallies) {
        const config::BoardEntry& entry = block.Boards[slot];
        std::uint64_t total = 0;
        std::vector<std::vector<std::string>> rows;
        for (const auto& [key, count] : tally.Accesses) {
            total += count;
            rows.push_back({"  " + Hex(key.first, 3), boards::PortRegisterName(block, key.first),
                            key.second == TraceKind::Read ? "read" : "written", std::to_string(count)});
        }
        lines.push_back(
            "board " + std::to_string(slot) + " " + std::string(boards::Models[entry.DevType].Name) + " at " +
            Hex(entry.BaseAddress & PortMask, 3) + ": " + std::to_string(total) + " port accesses");
        for (const std::string& line : TableLines(rows)) lines.push_back(line);
        if (tally.Conversions > 0) {
            std::uint64_t notReady = 0;
            std::string channels;
            for (const auto& [channel, count] : tally.NotReady) {
                notReady += count;
                channels += (channels.empty() ? " (" : ", ") + std::string("channel ") +
                            std::to_string(channel) + ": " + std::to_string(count);
            }
            lines.push_back("  AD conversions: " + std::to_string(tally.Conversions) + " started, " +
                            std::to_string(notReady) + " never ready" +
                            (channels.empty() ? "" : channels + ")"));
        }
        for (std::int32_t counter = 0; counter < boards::CounterReadBack; ++counter) {
            const auto loaded = tally.Loaded.find(counter);
            const auto read = tally.Read.find(counter);
            if (loaded == tally.Loaded.end() && read == tally.Read.end()) continue;
            lines.push_back(
                "  counter " + std::to_string(counter) + ": loaded " +
                Values(loaded == tally.Loaded.end() ? std::vector<std::uint16_t>{} : loaded->second) +
                "; read " + Values(read == tally.Read.end() ? std::vector<std::uint16_t>{} : read->second));
        }
    }
    if (!outside.empty()) {
        std::uint64_t total = 0;
        std::vector<std::vector<std::string>> rows;
        for (const auto& [key, count] : outside) {
            total += count;
            rows.push_back({"  " + Hex(key.first, 3), key.second == TraceKind::Read ? "read" : "written",
                            std::to_string(count)});
        }
        lines.push_back("ports no board of the block holds: " + std::to_string(total) + " accesses");
        for (const std::string& line : TableLines(rows)) lines.push_back(line);
    }
    if (lines.empty()) lines.push_back("no port accesses");
    return lines;
}

ExitCode RunDecode(const HostOptions& options, const HostConsole& console) {
    const auto fail = [&](const std::string& text) {
        (console.WriteError ? console.WriteError : console.Write)("korax-host: error: " + text + "\n");
        return ExitCode::BadInput;
    };
    const auto block = TraceBlock(options.BlockPath);
    if (!block) return fail(block.Error().Text);
    const auto trace = LoadTrace(options.DecodePath);
    if (!trace) return fail(trace.Error().Text);
    std::string text;
    for (const std::string& source : trace->Sources) text += "# " + source + "\n";
    text += "# decoded with " +
            (options.BlockPath.empty() ? std::string("the factory block") : options.BlockPath) + "\n";
    if (trace->BeginningLost) text += "# the ring dropped the trace's beginning\n";
    for (const std::string& line : DecodedLines(*trace, *block)) text += line + "\n";
    if (trace->CutOff) text += "# the last line was cut off (the file was copied while it was written)\n";
    text += "\nsummary\n";
    for (const std::string& line : TraceSummary(*trace, *block)) text += line + "\n";
    console.Write(text);
    return ExitCode::Done;
}

std::string TraceSettingsText(const std::string& traceFile) {
    return "[trace]\r\nfile=" + traceFile + "\r\nrecord=ports,requests,messages\r\n";
}

std::vector<std::string> ReplayVerdict(const sim::Trace& recorded, const sim::ReplayPlan& plan,
                                       const sim::ReplayReport& report, const config::DevicePDB& block,
                                       const std::optional<sim::Trace>& actualTrace) {
    const std::string total = std::to_string(plan.Accesses.size());
    const std::string others = plan.OtherThreads == 0 ? std::string()
                                                      : "; " + std::to_string(plan.OtherThreads) +
                                                            " other threads of the trace were left out";
    switch (report.End) {
    case sim::ReplayEnd::Matched:
        return {"replay: the driver made all " + total + " port accesses of thread T" +
                std::to_string(plan.Thread) + " as recorded" + others};
    case sim::ReplayEnd::Stopped: {
        std::string line = "replay: no divergence in the first " + std::to_string(report.Matched) + " of " +
                           total + " recorded port accesses; the run ended before the trace did";
        if (report.Matched < plan.Accesses.size())
            line += " (next: " + Where(recorded, recorded.Records[plan.Accesses[report.Matched]]) + ")";
        return {line + others};
    }
    case sim::ReplayEnd::Failed:
        return {"replay: the port I/O library stand-in could not read the trace: " + report.Reason};
    case sim::ReplayEnd::Diverged:
        break;
    }
    if (report.Matched >= plan.Accesses.size()) return {"replay: a divergence past the trace's end"};
    const std::size_t index = plan.Accesses[report.Matched];
    const TraceRecord& expected = recorded.Records[index];
    std::string actual = sim::PortAccessFields(report.ActualKind, report.ActualPort, report.ActualValue);
    std::string meaning;
    if (report.ActualKind == TraceKind::Read) {
        actual.resize(actual.rfind(' ')); // the byte of a read that was never answered means nothing
        meaning = boards::PortRegisterName(block, report.ActualPort);
    } else {
        meaning = boards::DescribePortAccess(block, boards::PortDirection::Write, report.ActualPort,
                                             report.ActualValue);
    }
    actual += "  ; " + (meaning.empty() ? std::string(NoBoardHere) : GbkToUtf8(meaning));

    std::vector<std::string> lines = {
        "replay: DIVERGED at port access " + std::to_string(report.Matched + 1) + " of " + total + others,
        "  recorded: " + GbkToUtf8(expected.Line) + "  (" + Where(recorded, expected) + ")",
        "  actual:   " + actual,
        "  recorded request: " + RequestText(recorded, RequestBefore(recorded, index, plan.Thread), true),
    };
    if (actualTrace) {
        const sim::ReplayPlan own = sim::PlanReplay(*actualTrace);
        if (report.Matched < own.Accesses.size()) {
            lines.push_back("  actual request:   " +
                            RequestText(*actualTrace,
                                        RequestBefore(*actualTrace, own.Accesses[report.Matched], own.Thread),
                                        false));
        }
    }
    return lines;
}

} // namespace korax::tools::host
