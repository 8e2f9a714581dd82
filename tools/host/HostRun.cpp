#include "host/HostRun.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <map>
#include <memory>
#include <thread>
#include <unordered_map>

#include "common/FileIo.h"
#include "common/TextCodec.h"
#include "host/AlarmEvent.h"
#include "host/DriverBinding.h"
#include "host/TagFile.h"

namespace korax::tools::host {

namespace {

using SteadyClock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr std::string_view ScenarioVariable = "KORAX_SIM_SCENARIO";
// The statistics line of the link supervision starts its first field with this (GBK, as the driver
// writes it: the sources are compiled to the driver's code page).
constexpr std::string_view StatisticsMarker = "通讯失败率=";

constexpr std::int32_t WizardAccepted = 1;
constexpr auto StatusInterval = 500ms; // how often GetDeviceStatus collects a pending message
constexpr auto RedrawInterval = 250ms;
constexpr std::size_t RecentEvents = 5;
constexpr std::uint16_t FallbackScanMs = 10; // should the driver ever answer 0
// Lines of the live frame besides the tag rows: title, counters, blank, heading, blank, "recent", the
// events, the input hint.
constexpr int FrameOverhead = 7 + static_cast<int>(RecentEvents);

constexpr std::string_view InputHelp = "type NAME=VALUE and Enter to write a tag, quit to stop";

std::string ClockText(int hours, int minutes, int seconds, int millis) {
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", hours, minutes, seconds, millis);
    return text;
}

// The time of day of a driver time stamp (days since 1899-12-30, fraction = time of day).
std::string StampText(double stamp) {
    if (!std::isfinite(stamp)) return "??:??:??.???";
    const double fraction = stamp - std::floor(stamp);
    auto millis = static_cast<long long>(std::llround(fraction * 86'400'000.0));
    millis = std::clamp(millis, 0LL, 86'399'999LL);
    return ClockText(static_cast<int>(millis / 3'600'000), static_cast<int>(millis / 60'000 % 60),
                     static_cast<int>(millis / 1000 % 60), static_cast<int>(millis % 1000));
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

std::string SecondsText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", seconds);
    return text;
}

// One line of text from a driver message: GBK to UTF-8, line breaks folded.
std::string MessageText(const std::string& gbk) {
    std::string text = GbkToUtf8(gbk);
    for (char& c : text) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

std::string Pad(const std::string& text, std::size_t width) {
    const std::size_t shown = DisplayWidth(text);
    return shown >= width ? text : text + std::string(width - shown, ' ');
}

std::string Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return std::string(text);
}

// What the host knows of one tag while it runs.
struct TagState {
    TagListEntry Entry;
    std::optional<TagValue> Last; // the last value reported
    double ChangedAt = 0;         // driver time stamp of the last change
    std::uint64_t Reports = 0;
};

class Session {
public:
    Session(const HostOptions& options, const HostConsole& console) : options_(options), console_(console) {}

    int Run() {
        if (!LoadTags()) return HostBadInput;
        if (!CheckWrites()) return HostBadInput;
        if (!options_.ScenarioPath.empty()) {
            if (!FileExists(options_.ScenarioPath)) {
                return Fail(HostBadInput, "scenario " + options_.ScenarioPath + ": no such file");
            }
            // The port I/O library stand-in reads it when the driver loads it, at IniDriver.
            SetProcessEnvironment(ScenarioVariable, options_.ScenarioPath);
        }
        std::string error;
        memory_ = SharedMemory::Load(error);
        if (!memory_) return Fail(HostDriverFailed, error);
        const std::string driverName =
            options_.DriverName.empty() ? std::string(DefaultDriverName) : options_.DriverName;
        driver_ = DriverLibrary::Load(driverName, error);
        if (!driver_) return Fail(HostDriverFailed, error);
        api_ = &driver_->Api();

        int result = LoadBlock();
        if (result == HostDone) result = Actions();
        if (result == HostDone && !options_.TagPath.empty()) result = Scan(driverName);
        // Unload before the manager: the driver's objects go with it and may still hold the manager.
        driver_->Unload();
        return result;
    }

private:
    // --- Output --------------------------------------------------------------------------------------

    void Line(const std::string& text) { console_.Write(text + "\n"); }

    int Fail(int code, const std::string& text) {
        const std::string line = "korax-host: error: " + text + "\n";
        if (console_.WriteError) {
            console_.WriteError(line);
        } else {
            console_.Write(line);
        }
        return code;
    }

    // Something that happened while scanning: a line at once, or a line of the live table's recent list.
    void Event(const std::string& text) {
        const std::string line = NowText() + " " + text;
        if (!options_.Live) {
            Line(line);
            return;
        }
        recent_.push_back(line);
        if (recent_.size() > RecentEvents) recent_.pop_front();
    }

    // Takes a message the driver handed over (nil means none) and tells it.
    void Message(const std::string& source, char*& text) {
        const auto gbk = memory_->Take(text);
        if (!gbk) return;
        ++messages_;
        const std::string shown = MessageText(*gbk);
        if (gbk->find(StatisticsMarker) != std::string::npos) lastStatistics_ = shown;
        Event("message from " + source + ": " + shown);
    }

    // --- Inputs --------------------------------------------------------------------------------------

    bool LoadTags() {
        if (options_.TagPath.empty()) return true;
        std::string error;
        const auto text = ReadTextFile(options_.TagPath, error);
        if (!text) {
            Fail(HostBadInput, error);
            return false;
        }
        try {
            for (TagListEntry& entry : ParseTagFile(*text, options_.TagPath)) {
                byName_[entry.Name] = tags_.size();
                byId_[entry.Id] = tags_.size();
                tags_.push_back({std::move(entry), std::nullopt, 0, 0});
            }
        } catch (const TagFileError& bad) {
            Fail(HostBadInput, bad.what());
            return false;
        }
        if (tags_.empty()) {
            Fail(HostBadInput, options_.TagPath + ": no tags");
            return false;
        }
        return true;
    }

    bool CheckWrites() {
        if (!options_.Writes.empty() && options_.TagPath.empty()) {
            Fail(HostBadInput, "--write needs --tags: values are written while the tags are scanned");
            return false;
        }
        for (const ScheduledWrite& write : options_.Writes) {
            const auto tag = byName_.find(write.Name);
            if (tag == byName_.end()) {
                Fail(HostBadInput, "--write " + write.Name + ": no tag of that name in " + options_.TagPath);
                return false;
            }
            std::string reason;
            if (!ParseValue(tags_[tag->second].Entry.Type, write.Value, reason)) {
                Fail(HostBadInput, "--write " + write.Name + ": " + reason + " (the tag is " +
                                       std::string(DataTypeName(tags_[tag->second].Entry.Type)) + ")");
                return false;
            }
        }
        return true;
    }

    int LoadBlock() {
        const std::int32_t length = api_->GetPDBLen();
        if (length <= 0) return Fail(HostDriverFailed, "GetPDBLen answered " + std::to_string(length));
        block_.assign(static_cast<std::size_t>(length), 0);
        if (options_.BlockPath.empty() || (options_.Edit && !FileExists(options_.BlockPath))) {
            api_->FullPDB(block_.data());
            Line("block: the driver's factory defaults (FullPDB)");
            return HostDone;
        }
        std::string error;
        const auto bytes = ReadFileBytes(options_.BlockPath, error);
        if (!bytes) return Fail(HostBadInput, error);
        if (bytes->size() != block_.size()) {
            return Fail(HostBadInput, options_.BlockPath + ": " + std::to_string(bytes->size()) +
                                          " bytes; the driver's parameter block has " +
                                          std::to_string(length) + " (GetPDBLen)");
        }
        block_ = *bytes;
        Line("block: " + options_.BlockPath);
        return HostDone;
    }

    // --- Actions before the scan ---------------------------------------------------------------------

    int Actions() {
        for (const std::string& address : options_.CheckAddresses) CheckAddress(address);
        if (options_.Test) {
            const bool passed = api_->DLLTestDev(block_.data(), driver::HostFalse) != 0;
            Line(std::string("DLLTestDev: ") + (passed ? "true" : "false"));
        }
        if (options_.Edit) return Edit();
        return HostDone;
    }

    void CheckAddress(const std::string& address) {
        std::string own = Utf8ToGbk(address); // the host's string: the driver reads it and never frees it
        char* const original = own.data();
        char* cell = original;
        char* message = nullptr;
        const bool accepted = api_->TagEdAddr(block_.data(), &cell, driver::HostFalse, &message) != 0;
        std::string normalised = "(nil)";
        if (cell != original) {
            if (const auto text = memory_->Take(cell)) normalised = GbkToUtf8(*text);
        }
        Line("TagEdAddr " + address + ": " + (accepted ? "accepted" : "refused") + ", normalised to " +
             normalised);
        if (const auto text = memory_->Take(message)) {
            ++messages_;
            Line("TagEdAddr message: " + MessageText(*text));
        }
    }

    int Edit() {
        if (options_.BlockPath.empty()) {
            return Fail(HostBadInput,
                        "--edit needs --pdb FILE: the block the wizard edits and that is saved");
        }
        const std::int32_t result = api_->DLLEdDev(ConsoleWindowHandle(), block_.data());
        if (result != WizardAccepted) {
            Line("DLLEdDev: " + std::to_string(result) + " (not accepted); " + options_.BlockPath +
                 " left as it was");
            return HostDone;
        }
        std::string error;
        if (!WriteWholeFile(options_.BlockPath, std::span<const std::uint8_t>(block_), error)) {
            return Fail(HostBadInput, error);
        }
        Line("DLLEdDev: 1 (accepted); saved " + options_.BlockPath);
        return HostDone;
    }

    // --- The scan ------------------------------------------------------------------------------------

    // The host's tag definition records; a text initial value points into `initialTexts`.
    std::vector<HostTagDef> Definitions(std::vector<std::string>& initialTexts) const {
        std::vector<HostTagDef> records(tags_.size());
        initialTexts.resize(tags_.size());
        for (std::size_t i = 0; i < tags_.size(); ++i) {
            const TagListEntry& entry = tags_[i].Entry;
            HostTagDef& record = records[i];
            std::memset(&record, 0, sizeof record);
            record.TagId = entry.Id;
            const std::string name = Utf8ToGbk(entry.Name);
            const std::string address = Utf8ToGbk(entry.Address);
            // A field filled to the end has no terminating zero; the driver stops at the field's end.
            std::memcpy(record.Name, name.data(), std::min(name.size(), sizeof record.Name));
            std::memcpy(record.Address, address.data(), std::min(address.size(), sizeof record.Address));
            record.DataType = static_cast<std::uint8_t>(entry.Type);
            record.ScanInterval = entry.ScanInterval;
            if (!entry.Initial) continue;
            // Initial values travel as OLE Automation variants, texts as the host's own 8-bit string.
            switch (entry.Type) {
            case DataType::Real: {
                record.InitialType = static_cast<std::uint16_t>(driver::VariantType::Double);
                std::memcpy(record.InitialValue, &entry.Initial->Real, sizeof(double));
                break;
            }
            case DataType::Boolean: {
                record.InitialType = static_cast<std::uint16_t>(driver::VariantType::Boolean);
                const std::int16_t truth = entry.Initial->Truth ? -1 : 0;
                std::memcpy(record.InitialValue, &truth, sizeof truth);
                break;
            }
            case DataType::Text: {
                record.InitialType = static_cast<std::uint16_t>(driver::VariantType::HostString);
                initialTexts[i] = Utf8ToGbk(entry.Initial->Text);
                const char* text = initialTexts[i].c_str();
                std::memcpy(record.InitialValue, &text, sizeof text);
                break;
            }
            }
        }
        return records;
    }

    int Scan(const std::string& driverName) {
        Line("driver: " + driverName + "; " + std::to_string(tags_.size()) + " tags from " +
             options_.TagPath);
        std::vector<std::string> initialTexts;
        const std::vector<HostTagDef> records = Definitions(initialTexts);
        std::vector<const HostTagDef*> pointers;
        for (const HostTagDef& record : records) pointers.push_back(&record);

        char* message = nullptr;
        const bool initialised = api_->IniDriver(static_cast<std::int32_t>(pointers.size()), pointers.data(),
                                                 block_.data(), &message) != 0;
        const auto text = memory_->Take(message);
        if (text) ++messages_;
        Line(std::string("IniDriver: ") + (initialised ? "true" : "false") +
             (text ? "; message: " + MessageText(*text) : "; no message"));
        if (!initialised) {
            api_->FreeDriver();
            Line("the driver refused to initialise: check the block's boards and base addresses (korax-pdb "
                 "show)");
            Summary(0.0);
            return HostDriverFailed;
        }
        AlarmEvent alarm;
        api_->IniDriverEx(alarm.Handle());
        std::uint16_t scanMs = api_->DetectScanTime();
        Line("DetectScanTime: " + std::to_string(scanMs) + " ms");
        if (scanMs == 0) scanMs = FallbackScanMs;
        Line(options_.DurationSeconds > 0 ? "scanning for " + SecondsText(options_.DurationSeconds) + " s"
                                          : std::string("scanning until stopped (Ctrl+C)"));
        if (options_.TakesInput) Line(std::string(InputHelp));

        std::vector<ScheduledWrite> pending = options_.Writes;
        std::stable_sort(pending.begin(), pending.end(),
                         [](const ScheduledWrite& a, const ScheduledWrite& b) { return a.AtMs < b.AtMs; });
        std::size_t nextWrite = 0;
        std::vector<TagValueRec> reports(tags_.size());
        const auto start = SteadyClock::now();
        auto nextStep = start;
        auto nextStatus = start + StatusInterval;
        auto nextRedraw = start;
        if (options_.Live) ShowTerminalCursor(false); // it would flicker through the table

        while (true) {
            const auto now = SteadyClock::now();
            const double elapsed = std::chrono::duration<double>(now - start).count();
            if (console_.StopRequested && console_.StopRequested()) break;
            if (options_.DurationSeconds > 0 && elapsed >= options_.DurationSeconds) break;

            const auto elapsedMs = static_cast<std::uint64_t>(elapsed * 1000.0);
            while (nextWrite < pending.size() && pending[nextWrite].AtMs <= elapsedMs) {
                const ScheduledWrite& write = pending[nextWrite++];
                Write(tags_[byName_.at(write.Name)], write.Value);
            }
            if (!Typed()) break;

            std::int32_t count = 0;
            api_->OnDataRead(&count, reports.data(), &message);
            ++calls_;
            Message("OnDataRead", message);
            TakeReports(reports, count);
            if (alarm.Fired()) {
                ++alarms_;
                Event("alarm: the driver signalled the alarm event (serious link failure)");
            }
            if (now >= nextStatus) {
                api_->GetDeviceStatus(&message);
                Message("GetDeviceStatus", message);
                nextStatus = now + StatusInterval;
            }
            if (options_.Live && now >= nextRedraw) {
                Draw(elapsed, scanMs);
                nextRedraw = now + RedrawInterval;
            }
            // A late step is not made up for with a burst: the host's timer would not do that either.
            nextStep += std::chrono::milliseconds(scanMs);
            if (nextStep < SteadyClock::now()) nextStep = SteadyClock::now();
            std::this_thread::sleep_until(nextStep);
        }
        const double ran = std::chrono::duration<double>(SteadyClock::now() - start).count();
        api_->FreeDriver();
        if (options_.Live) {
            Draw(ran, scanMs);
            ShowTerminalCursor(true);
        }
        Summary(ran);
        return HostDone;
    }

    void TakeReports(std::vector<TagValueRec>& records, std::int32_t count) {
        if (count < 0 || static_cast<std::size_t>(count) > records.size()) {
            Event("OnDataRead reported " + std::to_string(count) + " records for an array of " +
                  std::to_string(records.size()));
            count = std::clamp<std::int32_t>(count, 0, static_cast<std::int32_t>(records.size()));
        }
        for (std::int32_t i = 0; i < count; ++i) {
            TagValueRec& record = records[static_cast<std::size_t>(i)];
            TagValue value;
            value.Type = static_cast<DataType>(record.DataType);
            switch (record.DataType) {
            case 0:
                std::memcpy(&value.Real, record.Value, sizeof value.Real);
                break;
            case 1: {
                std::int32_t word = 0;
                std::memcpy(&word, record.Value, sizeof word);
                value.Truth = word != 0;
                break;
            }
            case 2: {
                // Every text is released, whatever becomes of the record.
                char* text = nullptr;
                std::memcpy(&text, record.Value, sizeof text);
                value.Text = GbkToUtf8(memory_->Take(text).value_or(std::string()));
                break;
            }
            default:
                Event("record of tag " + std::to_string(record.TagId) + " has data type " +
                      std::to_string(record.DataType));
                continue;
            }
            ++reports_;
            const auto found = byId_.find(static_cast<std::uint32_t>(record.TagId));
            if (found == byId_.end()) {
                Event("report for tag id " + std::to_string(record.TagId) +
                      ", which the host never registered");
                continue;
            }
            TagState& tag = tags_[found->second];
            ++tag.Reports;
            if (tag.Last && *tag.Last == value) continue;
            tag.Last = value;
            tag.ChangedAt = record.TimeStamp;
            if (!options_.Live) {
                Line(StampText(record.TimeStamp) + " " + tag.Entry.Name + " (" + tag.Entry.Address +
                     ") = " + ValueText(value));
            }
        }
    }

    void Write(const TagState& tag, const std::string& valueText) {
        std::string reason;
        const auto value = ParseValue(tag.Entry.Type, valueText, reason);
        if (!value) {
            Event("write " + tag.Entry.Name + ": " + reason);
            return;
        }
        TagValueRec record;
        std::memset(&record, 0, sizeof record);
        record.TagId = static_cast<std::int32_t>(tag.Entry.Id);
        record.DataType = static_cast<std::uint8_t>(tag.Entry.Type);
        const std::string text = Utf8ToGbk(value->Text); // the host's: the driver copies it
        switch (value->Type) {
        case DataType::Real:
            std::memcpy(record.Value, &value->Real, sizeof value->Real);
            break;
        case DataType::Boolean: {
            const std::int32_t word = value->Truth ? 1 : 0;
            std::memcpy(record.Value, &word, sizeof word);
            break;
        }
        case DataType::Text: {
            const char* pointer = text.c_str();
            std::memcpy(record.Value, &pointer, sizeof pointer);
            break;
        }
        }
        char* message = nullptr;
        const bool accepted = api_->OnDataWrite(1, &record, &message) != 0;
        ++(accepted ? writesAccepted_ : writesRefused_);
        Event("write " + tag.Entry.Name + " (" + tag.Entry.Address + ") = " + ValueText(*value) + ": " +
              (accepted ? "accepted" : "refused"));
        Message("OnDataWrite", message);
    }

    // Lines typed meanwhile; false when one asks to stop.
    bool Typed() {
        if (!options_.TakesInput || !console_.ReadLine) return true;
        while (const auto typed = console_.ReadLine()) {
            // The typed line and its Enter moved the cursor below the live table.
            ++typedLines_;
            const std::string line = Trimmed(*typed);
            if (line.empty()) continue;
            if (line == "quit" || line == "exit" || line == "q") return false;
            if (line == "help" || line == "?") {
                Event(std::string(InputHelp));
                continue;
            }
            const std::size_t equals = line.find('=');
            if (equals == std::string::npos) {
                Event("input \"" + line + "\": expected NAME=VALUE (or quit)");
                continue;
            }
            const auto tag = byName_.find(Trimmed(std::string_view(line).substr(0, equals)));
            if (tag == byName_.end()) {
                Event("input \"" + line + "\": no tag named " +
                      Trimmed(std::string_view(line).substr(0, equals)));
                continue;
            }
            Write(tags_[tag->second], Trimmed(std::string_view(line).substr(equals + 1)));
        }
        return true;
    }

    // --- The live table ------------------------------------------------------------------------------

    void Draw(double elapsed, std::uint16_t scanMs) {
        const TerminalSize size = (console_.Size ? console_.Size() : std::nullopt).value_or(TerminalSize{});
        std::vector<std::string> lines;
        lines.push_back(
            "korax-host  scan " + std::to_string(scanMs) + " ms  " + SecondsText(elapsed) + " s" +
            (options_.DurationSeconds > 0 ? " of " + SecondsText(options_.DurationSeconds) + " s" : ""));
        lines.push_back("OnDataRead " + std::to_string(calls_) + "  reports " + std::to_string(reports_) +
                        "  writes " + std::to_string(writesAccepted_ + writesRefused_) + "  messages " +
                        std::to_string(messages_) + "  alarms " + std::to_string(alarms_));
        lines.emplace_back();

        std::vector<std::array<std::string, 5>> rows = {
            {"name", "address", "value", "last change", "reports"}};
        const int room = std::max(size.Rows - FrameOverhead - 2, 3);
        const std::size_t shown = std::min(tags_.size(), static_cast<std::size_t>(room));
        for (std::size_t i = 0; i < shown; ++i) {
            const TagState& tag = tags_[i];
            rows.push_back({tag.Entry.Name, tag.Entry.Address, tag.Last ? ValueText(*tag.Last) : "-",
                            tag.Last ? StampText(tag.ChangedAt) : "-", std::to_string(tag.Reports)});
        }
        std::array<std::size_t, 5> width{};
        for (const auto& row : rows) {
            for (std::size_t c = 0; c < row.size(); ++c) width[c] = std::max(width[c], DisplayWidth(row[c]));
        }
        for (const auto& row : rows) {
            std::string line;
            for (std::size_t c = 0; c < row.size(); ++c) line += Pad(row[c], width[c] + 2);
            while (!line.empty() && line.back() == ' ') line.pop_back();
            lines.push_back(line);
        }
        if (shown < tags_.size())
            lines.push_back("... and " + std::to_string(tags_.size() - shown) + " more tags");
        lines.emplace_back();
        lines.emplace_back("recent:");
        for (const std::string& event : recent_) lines.push_back("  " + event);
        if (options_.TakesInput) lines.emplace_back(InputHelp);

        RedrawLines(drawnLines_ + typedLines_, lines, size.Columns);
        drawnLines_ = static_cast<int>(lines.size());
        typedLines_ = 0;
    }

    void Summary(double seconds) {
        Line("summary: " + std::to_string(calls_) + " OnDataRead calls in " + SecondsText(seconds) + " s, " +
             std::to_string(reports_) + " reports, " + std::to_string(writesAccepted_ + writesRefused_) +
             " writes (" + std::to_string(writesAccepted_) + " accepted, " + std::to_string(writesRefused_) +
             " refused), " + std::to_string(messages_) + " messages, " + std::to_string(alarms_) + " alarms");
        if (lastStatistics_) Line("last statistics line: " + *lastStatistics_);
        std::string silent;
        for (const TagState& tag : tags_) {
            if (tag.Reports == 0)
                silent += (silent.empty() ? "" : ", ") + tag.Entry.Name + " (" + tag.Entry.Address + ")";
        }
        if (!silent.empty()) {
            Line("never reported: " + silent +
                 " (an address the driver refused, or a board it does not see)");
        }
        std::string strings = "strings from the driver: " + std::to_string(memory_->Released()) +
                              " released to the shared memory manager, " +
                              std::to_string(memory_->Refused()) + " refused";
        if (const auto live = memory_->LiveBlocks())
            strings += ", " + std::to_string(*live) + " blocks still live";
        Line(strings);
    }

    const HostOptions& options_;
    const HostConsole& console_;
    std::unique_ptr<SharedMemory> memory_;
    std::unique_ptr<DriverLibrary> driver_;
    const DriverEntries* api_ = nullptr;
    std::vector<std::uint8_t> block_;
    std::vector<TagState> tags_;
    std::map<std::string, std::size_t> byName_;
    std::unordered_map<std::uint32_t, std::size_t> byId_;
    std::deque<std::string> recent_;
    std::optional<std::string> lastStatistics_;
    std::uint64_t calls_ = 0;
    std::uint64_t reports_ = 0;
    std::uint64_t writesAccepted_ = 0;
    std::uint64_t writesRefused_ = 0;
    std::uint64_t messages_ = 0;
    std::uint64_t alarms_ = 0;
    int drawnLines_ = 0;
    int typedLines_ = 0;
};

} // namespace

std::optional<ScheduledWrite> ParseWriteOption(std::string_view text, std::string& reason) {
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos || equals == 0) {
        reason = "\"" + std::string(text) + "\" is not NAME=VALUE[@SECONDS]";
        return std::nullopt;
    }
    ScheduledWrite write;
    write.Name = Trimmed(text.substr(0, equals));
    std::string_view value = text.substr(equals + 1);
    if (const std::size_t at = value.rfind('@'); at != std::string_view::npos) {
        const std::string when(value.substr(at + 1));
        char* end = nullptr;
        const double seconds = std::strtod(when.c_str(), &end);
        if (when.empty() || end != when.c_str() + when.size() || !std::isfinite(seconds) || seconds < 0 ||
            seconds > 4.0e6) {
            reason = "\"" + when + "\" after '@' is not a number of seconds";
            return std::nullopt;
        }
        write.AtMs = static_cast<std::uint32_t>(std::llround(seconds * 1000.0));
        value = value.substr(0, at);
    }
    write.Value = std::string(value);
    return write;
}

int RunHost(const HostOptions& options, const HostConsole& console) {
    Session session(options, console);
    return session.Run();
}

} // namespace korax::tools::host
