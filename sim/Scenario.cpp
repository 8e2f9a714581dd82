#include "sim/Scenario.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <fstream>
#include <functional>
#include <sstream>
#include <vector>

#include "config/DevicePDB.h"
#include "config/Models.h"

namespace korax::sim {

namespace {

constexpr std::uint32_t MaxByte = 0xFF;
constexpr std::uint32_t MaxPort = 0xFFFF;
constexpr std::uint32_t MaxCount = 0xFFFF;
constexpr std::uint32_t MaxGroupOrChannel = 0xFF;
constexpr std::string_view HexPrefix = "0x";

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return lower;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

// A `#` starts a comment at the start of a line or after a blank, so a path such as C:\a#b survives.
std::string_view WithoutComment(std::string_view line) {
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '#' && (i == 0 || IsBlank(line[i - 1]))) return line.substr(0, i);
    }
    return line;
}

std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && IsBlank(line[i])) ++i;
        const std::size_t start = i;
        while (i < line.size() && !IsBlank(line[i])) ++i;
        if (i > start) words.push_back(line.substr(start, i - start));
    }
    return words;
}

// The reading of one line: its words, and what went wrong in terms the reader of the file understands.
class Line {
public:
    Line(std::int32_t number, std::vector<std::string_view> words)
        : number_(number), words_(std::move(words)) {}

    [[noreturn]] void Fail(const std::string& reason) const { throw ScenarioError(number_, reason); }

    // Exactly `least` values after the directive, or up to `most` when some are optional.
    void ExpectValues(std::size_t least, std::size_t most) const {
        const std::size_t values = words_.size() - 1;
        if (values < least) Fail("'" + std::string(words_[0]) + "' needs more values");
        if (values > most) Fail("'" + std::string(words_[0]) + "' has too many values");
    }

    bool Has(std::size_t index) const { return index < words_.size(); }
    std::string_view Word(std::size_t index) const { return words_[index]; }

    std::uint32_t Number(std::size_t index, std::string_view what, std::uint32_t max) const {
        std::string_view text = words_[index];
        int base = 10;
        if (text.size() > HexPrefix.size() && Lower(text.substr(0, HexPrefix.size())) == HexPrefix) {
            text.remove_prefix(HexPrefix.size());
            base = 16;
        }
        std::uint32_t value = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
        if (error != std::errc() || end != text.data() + text.size())
            Fail(std::string(what) + " '" + std::string(words_[index]) + "' is not a number");
        if (value > max) Fail(std::string(what) + " " + std::string(words_[index]) + " is out of range");
        return value;
    }

    std::uint8_t Station(const BoardSimulator& simulator) const {
        const auto station = static_cast<std::uint8_t>(Number(1, "station", config::BoardCount - 1));
        if (!simulator.HasBoard(station)) Fail("no board declared at station " + std::to_string(station));
        return station;
    }

private:
    std::int32_t number_;
    std::vector<std::string_view> words_;
};

std::uint8_t ModelCode(const Line& line, std::size_t index) {
    const std::string name = Lower(line.Word(index));
    for (std::uint8_t code = 0; code < config::ModelCount; ++code) {
        if (name == Lower(config::Models[code].Name)) return code;
    }
    if (name.find_first_not_of("0123456789") == std::string::npos)
        return static_cast<std::uint8_t>(line.Number(index, "model code", config::ModelCount - 1));
    line.Fail("unknown model '" + std::string(line.Word(index)) + "'");
}

using Directive = std::function<void(const Line&, BoardSimulator&)>;

struct DirectiveRow {
    std::string_view Name;
    std::size_t LeastValues;
    std::size_t MostValues;
    Directive Apply;
    std::string ScenarioSetup::*Path = nullptr; // a directive whose value is the rest of the line
};

std::int32_t Index(const Line& line, std::size_t index, std::string_view what) {
    return static_cast<std::int32_t>(line.Number(index, what, MaxGroupOrChannel));
}

