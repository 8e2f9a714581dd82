// The session of korax-host: it takes the inputs, loads the driver and its memory manager, runs the
// actions asked for on the block, then scans, writes and collects until the time is up or it is stopped.
#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <thread>
#include <unordered_map>

#include "common/FileIo.h"
#include "common/TextCodec.h"
#include "host/AlarmEvent.h"
#include "host/DriverBinding.h"
#include "host/HostDisplay.h"
#include "host/HostRecords.h"
#include "host/HostRun.h"
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
constexpr std::uint16_t FallbackScanMs = 10; // should the driver ever answer 0

class Session {
public:
    Session(const HostOptions& options, const HostConsole& console)
        : options_(options), console_(console), display_(options, console) {}

    ExitCode Run() {
        if (const Status tags = LoadTags(); !tags) return Fail(ExitCode::BadInput, tags.Error().Text);
        if (!options_.Writes.empty() && options_.TagPath.empty()) {
            return Fail(ExitCode::BadCommandLine,
                        "--write needs --tags: values are written while the tags are scanned");
        }
        if (const Status writes = CheckWrites(); !writes)
            return Fail(ExitCode::BadInput, writes.Error().Text);
        if (!options_.ScenarioPath.empty()) {
            if (!FileExists(options_.ScenarioPath)) {
                return Fail(ExitCode::BadInput, "scenario " + options_.ScenarioPath + ": no such file");
            }
            // The port I/O library stand-in reads it when the driver loads it, at IniDriver.
            SetProcessEnvironment(ScenarioVariable, options_.ScenarioPath);
        }
        auto memory = SharedMemory::Load();
        if (!memory) return Fail(ExitCode::DriverFailed, memory.Error().Text);
        memory_ = std::move(*memory);
        const std::string driverName =
            options_.DriverName.empty() ? std::string(DefaultDriverName) : options_.DriverName;
        auto driver = DriverLibrary::Load(driverName);
        if (!driver) return Fail(ExitCode::DriverFailed, driver.Error().Text);
        driver_ = std::move(*driver);
        api_ = &driver_->Api();

        ExitCode result = LoadBlock();
        if (result == ExitCode::Done) result = Actions();
        if (result == ExitCode::Done && !options_.TagPath.empty()) result = Scan(driverName);
        // Unload before the manager: the driver's objects go with it and may still hold the manager.
        driver_->Unload();
        return result;
    }

private:
    void Line(const std::string& text) { display_.Line(text); }

    ExitCode Fail(ExitCode code, const std::string& text) {
        display_.Error(text);
        return code;
    }

    // Takes a message the driver handed over (nil means none) and tells it.
    void Message(const std::string& source, char*& text) {
        const auto gbk = memory_->Take(text);
        if (!gbk) return;
        ++counters_.Messages;
        const std::string shown = MessageText(*gbk);
        if (gbk->find(StatisticsMarker) != std::string::npos) counters_.LastStatistics = shown;
        display_.Event("message from " + source + ": " + shown);
    }

    // --- Inputs --------------------------------------------------------------------------------------

    Status LoadTags() {
        if (options_.TagPath.empty()) return {};
        const auto text = ReadTextFile(options_.TagPath);
        if (!text) return text.Error();
        auto entries = ParseTagFile(*text, options_.TagPath);
        if (!entries) return Failure{entries.Error().Text};
        for (TagListEntry& entry : *entries) {
            byName_[entry.Name] = tags_.size();
            byId_[entry.Id] = tags_.size();
            tags_.push_back({std::move(entry), std::nullopt, 0, 0});
        }
        if (tags_.empty()) return Failure{options_.TagPath + ": no tags"};
        return {};
    }

    Status CheckWrites() const {
        for (const ScheduledWrite& write : options_.Writes) {
            const auto tag = byName_.find(write.Name);
            if (tag == byName_.end()) {
                return Failure{"--write " + write.Name + ": no tag of that name in " + options_.TagPath};
            }
            const DataType type = tags_[tag->second].Entry.Type;
            if (const auto value = ParseValue(type, write.Value); !value) {
                return Failure{"--write " + write.Name + ": " + value.Error().Text + " (the tag is " +
                               std::string(DataTypeName(type)) + ")"};
            }
        }
        return {};
    }

    ExitCode LoadBlock() {
        const std::int32_t length = api_->GetPDBLen();
        if (length <= 0) return Fail(ExitCode::DriverFailed, "GetPDBLen answered " + std::to_string(length));
        block_.assign(static_cast<std::size_t>(length), 0);
        if (options_.BlockPath.empty() || (options_.Edit && !FileExists(options_.BlockPath))) {
            api_->FullPDB(block_.data());
            Line("block: the driver's factory defaults (FullPDB)");
            return ExitCode::Done;
        }
        auto bytes = ReadFileBytes(options_.BlockPath);
        if (!bytes) return Fail(ExitCode::BadInput, bytes.Error().Text);
        if (bytes->size() != block_.size()) {
            return Fail(ExitCode::BadInput, options_.BlockPath + ": " + std::to_string(bytes->size()) +
                                                " bytes; the driver's parameter block has " +
                                                std::to_string(length) + " (GetPDBLen)");
        }
        block_ = std::move(*bytes);
        Line("block: " + options_.BlockPath);
        return ExitCode::Done;
    }

