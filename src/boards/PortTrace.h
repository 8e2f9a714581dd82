#pragma once
// The port trace: every port access, request, value and message of the driver objects, recorded as raw
// fixed-size records on the objects' threads and turned into text lines, decoded to the registers, by a
// writer that keeps the file a ring of bounded size.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "boards/PortBus.h"
#include "config/DevicePDB.h"
#include "framework/TraceHook.h"
#include "platform/Clock.h"
#include "platform/OwnThread.h"

namespace korax::framework {
class TBaseDLLObject;
}

namespace korax::boards {

// --- settings ---

inline constexpr std::uint64_t DefaultTraceSize = 4194304;
inline constexpr std::uint64_t MinTraceSize = 65536;
inline constexpr std::uint64_t MaxTraceSize = 1073741824;

struct TraceSettings {
    std::string File; // the current segment; the previous one is File + ".1"
    bool Ports = true;
    bool Requests = true; // requests and the values they give
    bool Messages = true;
    std::uint64_t Size = DefaultTraceSize; // bytes on disk, both segments together
};

// The settings of a settings file's text, whose folder a relative trace file name is taken from; none
// when the text has no [trace] section or turns the trace off. A value that cannot be read keeps the
// default; a size outside the floor and the ceiling is moved to the nearer one.
std::optional<TraceSettings> ParseTraceSettings(std::string_view text, std::string_view folder);
// The settings file the variable names, else the one beside the driver library; none when absent.
std::optional<TraceSettings> LoadTraceSettings();

// --- raw records, as the driver objects' threads make them ---

// Served: a read request whose text the trace holds already (Aux: its number there).
enum class TraceKind : std::uint8_t { Write, Read, Delay, Request, Value, Message, Served };
struct TraceRecord {
    std::uint64_t Us; // the clock's monotonic microseconds
    // Delay: its units; a port access: the delay units just before it (one "D" line of its own in the
    // file); the text kinds: the text's offset in the batch's texts.
    std::uint32_t Aux;
    std::uint16_t Port; // for the text kinds the text's length
    std::uint8_t Value;
    TraceKind Kind;
};
static_assert(sizeof(TraceRecord) == 16);

struct TraceBatch {
    std::vector<TraceRecord> Records;
    std::string Texts;
    std::uint32_t Thread = 0;
    std::shared_ptr<const config::DevicePDB> Block; // decodes the ports; nil: not decoded
};

// --- the file ---

// One per process. Batches handed over are written by a thread of the trace's own (or, Inline, by the
// thread handing them over); lines are whole and never mixed. A file that cannot be written ends the
// trace: the failure is offered once, and everything after is dropped.
class TraceFile {
public:
    enum class Writing { Background, Inline };
    TraceFile(TraceSettings settings, platform::Clock& clock, Writing writing = Writing::Background);
    ~TraceFile();
    TraceFile(const TraceFile&) = delete;
    TraceFile& operator=(const TraceFile&) = delete;

    const TraceSettings& Settings() const { return Settings_; }
    // Takes a batch for writing and puts an empty one (with storage) in its place. When the writer is
    // too far behind the batch is dropped and counted.
    void Submit(TraceBatch& batch);
    // Returns when everything handed over so far is written.
    void Drain();
    // From now on batches are written by the threads handing them over; the trace's thread ends first.
    void StopBackground();
    bool Failed() const { return Failed_.load(std::memory_order_relaxed); }
    // Keeps a text that many records will name (a request's), and gives its number.
    std::uint32_t Keep(std::string_view text);
    // True once, for the first asker, after the trace failed.
    bool TakeFailure() {
        return FailurePending_.load(std::memory_order_relaxed) && FailurePending_.exchange(false);
    }

private:
    void Run();
    void Write(const TraceBatch& batch, std::uint64_t lost);
    void Line(std::string_view line);
    void Commit();
    bool OpenSegment(bool wrapped);
    void Fail();
    const std::string& Decoded(const TraceBatch& batch, const TraceRecord& record);

    const TraceSettings Settings_;
    platform::Clock& Clock_;
    const std::uint64_t StartUs_;

    std::mutex Lock_; // the queue and the thread's state
    std::condition_variable Wake_;
    std::condition_variable Idle_;
    std::deque<TraceBatch> Queue_;
    std::vector<TraceBatch> Spare_;
    std::size_t QueuedRecords_ = 0;
    std::uint64_t Lost_ = 0;
    bool Background_;
    bool Running_ = false;
    bool Writing_ = false;
    bool Stopping_ = false;
    platform::OwnThread Thread_;

