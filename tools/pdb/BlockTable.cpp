#include "pdb/BlockTable.h"

#include <cmath>
#include <sstream>
#include <vector>

#include "common/TextCodec.h"

namespace korax::tools::pdb {

namespace {

constexpr int ChannelsPerLine = 4;

std::string Pad(const std::string& text, std::size_t width) {
    const std::size_t shown = DisplayWidth(text);
    return shown >= width ? text : text + std::string(width - shown, ' ');
}

std::string PadLeft(const std::string& text, std::size_t width) {
    const std::size_t shown = DisplayWidth(text);
    return shown >= width ? text : std::string(width - shown, ' ') + text;
}

std::string NumberText(double value) {
    std::ostringstream out;
    out.precision(15);
    out << value;
    return out.str();
}

std::string WiringText(const BoardEntry& entry) {
    if (AdChannels(entry.DevType) == 0) return "-";
    const auto label = WiringLabel(entry.InputMode);
    if (!label) return "code " + std::to_string(entry.InputMode);
    // The wizard's own word for it beside the English one.
    return GbkToUtf8(config::InputModeText(entry.InputMode)) + " " + std::string(*label);
}

std::string AdRangeText(const BoardEntry& entry) {
    if (AdChannels(entry.DevType) == 0) return "-";
    const auto label = AdRangeLabel(entry.ADMaxRange);
    return label ? std::string(*label) : "code " + std::to_string(entry.ADMaxRange);
}

std::string GainText(std::uint8_t model, std::int32_t code) {
    const auto label = GainLabel(model, code);
    return label ? *label : std::to_string(code) + " (not in list)";
}

std::string DaText(std::uint8_t model, std::int32_t code) {
    const auto label = DaRangeLabel(code);
    if (!label) return std::to_string(code) + " (no such range)";
    const bool offered = static_cast<std::size_t>(code) < DaRangeList(model).size();
    return std::string(*label) + (offered ? "" : " (not offered)");
}

// Channels in rows of a few, each "name k  label" in columns wide enough for the longest label.
void ChannelRows(std::ostringstream& out, const std::string& prefix, const std::vector<std::string>& labels) {
    std::size_t width = 0;
    for (const std::string& label : labels) width = std::max(width, DisplayWidth(label));
    std::string line;
    for (std::size_t k = 0; k < labels.size(); ++k) {
        line += "  " + prefix + PadLeft(std::to_string(k), 2) + "  " + Pad(labels[k], width);
        if (k % ChannelsPerLine == ChannelsPerLine - 1 || k + 1 == labels.size()) {
            while (!line.empty() && line.back() == ' ') line.pop_back();
            out << line << "\n";
            line.clear();
        }
    }
}

} // namespace

std::string BlockTable(const DevicePDB& block) {
    std::ostringstream out;
    out << "header: value " << NumberText(block.HeaderReal) << ", creation mode " << int{block.CreateMode}
        << ", selected board " << block.SelectedBoard << "\n\n";

    struct Row {
        std::string Slot, Board, Model, Name, Base, Wiring, Range;
    };
    std::vector<Row> rows = {{"slot", "board", "model", "name", "base", "wiring", "AD range"}};
    std::vector<int> used;
    for (int n = 0; n < config::BoardCount; ++n) {
        const BoardEntry& entry = block.Boards[n];
        if (entry.DevType == config::NoBoard) continue;
        used.push_back(n);
        rows.push_back({std::to_string(n), std::to_string(entry.BoardNo), ModelText(entry.DevType),
                        GbkToUtf8(config::ShortStringText(entry.DevName, config::DevNameSize)),
                        Hex(entry.BaseAddress), WiringText(entry), AdRangeText(entry)});
    }
    std::array<std::size_t, 7> width{};
    for (const Row& row : rows) {
        const std::array<const std::string*, 7> cells = {&row.Slot, &row.Board,  &row.Model, &row.Name,
                                                         &row.Base, &row.Wiring, &row.Range};
        for (std::size_t c = 0; c < cells.size(); ++c) width[c] = std::max(width[c], DisplayWidth(*cells[c]));
    }
    for (const Row& row : rows) {
        std::string line = PadLeft(row.Slot, width[0]) + "  " + PadLeft(row.Board, width[1]) + "  " +
                           Pad(row.Model, width[2]) + "  " + Pad(row.Name, width[3]) + "  " +
                           Pad(row.Base, width[4]) + "  " + Pad(row.Wiring, width[5]) + "  " + row.Range;
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out << line << "\n";
    }
    const std::size_t empty = config::BoardCount - used.size();
    out << empty << (empty == 1 ? " slot holds" : " slots hold") << " no board.\n";

    for (const int n : used) {
        const BoardEntry& entry = block.Boards[n];
        const std::uint8_t model = entry.DevType;
        if (AdChannels(model) > 0) {
            out << "\nslot " << n << " " << ModelText(model) << ", analog input gains:\n";
            std::vector<std::string> labels;
            for (int k = 0; k < AdChannels(model); ++k) labels.push_back(GainText(model, entry.ADGain[k]));
            ChannelRows(out, "in ", labels);
        }
        if (DaChannels(model) > 0) {
            out << "\nslot " << n << " " << ModelText(model) << ", analog output ranges:\n";
            std::vector<std::string> labels;
            for (int k = 0; k < DaChannels(model); ++k) labels.push_back(DaText(model, entry.DARange[k]));
            ChannelRows(out, "out ", labels);
        }
        if (const auto problem = BoardProblem(entry, n)) out << "\nnote: " << *problem << "\n";
    }
    if (const auto problem = HeaderProblem(block)) out << "\nnote: " << *problem << "\n";
    return out.str();
}

} // namespace korax::tools::pdb