const std::array<DirectiveRow, 11>& Directives() {
    static const std::array<DirectiveRow, 11> rows = {{
        {"board", 3, 3,
         [](const Line& line, BoardSimulator& simulator) {
             const auto station =
                 static_cast<std::uint8_t>(line.Number(1, "station", config::BoardCount - 1));
             const std::uint8_t model = ModelCode(line, 2);
             simulator.AddBoard(station, model, static_cast<std::uint16_t>(line.Number(3, "base", MaxPort)));
         }},
        {"ad", 3, 3,
         [](const Line& line, BoardSimulator& simulator) {
             simulator.SetAdInput(line.Station(simulator), Index(line, 2, "channel"),
                                  static_cast<std::uint16_t>(line.Number(3, "code", MaxCode)));
         }},
        {"wave", 6, 6,
         [](const Line& line, BoardSimulator& simulator) {
             const std::string form = Lower(line.Word(3));
             if (form != "ramp" && form != "sine") line.Fail("waveform must be ramp or sine");
             const std::uint32_t period = line.Number(6, "period", UINT32_MAX);
             if (period == 0) line.Fail("period must be at least 1");
             simulator.SetAdWave(line.Station(simulator), Index(line, 2, "channel"),
                                 form == "ramp" ? Waveform::Ramp : Waveform::Sine,
                                 static_cast<std::uint16_t>(line.Number(4, "code", MaxCode)),
                                 static_cast<std::uint16_t>(line.Number(5, "code", MaxCode)), period);
         }},
        {"notready", 1, 2,
         [](const Line& line, BoardSimulator& simulator) {
             bool on = true;
             if (line.Has(2)) {
                 const std::string word = Lower(line.Word(2));
                 if (word != "on" && word != "off") line.Fail("notready takes on or off");
                 on = word == "on";
             }
             simulator.SetNotReady(line.Station(simulator), on);
         }},
        {"adhigh", 2, 2,
         [](const Line& line, BoardSimulator& simulator) {
             simulator.SetAdHighUpperBits(line.Station(simulator),
                                          static_cast<std::uint8_t>(line.Number(2, "bits", MaxByte)));
         }},
        {"di", 3, 3,
         [](const Line& line, BoardSimulator& simulator) {
             simulator.SetDiByte(line.Station(simulator), Index(line, 2, "group"),
                                 static_cast<std::uint8_t>(line.Number(3, "byte", MaxByte)));
         }},
        {"toggle", 4, 4,
         [](const Line& line, BoardSimulator& simulator) {
             simulator.ToggleDi(line.Station(simulator), Index(line, 2, "group"),
                                static_cast<std::uint8_t>(line.Number(3, "mask", MaxByte)),
                                line.Number(4, "reads", UINT32_MAX));
         }},
        {"counter", 3, 4,
         [](const Line& line, BoardSimulator& simulator) {
             const std::uint8_t station = line.Station(simulator);
             const std::int32_t channel = Index(line, 2, "channel");
             simulator.SetCounterReading(station, channel,
                                         static_cast<std::uint16_t>(line.Number(3, "reading", MaxCount)));
             const std::uint32_t advance = line.Has(4) ? line.Number(4, "advance", MaxCount) : 0;
             simulator.SetCounterAdvance(station, channel, static_cast<std::uint16_t>(advance));
         }},
        // Handled apart: the path is the rest of the line and may hold blanks.
        {"trace", 1, SIZE_MAX, nullptr},
        {"replay", 1, SIZE_MAX, nullptr, &ScenarioSetup::ReplayTrace},
        {"report", 1, SIZE_MAX, nullptr, &ScenarioSetup::ReplayReport},
    }};
    return rows;
}

} // namespace

ScenarioError::ScenarioError(std::int32_t line, const std::string& reason)
    : std::runtime_error("line " + std::to_string(line) + ": " + reason), line_(line) {}

ScenarioSetup ReadScenario(std::string_view text) {
    ScenarioSetup setup;
    BoardSimulator& simulator = setup.Simulator;
    std::int32_t number = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view raw = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++number;

        const std::string_view content = Trim(WithoutComment(raw));
        std::vector<std::string_view> words = Words(content);
        if (words.empty()) continue;
        const std::string name = Lower(words[0]);
        const std::string_view rest = Trim(content.substr(words[0].size()));
        const Line line(number, std::move(words));

        const auto& rows = Directives();
        const auto* row =
            std::find_if(rows.begin(), rows.end(), [&](const DirectiveRow& r) { return r.Name == name; });
        if (row == rows.end()) line.Fail("unknown directive '" + std::string(line.Word(0)) + "'");
        line.ExpectValues(row->LeastValues, row->MostValues);
        if (row->Path != nullptr) {
            setup.*(row->Path) = std::string(rest);
            continue;
        }
        if (!row->Apply) {
            simulator.SetTraceFile(std::string(rest));
            continue;
        }
        try {
            row->Apply(line, simulator);
        } catch (const std::logic_error& refused) {
            // The simulator refuses groups and channels the board's model does not have.
            line.Fail(refused.what());
        }
    }
    return setup;
}

BoardSimulator SimulatorFromScenario(std::string_view text) {
    return std::move(ReadScenario(text).Simulator);
}

std::optional<std::string> ReadScenarioFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

} // namespace korax::sim