    std::mutex KeptLock_; // the texts kept, each once however often the driver is started again
    std::vector<std::string> Kept_;
    std::unordered_map<std::string, std::uint32_t> KeptIds_;

    std::mutex FileLock_; // everything below: one writer at a time
    std::FILE* Out_ = nullptr;
    std::uint64_t SegmentBytes_ = 0;
    std::string Pending_;
    std::string Line_;
    struct Decodings {
        std::shared_ptr<const config::DevicePDB> Block;
        std::unordered_map<std::uint32_t, std::string> Texts;
    };
    std::unordered_map<const config::DevicePDB*, Decodings> Decoded_;
    std::atomic<bool> Failed_{false};
    std::atomic<bool> FailurePending_{false};
};

// --- what a driver object records ---

// The recording side of one driver object, on the object's own thread: raw records into a batch that
// goes to the file when full, when its oldest record is old enough, and when the object closes.
class TraceRecorder final : public framework::TraceHook {
public:
    TraceRecorder(TraceFile& file, framework::TBaseDLLObject& object);
    ~TraceRecorder();
    TraceRecorder(const TraceRecorder&) = delete;
    TraceRecorder& operator=(const TraceRecorder&) = delete;

    void Port(TraceKind kind, std::uint16_t port, std::uint8_t value) {
        Add(TraceRecord{Clock_.MonotonicUs(), std::exchange(PendingDelay_, 0), port, value, kind});
    }
    // A run of delays is added up and rides on the next port access, which nearly always follows: one
    // record, one clock reading for both.
    void Delay(std::uint32_t units) { PendingDelay_ += units; }
    void Flush();

    void RequestSent(framework::PollRequest& request) override;
    void ValueGiven(const framework::TagItem& tag) override;
    void MessageQueued(std::string_view text) override;
    void DriverClosed() override { Flush(); }

private:
    // The hot path stays inline: a record goes into the batch unless the batch must go first.
    void Add(const TraceRecord& record) {
        if (Batch_.Records.empty() || Batch_.Records.size() >= Capacity_ ||
            record.Us - BatchStart_ >= FlushAfterUs_ || Batch_.Texts.size() >= TextCapacity_)
            return StartBatch(record);
        Batch_.Records.push_back(record);
    }
    void StartBatch(const TraceRecord& record);
    void Text(TraceKind kind, std::string_view text);
    // A text the batch may already hold at offset (when batch is the current one); records where it is.
    // Delay units that no port access followed become a record of their own.
    void DelayRecord();
    std::string ServedText(const framework::PollRequest& request) const;

    TraceFile& File_;
    framework::TBaseDLLObject& Object_;
    platform::Clock& Clock_;
    const bool Requests_;
    const bool Messages_;
    TraceBatch Batch_;
    std::uint64_t BatchStart_ = 0;
    std::uint32_t PendingDelay_ = 0; // delay units not yet followed by a port access
    static const std::size_t Capacity_;
    static const std::size_t TextCapacity_;
    static const std::uint64_t FlushAfterUs_;
    std::shared_ptr<const config::DevicePDB> Block_;
};

// The decorator at the port door: every access passes on to the bus it wraps and is recorded.
class TracingBus final : public PortBus {
public:
    TracingBus(PortBus& inner, TraceRecorder& recorder) : Inner_(inner), Recorder_(recorder) {}
    void Write(std::uint16_t port, std::uint8_t value) override {
        Inner_.Write(port, value);
        Recorder_.Port(TraceKind::Write, port, value);
    }
    std::uint8_t Read(std::uint16_t port) override {
        const std::uint8_t value = Inner_.Read(port);
        Recorder_.Port(TraceKind::Read, port, value);
        return value;
    }
    void Delay(std::uint32_t units) override {
        Inner_.Delay(units);
        Recorder_.Delay(units);
    }
    bool Acquire(std::uint16_t first, std::uint32_t count, std::string& failure) override {
        return Inner_.Acquire(first, count, failure);
    }
    void Release() override { Inner_.Release(); }

private:
    PortBus& Inner_;
    TraceRecorder& Recorder_;
};

} // namespace korax::boards
