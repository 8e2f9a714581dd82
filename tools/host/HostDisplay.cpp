#include "host/HostDisplay.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "common/TextCodec.h"
#include "host/DriverBinding.h"

namespace korax::tools::host {

namespace {

constexpr std::size_t RecentEvents = 5;
// Lines of the live frame besides the tag rows: title, counters, blank, heading, blank, "recent", the
// events, the input hint.
constexpr int FrameOverhead = 7 + static_cast<int>(RecentEvents);

std::string ClockText(int hours, int minutes, int seconds, int millis) {
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", hours, minutes, seconds, millis);
    return text;
}

std::string NowText() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
#if defined(_WIN32)
    localtime_s(&local, &seconds);
#else
    localtime_r(&seconds, &local);
#endif
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    return ClockText(local.tm_hour, local.tm_min, local.tm_sec, static_cast<int>(millis));
}

std::string Pad(const std::string& text, std::size_t width) {
    const std::size_t shown = DisplayWidth(text);
    return shown >= width ? text : text + std::string(width - shown, ' ');
}

} // namespace

std::vector<std::string> TableLines(const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::size_t> width;
    for (const auto& row : rows) {
        width.resize(std::max(width.size(), row.size()));
        for (std::size_t c = 0; c < row.size(); ++c) width[c] = std::max(width[c], DisplayWidth(row[c]));
    }
    std::vector<std::string> lines;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t c = 0; c < row.size(); ++c) line += Pad(row[c], width[c] + 2);
        while (!line.empty() && line.back() == ' ') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::string StampText(double stamp) {
    if (!std::isfinite(stamp)) return "??:??:??.???";
    const double fraction = stamp - std::floor(stamp);
    auto millis = static_cast<long long>(std::llround(fraction * 86'400'000.0));
    millis = std::clamp(millis, 0LL, 86'399'999LL);
    return ClockText(static_cast<int>(millis / 3'600'000), static_cast<int>(millis / 60'000 % 60),
                     static_cast<int>(millis / 1000 % 60), static_cast<int>(millis % 1000));
}

std::string SecondsText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", seconds);
    return text;
}

