#include "boards/PortTrace.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <tuple>
#include <utility>

#include "boards/BoardTexts.h"
#include "boards/PortDecode.h"
#include "framework/DLLBase.h"
#include "framework/TagTypes.h"
#include "platform/System.h"

namespace korax::boards {

namespace {

constexpr std::size_t BatchRecords = 4096;        // records a batch holds before it goes to the file
constexpr std::uint64_t FlushAfterUs = 1'000'000; // how old a batch's first record may grow
constexpr std::size_t BatchTextBytes = 64 * 1024; // texts a batch holds before it goes
constexpr std::size_t MaxQueuedRecords = 16 * BatchRecords; // waiting for the writer; beyond, they are lost
constexpr std::size_t MaxSpare = 16;                        // emptied batches kept for their storage
constexpr std::size_t MaxTextLength = 1000;                 // a longer text is cut
constexpr std::size_t MaxServedNames = 8;                   // tag names a request line lists
constexpr std::size_t MaxDecodings = 4096;                  // decoded accesses kept per parameter block
constexpr std::size_t MaxDecodedBlocks = 64;                // parameter blocks whose decodings are kept
constexpr auto IdleExit = std::chrono::seconds(2); // the writer's thread ends after this without work

#if defined(_WIN32)
constexpr char PathSeparator = '\\';
#else
constexpr char PathSeparator = '/';
#endif

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return lower;
}

std::optional<std::uint64_t> Number(std::string_view text) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<bool> Switch(std::string_view text) {
    const std::string word = Lower(text);
    if (word == "1" || word == "on" || word == "yes" || word == "true") return true;
    if (word == "0" || word == "off" || word == "no" || word == "false") return false;
    return std::nullopt;
}

bool Absolute(std::string_view path) {
    return (!path.empty() && (path[0] == '/' || path[0] == '\\')) || (path.size() > 1 && path[1] == ':');
}

std::string FolderOf(std::string_view path) {
    const auto end = path.find_last_of("/\\");
    return end == std::string_view::npos ? std::string() : std::string(path.substr(0, end));
}

void Append(std::string& out, std::uint64_t value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, end);
}

void AppendHex(std::string& out, unsigned value, int digits) {
    static constexpr char Hex[] = "0123456789ABCDEF";
    out += "0x";
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) out += Hex[(value >> shift) & 0xF];
}

} // namespace

// --- settings ---

std::optional<TraceSettings> ParseTraceSettings(std::string_view text, std::string_view folder) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    TraceSettings settings;
    std::string file(texts::DefaultTraceFile);
    bool section = false;
    bool inSection = false;
    bool enabled = true;
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::string_view line = Trim(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line.front() == '[' && line.back() == ']') {
            inSection = Lower(Trim(line.substr(1, line.size() - 2))) == texts::TraceSection;
            section = section || inSection;
            continue;
        }
        const auto equals = line.find('=');
        if (!inSection || equals == std::string_view::npos) continue;
        const std::string key = Lower(Trim(line.substr(0, equals)));
        const std::string_view value = Trim(line.substr(equals + 1));
        if (key == texts::TraceFileKey) {
            if (!value.empty()) file = value;
        } else if (key == texts::TraceSizeKey) {
            if (const auto size = Number(value))
                settings.Size = std::clamp(*size, MinTraceSize, MaxTraceSize);
        } else if (key == texts::TraceEnabledKey) {
            enabled = Switch(value).value_or(enabled);
        } else if (key == texts::TraceRecordKey) {
            bool ports = false, requests = false, messages = false, known = false;
            std::string_view list = value;
            while (!list.empty()) {
                const auto comma = list.find(',');
                const std::string word = Lower(Trim(list.substr(0, comma)));
                list.remove_prefix(comma == std::string_view::npos ? list.size() : comma + 1);
                ports = ports || word == texts::TraceRecordPorts;
                requests = requests || word == texts::TraceRecordRequests;
                messages = messages || word == texts::TraceRecordMessages;
                known = ports || requests || messages;
            }
            // A list naming nothing known keeps the default: everything.
            if (known)
                std::tie(settings.Ports, settings.Requests, settings.Messages) = {ports, requests, messages};
        }
    }
    if (!section || !enabled) return std::nullopt;
    settings.File = Absolute(file) || folder.empty() ? file : std::string(folder) + PathSeparator + file;
    return settings;
}

