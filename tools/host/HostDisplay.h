#pragma once
// How korax-host shows a scan: one line per change and event, or a table of the tags redrawn in place
// with the recent events below it; and the summary at the end.
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/HostOptions.h"
#include "host/TagFile.h"

namespace korax::tools::host {

class SharedMemory;

inline constexpr std::string_view InputHelp = "type NAME=VALUE and Enter to write a tag, quit to stop";

// What the host knows of one tag while it runs.
struct TagState {
    TagListEntry Entry;
    std::optional<TagValue> Last; // the last value reported
    double ChangedAt = 0;         // driver time stamp of the last change
    std::uint64_t Reports = 0;
    std::optional<double> RegisteredAt; // seconds into the scan it was registered; none: never
    bool AddressRefused = false;        // TagEdAddr refuses its address (asked only for silent tags)
};

// What a scan has counted so far.
struct ScanCounters {
    std::uint64_t Calls = 0; // OnDataRead
    std::uint64_t Reports = 0;
    std::uint64_t WritesAccepted = 0;
    std::uint64_t WritesRefused = 0;
    std::uint64_t Messages = 0;
    std::uint64_t Alarms = 0;
    std::uint64_t WriteTagsCalls = 0;
    std::uint64_t WriteTagsIncomplete = 0; // WriteTags answered 1
    std::uint64_t ReadTagsCalls = 0;
    std::uint64_t AddTagsCalls = 0;
    std::uint64_t WriteLogCalls = 0;
    std::optional<std::string> LastStatistics; // the link supervision's last statistics line
};

// Rows of cells as lines whose columns line up (two spaces between them, none at the end).
std::vector<std::string> TableLines(const std::vector<std::vector<std::string>>& rows);

// The time of day of a driver time stamp (days since 1899-12-30, fraction = time of day).
std::string StampText(double stamp);
std::string SecondsText(double seconds);
// One line of text from a driver message: GBK to UTF-8, line breaks folded.
std::string MessageText(const std::string& gbk);

class HostDisplay {
public:
    HostDisplay(const HostOptions& options, const HostConsole& console)
        : options_(options), console_(console) {}

    void Line(const std::string& text);
    // An error that stops the host.
    void Error(const std::string& text);
    // Something that happened while scanning: a line at once, or a line of the live table's recent list.
    void Event(const std::string& text);
    // A tag's new value: a line of its own unless the table shows it.
    void Changed(const TagState& tag);
    // A line typed below the live table, which the next redraw also covers.
    void Typed() { ++typedLines_; }

    void BeginLive();
    void EndLive(double elapsed, std::uint16_t scanMs, const std::vector<TagState>& tags,
                 const ScanCounters& counters);
    void Draw(double elapsed, std::uint16_t scanMs, const std::vector<TagState>& tags,
              const ScanCounters& counters);
    void Summary(double seconds, const std::vector<TagState>& tags, const ScanCounters& counters,
                 const SharedMemory& memory);

private:
    void SilentTags(double seconds, const std::vector<TagState>& tags);

    const HostOptions& options_;
    const HostConsole& console_;
    std::deque<std::string> recent_;
    int drawnLines_ = 0;
    int typedLines_ = 0;
};

} // namespace korax::tools::host