std::string MessageText(const std::string& gbk) {
    std::string text = GbkToUtf8(gbk);
    for (char& c : text) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

void HostDisplay::Line(const std::string& text) {
    console_.Write(text + "\n");
}

void HostDisplay::Error(const std::string& text) {
    const std::string line = "korax-host: error: " + text + "\n";
    if (console_.WriteError) {
        console_.WriteError(line);
    } else {
        console_.Write(line);
    }
}

void HostDisplay::Event(const std::string& text) {
    const std::string line = NowText() + " " + text;
    if (!options_.Live) {
        Line(line);
        return;
    }
    recent_.push_back(line);
    if (recent_.size() > RecentEvents) recent_.pop_front();
}

void HostDisplay::Changed(const TagState& tag) {
    if (options_.Live) return;
    Line(StampText(tag.ChangedAt) + " " + tag.Entry.Name + " (" + tag.Entry.Address +
         ") = " + ValueText(*tag.Last));
}

void HostDisplay::BeginLive() {
    if (options_.Live) ShowTerminalCursor(false); // it would flicker through the table
}

void HostDisplay::EndLive(double elapsed, std::uint16_t scanMs, const std::vector<TagState>& tags,
                          const ScanCounters& counters) {
    if (!options_.Live) return;
    Draw(elapsed, scanMs, tags, counters);
    ShowTerminalCursor(true);
}

void HostDisplay::Draw(double elapsed, std::uint16_t scanMs, const std::vector<TagState>& tags,
                       const ScanCounters& counters) {
    const TerminalSize size = (console_.Size ? console_.Size() : std::nullopt).value_or(TerminalSize{});
    std::vector<std::string> lines;
    lines.push_back(
        "korax-host  scan " + std::to_string(scanMs) + " ms  " + SecondsText(elapsed) + " s" +
        (options_.DurationSeconds > 0 ? " of " + SecondsText(options_.DurationSeconds) + " s" : ""));
    lines.push_back("OnDataRead " + std::to_string(counters.Calls) + "  reports " +
                    std::to_string(counters.Reports) + "  writes " +
                    std::to_string(counters.WritesAccepted + counters.WritesRefused) + "  messages " +
                    std::to_string(counters.Messages) + "  alarms " + std::to_string(counters.Alarms));
    lines.emplace_back();

    std::vector<std::vector<std::string>> rows = {{"name", "address", "value", "last change", "reports"}};
    const int room = std::max(size.Rows - FrameOverhead - 2, 3);
    const std::size_t shown = std::min(tags.size(), static_cast<std::size_t>(room));
    for (std::size_t i = 0; i < shown; ++i) {
        const TagState& tag = tags[i];
        rows.push_back({tag.Entry.Name, tag.Entry.Address, tag.Last ? ValueText(*tag.Last) : "-",
                        tag.Last ? StampText(tag.ChangedAt) : "-", std::to_string(tag.Reports)});
    }
    for (std::string& line : TableLines(rows)) lines.push_back(std::move(line));
    if (shown < tags.size()) lines.push_back("... and " + std::to_string(tags.size() - shown) + " more tags");
    lines.emplace_back();
    lines.emplace_back("recent:");
    for (const std::string& event : recent_) lines.push_back("  " + event);
    if (options_.TakesInput) lines.emplace_back(InputHelp);

    RedrawLines(drawnLines_ + typedLines_, lines, size.Columns);
    drawnLines_ = static_cast<int>(lines.size());
    typedLines_ = 0;
}

void HostDisplay::Summary(double seconds, const std::vector<TagState>& tags, const ScanCounters& counters,
                          const SharedMemory& memory) {
    const std::uint64_t writes = counters.WritesAccepted + counters.WritesRefused;
    Line("summary: " + std::to_string(counters.Calls) + " OnDataRead calls in " + SecondsText(seconds) +
         " s, " + std::to_string(counters.Reports) + " reports, " + std::to_string(writes) + " writes (" +
         std::to_string(counters.WritesAccepted) + " accepted, " + std::to_string(counters.WritesRefused) +
         " refused), " + std::to_string(counters.Messages) + " messages, " + std::to_string(counters.Alarms) +
         " alarms");
    if (counters.LastStatistics) Line("last statistics line: " + *counters.LastStatistics);
    if (const std::uint64_t calls =
            counters.WriteTagsCalls + counters.ReadTagsCalls + counters.AddTagsCalls + counters.WriteLogCalls;
        calls > 0) {
        Line("also called: WriteTags " + std::to_string(counters.WriteTagsCalls) + " (" +
             std::to_string(counters.WriteTagsIncomplete) + " not all written), ReadTags " +
             std::to_string(counters.ReadTagsCalls) + ", AddTags " + std::to_string(counters.AddTagsCalls) +
             ", WriteLog " + std::to_string(counters.WriteLogCalls));
    }
    if (counters.Calls > 0) SilentTags(seconds, tags);
    std::string strings = "strings from the driver: " + std::to_string(memory.Released()) +
                          " released to the shared memory manager, " + std::to_string(memory.Refused()) +
                          " refused";
    if (const auto live = memory.LiveBlocks()) strings += ", " + std::to_string(*live) + " blocks still live";
    Line(strings);
}

void HostDisplay::SilentTags(double seconds, const std::vector<TagState>& tags) {
    // Why a tag was never reported, as far as a host can tell; the driver itself never says.
    struct Group {
        std::string Heading;
        std::string Hint;
        std::string Tags;
    };
    std::array<Group, 4> groups = {{
        {"never reported, address refused: ",
         " (korax-host --check-address ADDRESS; a -1 marks the number that does not fit the block)", ""},
        {"never reported, not due yet: ", " (a tag is reported once its scan interval has passed)", ""},
        {"never registered: ", " (the scan ended before its --add-tags time)", ""},
        {"never reported: ",
         " (the address names a known tag type; a channel or bit beyond the board's range is refused too: "
         "see the board's limits in tag-addresses.md)",
         ""},
    }};
    for (const TagState& tag : tags) {
        if (tag.Reports > 0) continue;
        std::string shown = tag.Entry.Name + " (" + tag.Entry.Address;
        Group* group = &groups[3];
        if (!tag.RegisteredAt) {
            group = &groups[2];
        } else if (tag.AddressRefused) {
            group = &groups[0];
        } else if ((seconds - *tag.RegisteredAt) * 1000.0 <= tag.Entry.ScanInterval) {
            group = &groups[1];
            shown += ", every " + std::to_string(tag.Entry.ScanInterval) + " ms";
        }
        group->Tags += (group->Tags.empty() ? "" : ", ") + shown + ")";
    }
    for (const Group& group : groups) {
        if (!group.Tags.empty()) Line(group.Heading + group.Tags + group.Hint);
    }
}

} // namespace korax::tools::host