std::optional<TraceSettings> LoadTraceSettings() {
    std::string path = platform::EnvironmentVariable(texts::TraceSettingsVariable).value_or(std::string());
    if (path.empty()) {
        const std::string folder = FolderOf(platform::ModulePath());
        path = folder.empty() ? std::string(texts::TraceSettingsFile)
                              : folder + PathSeparator + std::string(texts::TraceSettingsFile);
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return ParseTraceSettings(text.str(), FolderOf(path));
}

// --- the file ---

TraceFile::TraceFile(TraceSettings settings, platform::Clock& clock, Writing writing)
    : Settings_(std::move(settings)), Clock_(clock), StartUs_(clock.MonotonicUs()),
      Background_(writing == Writing::Background) {
    const std::lock_guard file(FileLock_);
    std::remove((Settings_.File + ".1").c_str()); // a previous run's segment would read as part of this one
    if (!OpenSegment(false)) Fail();
}

TraceFile::~TraceFile() {
    StopBackground();
    const std::lock_guard file(FileLock_);
    Commit();
    if (Out_ != nullptr) std::fclose(Out_);
}

void TraceFile::Submit(TraceBatch& batch) {
    const auto clear = [&batch] {
        batch.Records.clear();
        batch.Texts.clear();
    };
    if (Failed() || batch.Records.empty()) return clear();
    std::unique_lock lock(Lock_);
    if (!Background_) {
        lock.unlock();
        Write(batch, 0);
        return clear();
    }
    if (QueuedRecords_ + batch.Records.size() > MaxQueuedRecords) {
        Lost_ += batch.Records.size();
        return clear();
    }
    TraceBatch next;
    if (!Spare_.empty()) {
        next = std::move(Spare_.back());
        Spare_.pop_back();
    } else {
        next.Records.reserve(BatchRecords);
    }
    QueuedRecords_ += batch.Records.size();
    Queue_.push_back(std::move(batch));
    batch = std::move(next);
    if (Running_) {
        Wake_.notify_one();
        return;
    }
    Running_ = Thread_.Start([this] { Run(); });
    if (Running_) return;
    // No thread to be had: this thread writes, now and from now on.
    Background_ = false;
    std::deque<TraceBatch> queued;
    queued.swap(Queue_);
    QueuedRecords_ = 0;
    const std::uint64_t lost = std::exchange(Lost_, 0);
    lock.unlock();
    for (const TraceBatch& waiting : queued) Write(waiting, lost);
}

void TraceFile::Run() {
    std::unique_lock lock(Lock_);
    for (;;) {
        if (Queue_.empty()) {
            Idle_.notify_all();
            const bool work =
                !Stopping_ && Wake_.wait_for(lock, IdleExit, [this] { return !Queue_.empty() || Stopping_; });
            if (!work || Queue_.empty()) {
                Running_ = false;
                Idle_.notify_all();
                return; // nothing of the trace is touched after this
            }
        }
        TraceBatch batch = std::move(Queue_.front());
        Queue_.pop_front();
        QueuedRecords_ -= batch.Records.size();
        const std::uint64_t lost = std::exchange(Lost_, 0);
        Writing_ = true;
        lock.unlock();
        Write(batch, lost);
        batch.Records.clear();
        batch.Texts.clear();
        batch.Block.reset();
        lock.lock();
        Writing_ = false;
        if (Spare_.size() < MaxSpare) Spare_.push_back(std::move(batch));
    }
}

std::uint32_t TraceFile::Keep(std::string_view text) {
    const std::lock_guard kept(KeptLock_);
    const auto [at, added] =
        KeptIds_.try_emplace(std::string(text), static_cast<std::uint32_t>(Kept_.size()));
    if (added) Kept_.emplace_back(text);
    return at->second;
}

void TraceFile::Drain() {
    std::unique_lock lock(Lock_);
    Idle_.wait(lock, [this] { return Queue_.empty() && !Writing_; });
}

void TraceFile::StopBackground() {
    {
        std::unique_lock lock(Lock_);
        Stopping_ = true;
        Wake_.notify_all();
        Idle_.wait(lock, [this] { return !Running_; });
        Background_ = false;
    }
    Thread_.Join();
}

void TraceFile::Write(const TraceBatch& batch, std::uint64_t lost) {
    const std::lock_guard file(FileLock_);
    if (Failed()) return;
    if (lost != 0) {
        Line_.assign(texts::TraceLost);
        Append(Line_, lost);
        Line_ += texts::TraceLostWhy;
        Line(Line_);
    }
    for (const TraceRecord& record : batch.Records) {
        Line_.clear();
        Append(Line_, record.Us > StartUs_ ? record.Us - StartUs_ : 0);
        Line_ += " T";
        Append(Line_, batch.Thread);
        switch (record.Kind) {
        case TraceKind::Write:
        case TraceKind::Read: {
            if (record.Aux != 0) {
                // The delay before the access: a line of its own, stamped like the access.
                const std::size_t stamp = Line_.size();
                Line_ += " D ";
                Append(Line_, record.Aux);
                Line_ += "\r\n";
                Line(Line_);
                if (Failed()) return;
                Line_.resize(stamp);
            }
            Line_ += record.Kind == TraceKind::Write ? " W " : " R ";
            AppendHex(Line_, record.Port, 4);
            Line_ += ' ';
            AppendHex(Line_, record.Value, 2);
            const std::string& decoded = Decoded(batch, record);
            if (!decoded.empty()) Line_.append(texts::TraceDecoded).append(decoded);
            break;
        }
        case TraceKind::Delay:
            Line_ += " D ";
            Append(Line_, record.Aux);
            break;
        case TraceKind::Served: {
            Line_ += " Q ";
            const std::lock_guard kept(KeptLock_);
            if (record.Aux < Kept_.size()) Line_ += Kept_[record.Aux];
            break;
        }
        case TraceKind::Request:
        case TraceKind::Value:
        case TraceKind::Message:
            Line_ += record.Kind == TraceKind::Request ? " Q "
                     : record.Kind == TraceKind::Value ? " V "
                                                       : " M ";
            Line_.append(batch.Texts, record.Aux, record.Port);
            break;
        }
        Line_ += "\r\n";
        Line(Line_);
        if (Failed()) return;
    }
    Commit();
}

const std::string& TraceFile::Decoded(const TraceBatch& batch, const TraceRecord& record) {
    static const std::string none;
    if (!batch.Block) return none;
    if (Decoded_.size() >= MaxDecodedBlocks) Decoded_.clear();
    Decodings& decodings = Decoded_[batch.Block.get()];
    if (decodings.Block != batch.Block || decodings.Texts.size() >= MaxDecodings) {
        decodings.Block = batch.Block; // a new block at a freed block's address must not use its texts
        decodings.Texts.clear();
    }
    const auto direction = record.Kind == TraceKind::Write ? PortDirection::Write : PortDirection::Read;
    const std::uint32_t key =
        std::uint32_t{record.Kind == TraceKind::Write} << 24 | std::uint32_t{record.Port} << 8 | record.Value;
    auto [at, added] = decodings.Texts.try_emplace(key);
    if (added) at->second = DescribePortAccess(*batch.Block, direction, record.Port, record.Value);
    return at->second;
}

void TraceFile::Line(std::string_view line) {
    // A line never straddles two segments: the current one is full when this line would pass half the
    // size the two may take together.
    if (SegmentBytes_ + Pending_.size() + line.size() > Settings_.Size / 2) {
        Commit();
        if (Failed()) return;
        std::fclose(Out_);
        Out_ = nullptr;
        const std::string previous = Settings_.File + ".1";
        std::remove(previous.c_str());
        if (std::rename(Settings_.File.c_str(), previous.c_str()) != 0 || !OpenSegment(true)) return Fail();
    }
    Pending_ += line;
}

void TraceFile::Commit() {
    if (Out_ == nullptr || Pending_.empty()) return;
    if (std::fwrite(Pending_.data(), 1, Pending_.size(), Out_) != Pending_.size() || std::fflush(Out_) != 0)
        return Fail();
    SegmentBytes_ += Pending_.size();
    Pending_.clear();
}

bool TraceFile::OpenSegment(bool wrapped) {
    Out_ = std::fopen(Settings_.File.c_str(), "wb");
    if (Out_ == nullptr) return false;
    SegmentBytes_ = 0;
    std::string header(texts::TraceFormatLine);
    header.append(texts::TraceStarted).append(platform::FormatDateTime(Clock_.Now())).append("\r\n");
    header.append(texts::TraceSettingsLine).append(texts::TraceFileKey).append("=").append(Settings_.File);
    header.append(" ").append(texts::TraceRecordKey).append("=");
    const std::pair<bool, std::string_view> kinds[] = {{Settings_.Ports, texts::TraceRecordPorts},
                                                       {Settings_.Requests, texts::TraceRecordRequests},
                                                       {Settings_.Messages, texts::TraceRecordMessages}};
    bool first = true;
    for (const auto& [on, name] : kinds) {
        if (!on) continue;
        header.append(first ? "" : ",").append(name);
        first = false;
    }
    header.append(" ").append(texts::TraceSizeKey).append("=");
    Append(header, Settings_.Size);
    header.append("\r\n");
    if (wrapped) header.append(texts::TraceWrapped);
    Pending_.insert(0, header);
    return true;
}

void TraceFile::Fail() {
    if (Out_ != nullptr) std::fclose(Out_);
    Out_ = nullptr;
    Pending_.clear();
    if (!Failed_.exchange(true)) FailurePending_ = true;
}

// --- the recorder ---

TraceRecorder::TraceRecorder(TraceFile& file, framework::TBaseDLLObject& object)
    : File_(file), Object_(object), Clock_(object.Clock()), Requests_(file.Settings().Requests),
      Messages_(file.Settings().Messages) {
    Batch_.Records.reserve(BatchRecords);
}

TraceRecorder::~TraceRecorder() {
    Flush();
}

const std::size_t TraceRecorder::Capacity_ = BatchRecords;
const std::size_t TraceRecorder::TextCapacity_ = BatchTextBytes;
const std::uint64_t TraceRecorder::FlushAfterUs_ = FlushAfterUs;

void TraceRecorder::StartBatch(const TraceRecord& record) {
    Flush();
    BatchStart_ = record.Us;
    Batch_.Thread = platform::CurrentThreadId();
    Batch_.Records.push_back(record);
}

void TraceRecorder::DelayRecord() {
    if (PendingDelay_ != 0)
        Add(TraceRecord{Clock_.MonotonicUs(), std::exchange(PendingDelay_, 0), 0, 0, TraceKind::Delay});
}

void TraceRecorder::Flush() {
    if (PendingDelay_ != 0 && !Batch_.Records.empty())
        Batch_.Records.push_back(
            TraceRecord{Clock_.MonotonicUs(), std::exchange(PendingDelay_, 0), 0, 0, TraceKind::Delay});
    if (Batch_.Records.empty()) return;
    if (!Block_ && Object_.PDBLoaded()) Block_ = std::make_shared<const config::DevicePDB>(Object_.PDB());
    Batch_.Block = Block_;
    File_.Submit(Batch_);
}

void TraceRecorder::Text(TraceKind kind, std::string_view text) {
    DelayRecord();
    text = text.substr(0, MaxTextLength);
    Add(TraceRecord{Clock_.MonotonicUs(), 0, static_cast<std::uint16_t>(text.size()), 0, kind});
    // Only now, as adding the record may have sent the batch (and its texts) away.
    Batch_.Records.back().Aux = static_cast<std::uint32_t>(Batch_.Texts.size());
    Batch_.Texts.append(text);
}

void TraceRecorder::RequestSent(framework::PollRequest& request) {
    // A trace that failed says so once, through the message the host collects anyway.
    if (Object_.sErrEvent().empty() && File_.TakeFailure())
        Object_.SetsErrEvent(platform::FormatDateTime(Clock_.Now()) + std::string(texts::TraceFilePrefix) +
                             File_.Settings().File + std::string(texts::TraceFileUnwritable));
    if (!Requests_) return;
    if (request.WriteFlag != 0) return Text(TraceKind::Request, ServedText(request));
    // The text of a read request is made and handed over once; each sending records only its number.
    if (request.ServedTrace != &File_ || request.ServedTags != request.TagPositions.size()) {
        request.ServedId = File_.Keep(std::string_view(ServedText(request)).substr(0, MaxTextLength));
        request.ServedTrace = &File_;
        request.ServedTags = request.TagPositions.size();
    }
    DelayRecord();
    Add(TraceRecord{Clock_.MonotonicUs(), request.ServedId, 0, 0, TraceKind::Served});
}

std::string TraceRecorder::ServedText(const framework::PollRequest& request) const {
    std::string text(texts::DecodeBoard);
    Append(text, static_cast<std::uint64_t>(std::max(request.Station, 0)));
    text += ' ';
    if (const framework::TagType* type = framework::TagTypeAt(request.TypeIndex)) text += type->Name;
    text += texts::ServedChannel;
    const bool group = request.ChannelHigh > request.ChannelLow;
    text += std::to_string(group ? request.ChannelLow : request.Channel);
    if (group) text += '-' + std::to_string(request.ChannelHigh);
    if (request.WriteFlag != 0) text.append(texts::ServedWrite).append(request.Value.ToText());
    text += texts::DecodeMeaning;
    const auto& tags = Object_.TagList();
    std::size_t listed = 0;
    for (const std::int32_t position : request.TagPositions) {
        if (position < 0 || static_cast<std::size_t>(position) >= tags.size()) continue;
        if (listed == MaxServedNames) {
            text.append(texts::ServedMore)
                .append(std::to_string(request.TagPositions.size() - listed))
                .append(texts::ServedMoreTags);
            break;
        }
        if (listed++ != 0) text += ", ";
        text += tags[static_cast<std::size_t>(position)]->TagName;
    }
    return text;
}

void TraceRecorder::ValueGiven(const framework::TagItem& tag) {
    if (Requests_) Text(TraceKind::Value, tag.TagName + "=" + tag.Value.ToText());
}

void TraceRecorder::MessageQueued(std::string_view text) {
    if (Messages_) Text(TraceKind::Message, text);
}

} // namespace korax::boards
