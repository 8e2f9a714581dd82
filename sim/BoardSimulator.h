#pragma once
// The data-acquisition boards at register level, answering port accesses the way the boards' port maps
// say. It stands in for the hardware in unit tests (as a PortBus), inside the port I/O library stand-in
// and in the console host's simulate mode. Not thread-safe: whoever shares one instance guards it.
#include <cstdint>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "boards/ModelTables.h"
#include "boards/PortBus.h"

namespace korax::sim {

enum class AccessKind : std::uint8_t { Write, Read, Delay };

// One traced access: the port and byte of a write or read, or the units of a delay (port 0).
struct TraceEntry {
    AccessKind Kind;
    std::uint16_t Port;
    std::uint32_t Value;
    bool operator==(const TraceEntry&) const = default;
};

// "W 0x22B 0x01", "R 0x225 0x00", "D 1".
std::string FormatTraceEntry(const TraceEntry& entry);

// A changing AD input for demonstrations: it moves one step per conversion of its channel and repeats
// after Period conversions.
enum class Waveform : std::uint8_t { Ramp, Sine };

// Highest code of the 12-bit converters and DA outputs.
inline constexpr std::uint16_t MaxCode = 0x0FFF;

class BoardSimulator : public boards::PortBus {
public:
    // Places a board of a model (code 0..6) at a base address under a station number (0..31); a station
    // added again is replaced. Throws std::invalid_argument for a station or model outside those ranges.
    void AddBoard(std::uint8_t station, std::uint8_t model, std::uint16_t base);
    bool HasBoard(std::uint8_t station) const { return boards_.contains(station); }

    void Write(std::uint16_t port, std::uint8_t value) override;
    std::uint8_t Read(std::uint16_t port) override;
    void Delay(std::uint32_t units) override;

    // The setters and queries below throw std::invalid_argument for a station without a board and
    // std::out_of_range for a group or channel the board's model does not have.

    // DI byte of a group (channel div 8), as the next reads return it.
    void SetDiByte(std::uint8_t station, std::int32_t group, std::uint8_t value);
    std::uint8_t DiByte(std::uint8_t station, std::int32_t group) const;
    // Flips the bits of mask in a DI byte after every `everyReads` reads of that byte (0 stops it).
    void ToggleDi(std::uint8_t station, std::int32_t group, std::uint8_t mask, std::uint32_t everyReads);
    // The last byte written to a DO group.
    std::uint8_t DoLatch(std::uint8_t station, std::int32_t group) const;

    // Input code (0..4095) of an AD channel; replaces a waveform on that channel.
    void SetAdInput(std::uint8_t station, std::int32_t channel, std::uint16_t code);
    // A changing input between two codes; period is in conversions of the channel (at least 1).
    void SetAdWave(std::uint8_t station, std::int32_t channel, Waveform form, std::uint16_t from,
                   std::uint16_t to, std::uint32_t period);
    // The status byte then reports "not ready"; the data registers still hold the latched code.
    void SetNotReady(std::uint8_t station, bool notReady);
    // Bits ORed into the upper nibble of the high data byte, which a reader must ignore.
    void SetAdHighUpperBits(std::uint8_t station, std::uint8_t bits);
    std::uint8_t LastAdMode(std::uint8_t station) const;
    std::uint8_t LastAdGain(std::uint8_t station) const;
    std::uint8_t LastAdChannel(std::uint8_t station) const;
    std::uint32_t AdConversions(std::uint8_t station) const;

    // The 12-bit code a DA channel outputs: the low byte and the low nibble of the high byte written.
    std::uint16_t DaValue(std::uint8_t station, std::int32_t channel) const;

    // Counters count down from the value loaded by the control byte and the low and high data bytes.
    std::uint16_t CounterLoaded(std::uint8_t station, std::int32_t channel) const;
    std::uint16_t CounterReading(std::uint8_t station, std::int32_t channel) const;
    void SetCounterReading(std::uint8_t station, std::int32_t channel, std::uint16_t reading);
    // Counts down by `counts` (16-bit wrap, as the hardware does).
    void AdvanceCounter(std::uint8_t station, std::int32_t channel, std::uint16_t counts);
    // Counts that pass after each complete reading (low and high byte) of the counter.
    void SetCounterAdvance(std::uint8_t station, std::int32_t channel, std::uint16_t countsPerRead);

    // Sum of all delay units asked for; no time really passes.
    std::uint64_t DelayUnits() const { return delayUnits_; }

    // In-memory trace of every access from now on (off by default).
    void EnableTrace(bool on) { traceOn_ = on; }
    const std::vector<TraceEntry>& Trace() const { return trace_; }
    void ClearTrace() { trace_.clear(); }
    // The recorded trace, one line per access.
    std::string TraceText() const;
    bool SaveTrace(const std::string& path) const;
    // Appends every access to a file as it happens, flushed at once so another process (or the test after
    // unloading the library) sees it; the file is opened at the first access. Empty stops it.
    void SetTraceFile(const std::string& path);
    const std::string& TraceFile() const { return traceFile_; }

private:
    struct Wave {
        Waveform Form;
        std::uint16_t From;
        std::uint16_t To;
        std::uint32_t Period;
        std::uint32_t Step;
    };
    struct DiGroup {
        std::uint8_t Value = 0;
        std::uint8_t ToggleMask = 0;
        std::uint32_t ToggleEvery = 0;
        std::uint32_t Reads = 0;
    };
    struct DaLatch {
        std::uint8_t Low = 0;
        std::uint8_t High = 0;
    };
    struct Counter {
        std::uint16_t Loaded = 0;
        std::uint16_t Reading = 0;
        std::uint16_t AdvancePerRead = 0;
        std::uint8_t PendingLow = 0;
        bool WriteHighNext = false;
        bool ReadHighNext = false;
    };
    struct Board {
        std::uint8_t Model = 0;
        std::uint16_t Base = 0;
        std::vector<DiGroup> Di;
        std::vector<std::uint8_t> Do;
        std::vector<std::uint16_t> AdInputs;
        std::map<std::int32_t, Wave> AdWaves;
        bool NotReady = false;
        std::uint8_t HighUpperBits = 0;
        std::uint8_t Mode = 0;
        std::uint8_t Gain = 0;
        std::uint8_t Channel = 0;
        std::uint16_t Latched = 0;
        std::uint32_t Conversions = 0;
        bool StatusNext = true;
        std::vector<DaLatch> Da;
        std::vector<Counter> Counters;
    };

    Board& BoardAt(std::uint8_t station);
    const Board& BoardAt(std::uint8_t station) const;
    void Record(AccessKind kind, std::uint16_t port, std::uint32_t value);
    bool WriteBoard(Board& board, std::int32_t offset, std::uint8_t value);
    bool ReadBoard(Board& board, std::int32_t offset, std::uint8_t& value);
    void StartConversion(Board& board);

    std::map<std::uint8_t, Board> boards_;
    std::uint64_t delayUnits_ = 0;
    bool traceOn_ = false;
    std::vector<TraceEntry> trace_;
    std::string traceFile_;
    std::ofstream traceStream_;
};

} // namespace korax::sim
