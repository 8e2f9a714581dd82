// The session of korax-host: it takes the inputs, loads the driver and its memory manager, runs the
// actions asked for on the block, then scans, writes and collects until the time is up or it is stopped.
#include <algorithm>
#include <array>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <random>
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
#include "host/TraceTools.h"

namespace korax::tools::host {

namespace {

using SteadyClock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr std::string_view ScenarioVariable = "KORAX_SIM_SCENARIO";
// Where the driver looks for its settings file (korax24.ini beside it otherwise).
constexpr std::string_view SettingsVariable = "KORAX24_INI";
// A replay without --duration scans until the trace ends; should the driver stop making port accesses, it
// gives up after the recorded time stretched by this much, plus the margin.
constexpr double ReplayTimeStretch = 1.5;
constexpr double ReplayTimeMarginSeconds = 5.0;
constexpr double MicrosecondsPerSecond = 1e6;

std::string Utf8Text(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// A file of the host's own in the temporary folder, removed when the run ends.
class TemporaryFile {
public:
    explicit TemporaryFile(std::string_view suffix) {
        std::random_device random;
        path_ = std::filesystem::temp_directory_path() /
                ("korax-host-" + std::to_string(random()) + std::string(suffix));
    }
    ~TemporaryFile() { Remove(); }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    const std::filesystem::path& Path() const { return path_; }
    std::string Text() const { return Utf8Text(path_); }
    void Remove() const {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }

private:
    std::filesystem::path path_;
};
// The statistics line of the link supervision starts its first field with this (GBK, as the driver
// writes it: the sources are compiled to the driver's code page).
constexpr std::string_view StatisticsMarker = "通讯失败率=";

// What to look at when IniDriver refuses, by what its message holds (GBK, like the marker above); the
// last row is for a refusal without a message, which only a block without boards gives.
struct RefusalHint {
    std::string_view Marker;
    std::string_view Hint;
};
constexpr std::array<RefusalHint, 4> RefusalHints = {{
    {"无法取得I/O端口访问权限",
     "the native driver found no libControXIO.so beside it and may not use the port instructions "
     "(ioperm needs root, and real boards)"},
    {"端口操作驱动库",
     "the port I/O library ControXIO.DLL is missing or lacks an entry: put the machine's port I/O library "
     "beside the host"},
    {"共享冲突", "another thread's IniDriver held the initialisation lock for 5 s: try again"},
    {"", "no slot of the block holds a board: check the block's boards (korax-pdb show)"},
}};

// How the editor's lists name the access byte.
constexpr std::array<std::string_view, 3> AccessNames = {"input", "output", "control"};

constexpr std::int32_t WizardAccepted = 1;
constexpr auto StatusInterval = 500ms; // how often GetDeviceStatus collects a pending message
constexpr auto RedrawInterval = 250ms;
constexpr std::uint16_t FallbackScanMs = 10; // should the driver ever answer 0

class Session {
    // A tag list of --add-tags: its tags are tags_[First, End).
    struct Addition {
        const ScheduledAddition* Option;
        std::size_t First;
        std::size_t End;
    };
    struct TimedCall {
        std::uint32_t AtMs;
        std::function<void()> Call;
    };

public:
    Session(const HostOptions& options, const HostConsole& console)
        : options_(options), console_(console), display_(options, console) {}
    // The variables set for a trace or a replay name files that go with this run.
    ~Session() {
        if (settingsSet_) SetProcessEnvironment(SettingsVariable, "");
        if (replay_) SetProcessEnvironment(ScenarioVariable, "");
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    ExitCode Run() {
        if (const Status tags = LoadTags(); !tags) return Fail(ExitCode::BadInput, tags.Error().Text);
        if (options_.TagPath.empty() &&
            (!options_.Writes.empty() || !options_.WriteSets.empty() || !options_.Reads.empty() ||
             !options_.Additions.empty() || !options_.LogSwitches.empty())) {
            return Fail(ExitCode::BadCommandLine, "--write, --write-tags, --read, --add-tags and --log need "
                                                  "--tags: they are calls made while the tags are scanned");
        }
        if (const Status writes = CheckWrites(); !writes)
            return Fail(ExitCode::BadInput, writes.Error().Text);
        if (const ExitCode traced = PrepareTrace(); traced != ExitCode::Done) return traced;
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
            options_.DriverName.empty() ? std::string(driver::DriverLibraryName) : options_.DriverName;
        auto driver = DriverLibrary::Load(driverName);
        if (!driver) return Fail(ExitCode::DriverFailed, driver.Error().Text);
        driver_ = std::move(*driver);
        api_ = &driver_->Api();

        ExitCode result = LoadBlock();
        if (result == ExitCode::Done) result = Actions();
        if (result == ExitCode::Done && !options_.TagPath.empty()) result = Scan(driverName);
        // Unload before the manager: the driver's objects go with it and may still hold the manager.
        driver_->Unload();
        if (result == ExitCode::Done && replay_) result = ReplayResult();
        if (result == ExitCode::Done && !options_.TracePath.empty() && !options_.TagPath.empty())
            Line("trace: " + options_.TracePath + " (korax-host --decode " + options_.TracePath +
                 (options_.BlockPath.empty() ? "" : " --pdb " + options_.BlockPath) + " reads it)");
        return result;
    }

private:
    void Line(const std::string& text) { display_.Line(text); }

    ExitCode Fail(ExitCode code, const std::string& text) {
        display_.Error(text);
        return code;
    }

    // Takes a message the driver handed over (nil means none) and tells it.
    void Message(const std::string& source, char*& text) { Tell(source, memory_->Take(text)); }

    void Tell(const std::string& source, const std::optional<std::string>& gbk) {
        if (!gbk) return;
        ++counters_.Messages;
        const std::string shown = MessageText(*gbk);
        if (gbk->find(StatisticsMarker) != std::string::npos) counters_.LastStatistics = shown;
        display_.Event("message from " + source + ": " + shown);
    }

    // --- Trace and replay ----------------------------------------------------------------------------

    // A replay's trace, the scenario that hands it to the port I/O library stand-in and the file where the
    // stand-in says how the replay ended.
    struct Replay {
        sim::Trace Recorded;
        sim::ReplayPlan Plan;
        TemporaryFile Scenario{".scenario"};
        TemporaryFile Report{".report"};
        std::string OwnTrace; // the driver's trace of the replay when --trace names none: TRACE.replayed
    };

    ExitCode PrepareTrace() {
        if (!options_.ReplayPath.empty()) {
            if (options_.TagPath.empty())
                return Fail(ExitCode::BadCommandLine,
                            "--replay needs --tags (and the --pdb) of the recorded run: the scan it replays");
            if (!options_.ScenarioPath.empty())
                return Fail(ExitCode::BadCommandLine,
                            "--replay answers the ports from the trace: it takes no --scenario");
            if (const ExitCode prepared = PrepareReplay(); prepared != ExitCode::Done) return prepared;
        }
        std::string traceFile = options_.TracePath;
        if (traceFile.empty() && replay_) traceFile = replay_->OwnTrace;
        if (traceFile.empty()) return ExitCode::Done;
        std::error_code error;
        const std::filesystem::path absolute = std::filesystem::absolute(PathFromUtf8(traceFile), error);
        if (error) return Fail(ExitCode::BadInput, "--trace " + traceFile + ": " + error.message());
        std::string native;
        try {
            native = absolute.string(); // the driver opens it with the system's narrow file names
        } catch (const std::exception&) {
            return Fail(ExitCode::BadInput,
                        "--trace " + traceFile + ": the path has characters the system's code page lacks");
        }
        if (const Status written = WriteWholeFile(settings_.Text(), TraceSettingsText(native)); !written)
            return Fail(ExitCode::BadInput, written.Error().Text);
        SetProcessEnvironment(SettingsVariable, settings_.Text());
        settingsSet_ = true;
        return ExitCode::Done;
    }

    ExitCode PrepareReplay() {
        auto trace = LoadTrace(options_.ReplayPath);
        if (!trace) return Fail(ExitCode::BadInput, "--replay " + trace.Error().Text);
        replay_ = std::make_unique<Replay>();
        replay_->Recorded = std::move(*trace);
        replay_->Plan = sim::PlanReplay(replay_->Recorded);
        replay_->OwnTrace = options_.ReplayPath + ".replayed";
        if (replay_->Plan.Accesses.empty())
            return Fail(ExitCode::BadInput, "--replay " + options_.ReplayPath +
                                                ": the trace holds no port accesses (was it recorded with "
                                                "record= without ports?)");
        if (replay_->Recorded.BeginningLost)
            return Fail(ExitCode::BadInput,
                        "--replay " + options_.ReplayPath +
                            ": the ring dropped the trace's beginning, and a replay starts where the driver "
                            "started (IniDriver); record again with a larger size= in korax24.ini");
        if (replay_->Recorded.RecordsLost)
            return Fail(ExitCode::BadInput,
                        "--replay " + options_.ReplayPath +
                            ": the trace writer fell behind and left records out (a "
                            "\"# lost\" line), so the accesses cannot be followed in order");
        const std::filesystem::path recorded = std::filesystem::absolute(PathFromUtf8(options_.ReplayPath));
        const std::string scenario =
            "replay " + Utf8Text(recorded) + "\nreport " + replay_->Report.Text() + "\n";
        if (const Status written = WriteWholeFile(replay_->Scenario.Text(), scenario); !written)
            return Fail(ExitCode::BadInput, written.Error().Text);
        replay_->Report.Remove();
        SetProcessEnvironment(ScenarioVariable, replay_->Scenario.Text());
        const sim::TraceRecord& last = replay_->Recorded.Records.back();
        const double recordedSeconds = static_cast<double>(last.Us) / MicrosecondsPerSecond;
        replayLimitSeconds_ = recordedSeconds * ReplayTimeStretch + ReplayTimeMarginSeconds;
        const sim::TraceRecord& first = replay_->Recorded.Records[replay_->Plan.Accesses.front()];
        Line("replay: " + std::to_string(replay_->Plan.Accesses.size()) + " port accesses of thread T" +
             std::to_string(first.Thread) + " from " + options_.ReplayPath);
        return ExitCode::Done;
    }

    bool ReplayReported() const {
        std::error_code error;
        return replay_ && std::filesystem::exists(replay_->Report.Path(), error);
    }

    ExitCode ReplayResult() {
        const auto text = ReadTextFile(replay_->Report.Text());
        const auto report = text ? sim::ParseReplayReport(*text) : std::nullopt;
        if (!report)
            return Fail(ExitCode::DriverFailed,
                        "replay: the port I/O library gave no replay report: the replay needs the "
                        "simulator's stand-in beside the driver, not a real port I/O library");
        std::optional<sim::Trace> actual;
        const std::string own = options_.TracePath.empty() ? replay_->OwnTrace : options_.TracePath;
        if (auto read = LoadTrace(own)) actual = std::move(*read);
        config::DevicePDB block{};
        std::copy(block_.begin(), block_.end(), reinterpret_cast<std::uint8_t*>(&block));
        for (const std::string& line :
             ReplayVerdict(replay_->Recorded, replay_->Plan, *report, block, actual))
            Line(line);
        if (report->End == sim::ReplayEnd::Diverged) return ExitCode::ReplayDiverged;
        if (report->End == sim::ReplayEnd::Failed) return ExitCode::BadInput;
        return ExitCode::Done;
    }

    // --- Inputs --------------------------------------------------------------------------------------

    Status LoadTags() {
        if (options_.TagPath.empty()) return {};
        if (const Status loaded = LoadTagFile(options_.TagPath); !loaded) return loaded;
        initialCount_ = tags_.size();
        if (tags_.empty()) return Failure{options_.TagPath + ": no tags"};
        for (const ScheduledAddition& addition : options_.Additions) {
            const std::size_t first = tags_.size();
            if (const Status loaded = LoadTagFile(addition.Path); !loaded) return loaded;
            if (tags_.size() == first) return Failure{addition.Path + ": no tags"};
            additions_.push_back({&addition, first, tags_.size()});
        }
        return {};
    }

    // The tags of one file, after those loaded already; ids and names must differ from theirs too.
    Status LoadTagFile(const std::string& path) {
        const auto text = ReadTextFile(path);
        if (!text) return text.Error();
        auto entries = ParseTagFile(*text, path);
        if (!entries) return Failure{entries.Error().Text};
        for (TagListEntry& entry : *entries) {
            const auto clash = [&](const TagState& other, const std::string& what) {
                return Failure{path + " line " + std::to_string(entry.Line) + ": " + what +
                               " is already used by tag " + other.Entry.Name + " of an earlier tag list"};
            };
            if (const auto other = byId_.find(entry.Id); other != byId_.end())
                return clash(tags_[other->second], "id " + std::to_string(entry.Id));
            if (const auto other = byName_.find(entry.Name); other != byName_.end())
                return clash(tags_[other->second], "the name \"" + entry.Name + "\"");
            byName_[entry.Name] = tags_.size();
            byId_[entry.Id] = tags_.size();
            TagState tag;
            tag.Entry = std::move(entry);
            tags_.push_back(std::move(tag));
        }
        return {};
    }

    // Every tag named by a scheduled call exists, and every value fits its tag's data type.
    Status CheckWrites() const {
        for (const ScheduledWrite& write : options_.Writes) {
            if (const Status fits = CheckValue("--write", write.Name, write.Value); !fits) return fits;
        }
        for (const ScheduledWriteSet& set : options_.WriteSets) {
            for (const NamedValue& value : set.Values) {
                if (const Status fits = CheckValue("--write-tags", value.Name, value.Value); !fits)
                    return fits;
            }
        }
        for (const ScheduledRead& read : options_.Reads) {
            for (const std::string& name : read.Names) {
                if (!byName_.contains(name)) return NoSuchTag("--read", name);
            }
        }
        return {};
    }

    Failure NoSuchTag(const std::string& option, const std::string& name) const {
        return Failure{option + " " + name + ": no tag of that name in " + options_.TagPath +
                       (options_.Additions.empty() ? "" : " or the --add-tags lists")};
    }

    Status CheckValue(const std::string& option, const std::string& name, const std::string& text) const {
        const auto tag = byName_.find(name);
        if (tag == byName_.end()) return NoSuchTag(option, name);
        const DataType type = tags_[tag->second].Entry.Type;
        if (const auto value = ParseValue(type, text); !value) {
            return Failure{option + " " + name + ": " + value.Error().Text + " (the tag is " +
                           std::string(DataTypeName(type)) + ")"};
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
        if (options_.ListTagTypes) ListTagTypes();
        for (const std::string& address : options_.CheckAddresses) CheckAddress(address);
        if (options_.Test) {
            const bool passed = api_->DLLTestDev(block_.data(), driver::HostFalse) != 0;
            Line(std::string("DLLTestDev: ") + (passed ? "true" : "false"));
        }
        if (options_.Edit) return Edit();
        return ExitCode::Done;
    }

    // What TagEdAddr makes of an address: accepted or not, the normalised address and the message.
    struct AddressCheck {
        bool Accepted = false;
        std::optional<std::string> Normalised; // UTF-8
        std::optional<std::string> Message;    // GBK
    };

    AddressCheck TagEdAddr(const std::string& address) {
        std::string own = Utf8ToGbk(address); // the host's string: the driver reads it and never frees it
        char* const original = own.data();
        char* cell = original;
        char* message = nullptr;
        AddressCheck check;
        check.Accepted = api_->TagEdAddr(block_.data(), &cell, driver::HostFalse, &message) != 0;
        if (cell != original) {
            if (const auto text = memory_->Take(cell)) check.Normalised = GbkToUtf8(*text);
        }
        check.Message = memory_->Take(message);
        return check;
    }

    void CheckAddress(const std::string& address) {
        const AddressCheck check = TagEdAddr(address);
        Line("TagEdAddr " + address + ": " + (check.Accepted ? "accepted" : "refused") + ", normalised to " +
             check.Normalised.value_or("(nil)"));
        if (check.Message) {
            ++counters_.Messages;
            Line("TagEdAddr message: " + MessageText(*check.Message));
        }
    }

    // A short string of the editor's records: a length byte, then GBK characters.
    template <std::size_t Size>
    static std::string ShortText(const std::uint8_t (&field)[Size]) {
        const std::size_t length = std::min<std::size_t>(field[0], Size - 1);
        return GbkToUtf8(std::string(reinterpret_cast<const char*>(field + 1), length));
    }

    static std::string Number(double real) {
        TagValue value;
        value.Real = real;
        return ValueText(value);
    }

    template <typename Record>
    static std::vector<std::string> EditorRow(const Record& record) {
        const std::string type = record.DataType <= 2 ? std::string(DataTypeName(DataType{record.DataType}))
                                                      : std::to_string(record.DataType);
        const std::string access = record.Access < AccessNames.size()
                                       ? std::string(AccessNames[record.Access])
                                       : std::to_string(record.Access);
        return {ShortText(record.Name), ShortText(record.Description), type, access,
                Number(driver::LoadDouble(record.RangeLow)) + ".." +
                    Number(driver::LoadDouble(record.RangeHigh))};
    }

    // The tag editor's two lists, each asked for its length first (a nil array) as an editor does.
    void ListTagTypes() {
        const std::vector<std::string> heading = {"name", "description", "type", "access", "range"};
        std::uint16_t templateCount = 0;
        api_->GetTags(&templateCount, nullptr);
        std::vector<driver::TagTemplate> templates(templateCount, driver::TagTemplate{});
        api_->GetTags(&templateCount, templates.data());
        std::vector<std::vector<std::string>> rows = {heading};
        for (const driver::TagTemplate& record : templates) {
            rows.push_back(EditorRow(record));
            rows.back().push_back(record.Field524 != 0 ? "yes" : "");
        }
        rows.front().push_back("served by the driver");
        Line("GetTags: " + std::to_string(templateCount) + " tag templates");
        for (const std::string& line : TableLines(rows)) Line("  " + line);

        std::int32_t entryCount = 0;
        api_->GetTagAddrList(0, &entryCount, nullptr);
        std::vector<driver::TagAddrEntry> entries(static_cast<std::size_t>(std::max(entryCount, 0)),
                                                  driver::TagAddrEntry{});
        api_->GetTagAddrList(0, &entryCount, entries.data());
        rows = {heading};
        for (const driver::TagAddrEntry& record : entries) rows.push_back(EditorRow(record));
        Line("GetTagAddrList: " + std::to_string(entryCount) + " entries");
        for (const std::string& line : TableLines(rows)) Line("  " + line);
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

    std::vector<TagListEntry> Entries(std::size_t first, std::size_t end) const {
        std::vector<TagListEntry> entries;
        for (std::size_t i = first; i < end; ++i) entries.push_back(tags_[i].Entry);
        return entries;
    }

    // IniDriver and IniDriverEx; false when the driver refuses to initialise.
    bool Initialise(const AlarmEvent& alarm) {
        std::vector<std::string> initialTexts;
        const std::vector<HostTagDef> records = TagDefinitions(Entries(0, initialCount_), initialTexts);
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
            const auto hint =
                std::find_if(RefusalHints.begin(), RefusalHints.end(), [&](const RefusalHint& row) {
                    return row.Marker.empty() ? !text : text && text->find(row.Marker) != std::string::npos;
                });
            Line("the driver refused to initialise" +
                 (hint != RefusalHints.end() ? ": " + std::string(hint->Hint) : std::string()));
            display_.Summary(0.0, tags_, counters_, *memory_);
            return false;
        }
        for (std::size_t i = 0; i < initialCount_; ++i) tags_[i].RegisteredAt = 0.0;
        api_->IniDriverEx(alarm.Handle());
        return true;
    }

    ExitCode Scan(const std::string& driverName) {
        Line("driver: " + driverName + "; " + std::to_string(initialCount_) + " tags from " +
             options_.TagPath);
        AlarmEvent alarm;
        if (!Initialise(alarm)) return ExitCode::DriverFailed;
        std::uint16_t scanMs = api_->DetectScanTime();
        Line("DetectScanTime: " + std::to_string(scanMs) + " ms");
        if (scanMs == 0) scanMs = FallbackScanMs;
        Line(options_.DurationSeconds > 0 ? "scanning for " + SecondsText(options_.DurationSeconds) + " s"
                                          : std::string("scanning until stopped (Ctrl+C)"));
        if (options_.TakesInput) Line(std::string(InputHelp));

        Schedule();
        reports_.resize(tags_.size());
        const auto start = SteadyClock::now();
        auto nextStep = start;
        auto nextStatus = start + StatusInterval;
        auto nextRedraw = start;
        display_.BeginLive();

        const double limit = options_.DurationSeconds > 0 ? options_.DurationSeconds : replayLimitSeconds_;
        while (true) {
            const auto now = SteadyClock::now();
            const double elapsed = std::chrono::duration<double>(now - start).count();
            if (console_.StopRequested && console_.StopRequested()) break;
            if (limit > 0 && elapsed >= limit) break;
            if (!Step(elapsed, alarm)) break;
            if (ReplayReported()) break; // the trace ended or the driver left it
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
        CheckSilentAddresses();
        display_.EndLive(ran, scanMs, tags_, counters_);
        display_.Summary(ran, tags_, counters_, *memory_);
        return ExitCode::Done;
    }

    // One scan step: the writes that are due, the lines typed, OnDataRead and the alarm event; false
    // when a typed line asks to stop.
    bool Step(double elapsed, AlarmEvent& alarm) {
        const auto elapsedMs = static_cast<std::uint64_t>(elapsed * 1000.0);
        while (nextCall_ < calls_.size() && calls_[nextCall_].AtMs <= elapsedMs) {
            elapsed_ = elapsed;
            calls_[nextCall_++].Call();
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

    // Every call the options ask for during the scan, by time; those of the same time in option order.
    void Schedule() {
        for (const ScheduledWrite& write : options_.Writes)
            calls_.push_back(
                {write.AtMs, [this, &write] { Write(tags_[byName_.at(write.Name)], write.Value); }});
        for (const ScheduledWriteSet& set : options_.WriteSets)
            calls_.push_back({set.AtMs, [this, &set] { WriteSet(set); }});
        for (const ScheduledRead& read : options_.Reads)
            calls_.push_back({read.AtMs, [this, &read] { Read(read); }});
        for (const Addition& addition : additions_)
            calls_.push_back({addition.Option->AtMs, [this, &addition] { Add(addition); }});
        for (const ScheduledLog& log : options_.LogSwitches)
            calls_.push_back({log.AtMs, [this, &log] { SwitchLog(log.Enable); }});
        std::stable_sort(calls_.begin(), calls_.end(),
                         [](const TimedCall& a, const TimedCall& b) { return a.AtMs < b.AtMs; });
    }

    void WriteSet(const ScheduledWriteSet& set) {
        std::vector<std::string> texts(set.Values.size()); // the records point into these
        std::vector<TagValueRec> records;
        std::string shown;
        for (std::size_t i = 0; i < set.Values.size(); ++i) {
            const TagState& tag = tags_[byName_.at(set.Values[i].Name)];
            const auto value = ParseValue(tag.Entry.Type, set.Values[i].Value); // checked at the start
            records.push_back(WriteRecord(tag.Entry.Id, *value, texts[i]));
            shown += (shown.empty() ? "" : ", ") + tag.Entry.Name + " (" + tag.Entry.Address +
                     ") = " + ValueText(*value);
        }
        const std::int32_t result =
            api_->WriteTags(static_cast<std::uint16_t>(records.size()), records.data(), 0);
        ++counters_.WriteTagsCalls;
        if (result != 0) ++counters_.WriteTagsIncomplete;
        display_.Event("WriteTags " + shown + ": " + std::to_string(result) +
                       (result == 0 ? " (all written)" : " (not all written)"));
    }

    void Read(const ScheduledRead& read) {
        std::vector<std::int32_t> ids;
        std::string shown;
        for (const std::string& name : read.Names) {
            ids.push_back(static_cast<std::int32_t>(tags_[byName_.at(name)].Entry.Id));
            shown += (shown.empty() ? "" : ", ") + name;
        }
        const std::int32_t result = api_->ReadTags(static_cast<std::uint16_t>(ids.size()), ids.data(), 0);
        ++counters_.ReadTagsCalls;
        display_.Event("ReadTags " + shown + ": " + std::to_string(result) +
                       (result == 0 ? " (reads queued ahead of the polling)" : " (refused)"));
    }

    void Add(const Addition& addition) {
        std::vector<std::string> initialTexts;
        const std::vector<HostTagDef> records =
            TagDefinitions(Entries(addition.First, addition.End), initialTexts);
        std::vector<const HostTagDef*> pointers;
        for (const HostTagDef& record : records) pointers.push_back(&record);
        std::vector<std::int32_t> cells(records.size(), -1);
        const std::int32_t result =
            api_->AddTags(static_cast<std::uint16_t>(pointers.size()), pointers.data(), cells.data());
        ++counters_.AddTagsCalls;
        std::string shown;
        for (std::size_t i = 0; i < cells.size(); ++i) {
            TagState& tag = tags_[addition.First + i];
            tag.RegisteredAt = elapsed_;
            shown += (i == 0 ? "" : ", ") + tag.Entry.Name + " (" + tag.Entry.Address + ") " +
                     (cells[i] == 0 ? "added" : "refused");
        }
        display_.Event("AddTags " + std::to_string(cells.size()) + " tags from " + addition.Option->Path +
                       ": " + std::to_string(result) +
                       (result == 0 ? " (all added): " : " (not all added): ") + shown);
    }

    void SwitchLog(bool enable) {
        char* message = nullptr;
        api_->WriteLog(enable ? driver::HostTrue : driver::HostFalse, &message);
        ++counters_.WriteLogCalls;
        const auto text = memory_->Take(message);
        const std::string state = enable ? "on" : "off";
        display_.Event("WriteLog " + state +
                       (text ? ": logging switched " + state + " as the pending message was handed over"
                             : ": no message was pending, so the driver left the logging state as it was"));
        Tell("WriteLog", text);
    }

    // For the summary: whether the driver's address check finds fault with the address of each tag that
    // was registered and never reported.
    void CheckSilentAddresses() {
        for (TagState& tag : tags_) {
            if (tag.Reports > 0 || !tag.RegisteredAt) continue;
            // TagEdAddr accepts any address of a known tag type; a number that does not fit the block
            // (a station without a board, say) shows as -1 in the normalised address.
            const AddressCheck check = TagEdAddr(tag.Entry.Address);
            tag.AddressRefused =
                !check.Accepted || check.Normalised.value_or("").find("-1") != std::string::npos;
        }
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
    std::size_t initialCount_ = 0; // tags_ of --tags; the additions follow
    std::vector<Addition> additions_;
    std::vector<TimedCall> calls_; // the scheduled calls by time
    std::size_t nextCall_ = 0;
    double elapsed_ = 0;               // seconds into the scan of the step running
    std::vector<TagValueRec> reports_; // OnDataRead's array
    ScanCounters counters_;
    TemporaryFile settings_{".ini"}; // the driver's settings for --trace
    std::unique_ptr<Replay> replay_;
    double replayLimitSeconds_ = 0; // 0: no limit of its own
    bool settingsSet_ = false;
};

} // namespace

ExitCode RunHost(const HostOptions& options, const HostConsole& console) {
    if (!options.DecodePath.empty()) {
        if (!options.TagPath.empty() || !options.ReplayPath.empty() || !options.TracePath.empty() ||
            options.Edit || options.Test || options.ListTagTypes || !options.CheckAddresses.empty()) {
            (console.WriteError ? console.WriteError : console.Write)(
                "korax-host: error: --decode reads a trace and runs no driver: give it alone (with --pdb)\n");
            return ExitCode::BadCommandLine;
        }
        return RunDecode(options, console);
    }
    Session session(options, console);
    return session.Run();
}

} // namespace korax::tools::host