    // --- Actions before the scan ---------------------------------------------------------------------

    ExitCode Actions() {
        for (const std::string& address : options_.CheckAddresses) CheckAddress(address);
        if (options_.Test) {
            const bool passed = api_->DLLTestDev(block_.data(), driver::HostFalse) != 0;
            Line(std::string("DLLTestDev: ") + (passed ? "true" : "false"));
        }
        if (options_.Edit) return Edit();
        return ExitCode::Done;
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
            ++counters_.Messages;
            Line("TagEdAddr message: " + MessageText(*text));
        }
    }

    ExitCode Edit() {
        if (options_.BlockPath.empty()) {
            return Fail(ExitCode::BadCommandLine,
                        "--edit needs --pdb FILE: the block the wizard edits and that is saved");
        }
        const std::int32_t result = api_->DLLEdDev(ConsoleWindowHandle(), block_.data());
        if (result != WizardAccepted) {
            Line("DLLEdDev: " + std::to_string(result) + " (not accepted); " + options_.BlockPath +
                 " left as it was");
            return ExitCode::Done;
        }
        if (const Status saved = WriteWholeFile(options_.BlockPath, std::span<const std::uint8_t>(block_));
            !saved) {
            return Fail(ExitCode::BadInput, saved.Error().Text);
        }
        Line("DLLEdDev: 1 (accepted); saved " + options_.BlockPath);
        return ExitCode::Done;
    }

    // --- The scan ------------------------------------------------------------------------------------

    std::vector<TagListEntry> Entries() const {
        std::vector<TagListEntry> entries;
        for (const TagState& tag : tags_) entries.push_back(tag.Entry);
        return entries;
    }

    // IniDriver and IniDriverEx; false when the driver refuses to initialise.
    bool Initialise(const AlarmEvent& alarm) {
        std::vector<std::string> initialTexts;
        const std::vector<HostTagDef> records = TagDefinitions(Entries(), initialTexts);
        std::vector<const HostTagDef*> pointers;
        for (const HostTagDef& record : records) pointers.push_back(&record);

        char* message = nullptr;
        const bool initialised = api_->IniDriver(static_cast<std::int32_t>(pointers.size()), pointers.data(),
                                                 block_.data(), &message) != 0;
        const auto text = memory_->Take(message);
        if (text) ++counters_.Messages;
        Line(std::string("IniDriver: ") + (initialised ? "true" : "false") +
             (text ? "; message: " + MessageText(*text) : "; no message"));
        if (!initialised) {
            api_->FreeDriver();
            Line("the driver refused to initialise: check the block's boards and base addresses (korax-pdb "
                 "show)");
            display_.Summary(0.0, tags_, counters_, *memory_);
            return false;
        }
        api_->IniDriverEx(alarm.Handle());
        return true;
    }

    ExitCode Scan(const std::string& driverName) {
        Line("driver: " + driverName + "; " + std::to_string(tags_.size()) + " tags from " +
             options_.TagPath);
        AlarmEvent alarm;
        if (!Initialise(alarm)) return ExitCode::DriverFailed;
        std::uint16_t scanMs = api_->DetectScanTime();
        Line("DetectScanTime: " + std::to_string(scanMs) + " ms");
        if (scanMs == 0) scanMs = FallbackScanMs;
        Line(options_.DurationSeconds > 0 ? "scanning for " + SecondsText(options_.DurationSeconds) + " s"
                                          : std::string("scanning until stopped (Ctrl+C)"));
        if (options_.TakesInput) Line(std::string(InputHelp));

        pending_ = options_.Writes;
        std::stable_sort(pending_.begin(), pending_.end(),
                         [](const ScheduledWrite& a, const ScheduledWrite& b) { return a.AtMs < b.AtMs; });
        reports_.resize(tags_.size());
        const auto start = SteadyClock::now();
        auto nextStep = start;
        auto nextStatus = start + StatusInterval;
        auto nextRedraw = start;
        display_.BeginLive();

        while (true) {
            const auto now = SteadyClock::now();
            const double elapsed = std::chrono::duration<double>(now - start).count();
            if (console_.StopRequested && console_.StopRequested()) break;
            if (options_.DurationSeconds > 0 && elapsed >= options_.DurationSeconds) break;
            if (!Step(elapsed, alarm)) break;
            if (now >= nextStatus) {
                char* message = nullptr;
                api_->GetDeviceStatus(&message);
                Message("GetDeviceStatus", message);
                nextStatus = now + StatusInterval;
            }
            if (options_.Live && now >= nextRedraw) {
                display_.Draw(elapsed, scanMs, tags_, counters_);
                nextRedraw = now + RedrawInterval;
            }
            // A late step is not made up for with a burst: the host's timer would not do that either.
            nextStep += std::chrono::milliseconds(scanMs);
            if (nextStep < SteadyClock::now()) nextStep = SteadyClock::now();
            std::this_thread::sleep_until(nextStep);
        }
        const double ran = std::chrono::duration<double>(SteadyClock::now() - start).count();
        api_->FreeDriver();
        display_.EndLive(ran, scanMs, tags_, counters_);
        display_.Summary(ran, tags_, counters_, *memory_);
        return ExitCode::Done;
    }

    // One scan step: the writes that are due, the lines typed, OnDataRead and the alarm event; false
    // when a typed line asks to stop.
    bool Step(double elapsed, AlarmEvent& alarm) {
        const auto elapsedMs = static_cast<std::uint64_t>(elapsed * 1000.0);
        while (nextWrite_ < pending_.size() && pending_[nextWrite_].AtMs <= elapsedMs) {
            const ScheduledWrite& write = pending_[nextWrite_++];
            Write(tags_[byName_.at(write.Name)], write.Value);
        }
        if (!Typed()) return false;

        std::int32_t count = 0;
        char* message = nullptr;
        api_->OnDataRead(&count, reports_.data(), &message);
        ++counters_.Calls;
        Message("OnDataRead", message);
        TakeReports(count);
        if (alarm.Fired()) {
            ++counters_.Alarms;
            display_.Event("alarm: the driver signalled the alarm event (serious link failure)");
        }
        return true;
    }

    void TakeReports(std::int32_t count) {
        if (count < 0 || static_cast<std::size_t>(count) > reports_.size()) {
            display_.Event("OnDataRead reported " + std::to_string(count) + " records for an array of " +
                           std::to_string(reports_.size()));
            count = std::clamp<std::int32_t>(count, 0, static_cast<std::int32_t>(reports_.size()));
        }
        for (std::int32_t i = 0; i < count; ++i) {
            const TagValueRec& record = reports_[static_cast<std::size_t>(i)];
            const auto value = TakeRecordValue(record, *memory_);
            if (!value) {
                display_.Event("record of tag " + std::to_string(record.TagId) + " has data type " +
                               std::to_string(record.DataType));
                continue;
            }
            ++counters_.Reports;
            const auto found = byId_.find(static_cast<std::uint32_t>(record.TagId));
            if (found == byId_.end()) {
                display_.Event("report for tag id " + std::to_string(record.TagId) +
                               ", which the host never registered");
                continue;
            }
            TagState& tag = tags_[found->second];
            ++tag.Reports;
            if (tag.Last && *tag.Last == *value) continue;
            tag.Last = *value;
            tag.ChangedAt = record.TimeStamp;
            display_.Changed(tag);
        }
    }

    void Write(const TagState& tag, const std::string& valueText) {
        const auto value = ParseValue(tag.Entry.Type, valueText);
        if (!value) {
            display_.Event("write " + tag.Entry.Name + ": " + value.Error().Text);
            return;
        }
        std::string text;
        const TagValueRec record = WriteRecord(tag.Entry.Id, *value, text);
        char* message = nullptr;
        const bool accepted = api_->OnDataWrite(1, &record, &message) != 0;
        ++(accepted ? counters_.WritesAccepted : counters_.WritesRefused);
        display_.Event("write " + tag.Entry.Name + " (" + tag.Entry.Address + ") = " + ValueText(*value) +
                       ": " + (accepted ? "accepted" : "refused"));
        Message("OnDataWrite", message);
    }

    // Lines typed meanwhile; false when one asks to stop.
    bool Typed() {
        if (!options_.TakesInput || !console_.ReadLine) return true;
        while (const auto typed = console_.ReadLine()) {
            // The typed line and its Enter moved the cursor below the live table.
            display_.Typed();
            const std::string line = Trimmed(*typed);
            if (line.empty()) continue;
            if (line == "quit" || line == "exit" || line == "q") return false;
            if (line == "help" || line == "?") {
                display_.Event(std::string(InputHelp));
                continue;
            }
            const std::size_t equals = line.find('=');
            if (equals == std::string::npos) {
                display_.Event("input \"" + line + "\": expected NAME=VALUE (or quit)");
                continue;
            }
            const std::string name = Trimmed(std::string_view(line).substr(0, equals));
            const auto tag = byName_.find(name);
            if (tag == byName_.end()) {
                display_.Event("input \"" + line + "\": no tag named " + name);
                continue;
            }
            Write(tags_[tag->second], Trimmed(std::string_view(line).substr(equals + 1)));
        }
        return true;
    }

    const HostOptions& options_;
    const HostConsole& console_;
    HostDisplay display_;
    std::unique_ptr<SharedMemory> memory_;
    std::unique_ptr<DriverLibrary> driver_;
    const DriverEntries* api_ = nullptr;
    std::vector<std::uint8_t> block_;
    std::vector<TagState> tags_;
    std::map<std::string, std::size_t> byName_;
    std::unordered_map<std::uint32_t, std::size_t> byId_;
    std::vector<ScheduledWrite> pending_; // the --write values by time
    std::size_t nextWrite_ = 0;
    std::vector<TagValueRec> reports_; // OnDataRead's array
    ScanCounters counters_;
};

} // namespace

ExitCode RunHost(const HostOptions& options, const HostConsole& console) {
    Session session(options, console);
    return session.Run();
}

} // namespace korax::tools::host
