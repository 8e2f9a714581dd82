#include "sim/BoardSimulator.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <stdexcept>

namespace korax::sim {

namespace {

using boards::Model;
using boards::TagKind;

using boards::AdNotReadyBit;
using boards::DaPortsPerChannel;
// What an undriven data bus reads as.
constexpr std::uint8_t OpenBus = 0xFF;
constexpr std::uint8_t LowNibble = 0x0F;
constexpr std::uint8_t HighNibble = 0xF0;
constexpr std::uint32_t ByteBits = 8;
constexpr std::uint16_t ByteMask = 0xFF;

// Channels of a kind on a model, from the same channel table the driver's address checks use.
std::int32_t ChannelCount(std::uint8_t model, TagKind kind) {
    return boards::ModelChannelTable(model, kind) + 1;
}

// Port groups of a bit kind: one byte serves KindGroupSize channels.
std::int32_t GroupCount(std::uint8_t model, TagKind kind) {
    const std::int32_t size = boards::GroupSizeOf(static_cast<std::int32_t>(kind));
    return (ChannelCount(model, kind) + size - 1) / size;
}

// Index of offset in the run of `count` registers starting at `first` and `stride` apart, or -1. A
// register the model lacks (NoPort) never matches, since offsets are never negative.
std::int32_t IndexIn(std::int32_t offset, std::int32_t first, std::int32_t count, std::int32_t stride = 1) {
    if (first == boards::NoPort || offset < first) return -1;
    const std::int32_t distance = offset - first;
    if (distance % stride != 0 || distance / stride >= count) return -1;
    return distance / stride;
}

std::uint16_t WaveCode(Waveform form, std::uint16_t from, std::uint16_t to, std::uint32_t period,
                       std::uint32_t step) {
    const double low = from;
    const double high = to;
    double code = low;
    if (form == Waveform::Ramp) {
        if (period > 1) code = low + (high - low) * step / (period - 1);
    } else {
        const double phase = 2.0 * std::numbers::pi * step / period;
        code = (low + high) / 2.0 + (high - low) / 2.0 * std::sin(phase);
    }
    return static_cast<std::uint16_t>(std::clamp(std::lround(code), 0L, static_cast<long>(MaxCode)));
}

template <typename T>
T& At(std::vector<T>& items, std::int32_t index) {
    if (index < 0 || static_cast<std::size_t>(index) >= items.size())
        throw std::out_of_range("the board has no such group or channel");
    return items[static_cast<std::size_t>(index)];
}

template <typename T>
const T& At(const std::vector<T>& items, std::int32_t index) {
    return At(const_cast<std::vector<T>&>(items), index);
}

} // namespace

std::string FormatTraceEntry(const TraceEntry& entry) {
    constexpr std::array<char, 3> KindLetters = {'W', 'R', 'D'};
    const char letter = KindLetters[static_cast<std::size_t>(entry.Kind)];
    char line[40];
    if (entry.Kind == AccessKind::Delay) {
        std::snprintf(line, sizeof line, "%c %lu", letter, static_cast<unsigned long>(entry.Value));
    } else {
        std::snprintf(line, sizeof line, "%c 0x%03X 0x%02X", letter, static_cast<unsigned>(entry.Port),
                      static_cast<unsigned>(entry.Value));
    }
    return line;
}

void BoardSimulator::AddBoard(std::uint8_t station, std::uint8_t model, std::uint16_t base) {
    if (station >= config::BoardCount) throw std::invalid_argument("station outside 0..31");
    const Model* row = boards::ModelOf(model);
    if (row == nullptr) throw std::invalid_argument("model code outside 0..6");
    Board board;
    board.Model = model;
    board.Base = base;
    board.Di.resize(static_cast<std::size_t>(std::max(GroupCount(model, TagKind::DI), 0)));
    board.Do.resize(static_cast<std::size_t>(std::max(GroupCount(model, TagKind::DO), 0)));
    board.AdInputs.resize(static_cast<std::size_t>(ChannelCount(model, TagKind::AD)));
    board.Da.resize(static_cast<std::size_t>(ChannelCount(model, TagKind::DA)));
    board.Counters.resize(static_cast<std::size_t>(ChannelCount(model, TagKind::Count)));
    boards_[station] = std::move(board);
}

BoardSimulator::Board& BoardSimulator::BoardAt(std::uint8_t station) {
    const auto found = boards_.find(station);
    if (found == boards_.end()) throw std::invalid_argument("no board at that station");
    return found->second;
}

const BoardSimulator::Board& BoardSimulator::BoardAt(std::uint8_t station) const {
    return const_cast<BoardSimulator*>(this)->BoardAt(station);
}

void BoardSimulator::Record(AccessKind kind, std::uint16_t port, std::uint32_t value) {
    const TraceEntry entry{kind, port, value};
    if (traceOn_) trace_.push_back(entry);
    if (traceFile_.empty()) return;
    if (!traceStream_.is_open()) traceStream_.open(traceFile_, std::ios::app);
    if (traceStream_) traceStream_ << FormatTraceEntry(entry) << '\n' << std::flush;
}

// Boards are asked in station order; the first one that decodes the port takes the access, as the first
// card to drive the bus would.
void BoardSimulator::Write(std::uint16_t port, std::uint8_t value) {
    Record(AccessKind::Write, port, value);
    for (auto& [station, board] : boards_) {
        const auto offset = static_cast<std::uint16_t>(port - board.Base);
        if (WriteBoard(board, offset, value)) return;
    }
}

std::uint8_t BoardSimulator::Read(std::uint16_t port) {
    std::uint8_t value = OpenBus;
    for (auto& [station, board] : boards_) {
        const auto offset = static_cast<std::uint16_t>(port - board.Base);
        if (ReadBoard(board, offset, value)) break;
    }
    Record(AccessKind::Read, port, value);
    return value;
}

void BoardSimulator::Delay(std::uint32_t units) {
    delayUnits_ += units;
    Record(AccessKind::Delay, 0, units);
}

// Reads and writes decode separately: several models put a write-only register at the address of a
// read-only one (the A100's first DA register shares its address with the AD low byte).
bool BoardSimulator::WriteBoard(Board& board, std::int32_t offset, std::uint8_t value) {
    const boards::PortMap& ports = boards::Models[board.Model].Ports;
    const auto groups = static_cast<std::int32_t>(board.Do.size());
    const auto daChannels = static_cast<std::int32_t>(board.Da.size());
    const auto counters = static_cast<std::int32_t>(board.Counters.size());
    const bool hasAd = !board.AdInputs.empty();

    if (const std::int32_t group = IndexIn(offset, ports.DoByte, groups); group >= 0) {
        board.Do[static_cast<std::size_t>(group)] = value;
    } else if (hasAd && offset == ports.AdMode) {
        board.Mode = value;
    } else if (hasAd && offset == ports.AdGain) {
        board.Gain = value;
    } else if (hasAd && offset == ports.AdChannel) {
        board.Channel = value;
    } else if (hasAd && offset == ports.AdStart) {
        StartConversion(board);
    } else if (const std::int32_t low = IndexIn(offset, ports.DaLow, daChannels, DaPortsPerChannel);
               low >= 0) {
        board.Da[static_cast<std::size_t>(low)].Low = value;
    } else if (const std::int32_t high = IndexIn(offset, ports.DaHigh, daChannels, DaPortsPerChannel);
               high >= 0) {
        board.Da[static_cast<std::size_t>(high)].High = value;
    } else if (counters > 0 && offset == ports.CounterControl) {
        // The control byte names its counter; it restarts both byte sequences of that counter at the low
        // byte. Any other control byte (a latch command, say) changes nothing here.
        const auto& control = boards::CounterControlBytes;
        const auto* named = std::find(control.begin(), control.end(), value);
        const auto channel = static_cast<std::int32_t>(named - control.begin());
        if (named != control.end() && channel < counters) {
            Counter& counter = board.Counters[static_cast<std::size_t>(channel)];
            counter.WriteHighNext = false;
            counter.ReadHighNext = false;
        }
    } else if (const std::int32_t channel = IndexIn(offset, ports.CounterData, counters); channel >= 0) {
        Counter& counter = board.Counters[static_cast<std::size_t>(channel)];
        if (!counter.WriteHighNext) {
            counter.PendingLow = value;
        } else {
            counter.Loaded = static_cast<std::uint16_t>(value << ByteBits | counter.PendingLow);
            counter.Reading = counter.Loaded;
        }
        counter.WriteHighNext = !counter.WriteHighNext;
    } else {
        return false;
    }
    return true;
}

bool BoardSimulator::ReadBoard(Board& board, std::int32_t offset, std::uint8_t& value) {
    const boards::PortMap& ports = boards::Models[board.Model].Ports;
    const auto groups = static_cast<std::int32_t>(board.Di.size());
    const auto counters = static_cast<std::int32_t>(board.Counters.size());
    const bool hasAd = !board.AdInputs.empty();

    if (const std::int32_t group = IndexIn(offset, ports.DiByte, groups); group >= 0) {
        DiGroup& di = board.Di[static_cast<std::size_t>(group)];
        value = di.Value;
        if (di.ToggleEvery != 0 && ++di.Reads % di.ToggleEvery == 0) di.Value ^= di.ToggleMask;
    } else if (hasAd && offset == ports.AdStatus) {
        // One address, two registers in turn: the status first after each start, then the high byte.
        if (board.StatusNext) {
            value = board.NotReady ? AdNotReadyBit : 0;
        } else {
            value = static_cast<std::uint8_t>(((board.Latched >> ByteBits) & LowNibble) |
                                              (board.HighUpperBits & HighNibble));
        }
        board.StatusNext = !board.StatusNext;
    } else if (hasAd && offset == ports.AdLow) {
        value = static_cast<std::uint8_t>(board.Latched & ByteMask);
    } else if (const std::int32_t channel = IndexIn(offset, ports.CounterData, counters); channel >= 0) {
        // Low byte, then high byte of the same reading; the counter moves on only after a whole reading,
        // so the two halves always belong together.
        Counter& counter = board.Counters[static_cast<std::size_t>(channel)];
        if (!counter.ReadHighNext) {
            value = static_cast<std::uint8_t>(counter.Reading & ByteMask);
        } else {
            value = static_cast<std::uint8_t>(counter.Reading >> ByteBits);
            counter.Reading = static_cast<std::uint16_t>(counter.Reading - counter.AdvancePerRead);
        }
        counter.ReadHighNext = !counter.ReadHighNext;
    } else {
        return false;
    }
    return true;
}

// A channel byte beyond the model's channels selects no input and converts 0.
void BoardSimulator::StartConversion(Board& board) {
    ++board.Conversions;
    board.StatusNext = true;
    const std::int32_t channel = board.Channel;
    board.Latched = channel < static_cast<std::int32_t>(board.AdInputs.size())
                        ? board.AdInputs[static_cast<std::size_t>(channel)]
                        : 0;
    const auto wave = board.AdWaves.find(channel);
    if (wave == board.AdWaves.end()) return;
    Wave& w = wave->second;
    w.Step = (w.Step + 1) % w.Period;
    board.AdInputs[static_cast<std::size_t>(channel)] = WaveCode(w.Form, w.From, w.To, w.Period, w.Step);
}

void BoardSimulator::SetDiByte(std::uint8_t station, std::int32_t group, std::uint8_t value) {
    At(BoardAt(station).Di, group).Value = value;
}

std::uint8_t BoardSimulator::DiByte(std::uint8_t station, std::int32_t group) const {
    return At(BoardAt(station).Di, group).Value;
}

void BoardSimulator::ToggleDi(std::uint8_t station, std::int32_t group, std::uint8_t mask,
                              std::uint32_t everyReads) {
    DiGroup& di = At(BoardAt(station).Di, group);
    di.ToggleMask = mask;
    di.ToggleEvery = everyReads;
    di.Reads = 0;
}

std::uint8_t BoardSimulator::DoLatch(std::uint8_t station, std::int32_t group) const {
    return At(BoardAt(station).Do, group);
}

void BoardSimulator::SetAdInput(std::uint8_t station, std::int32_t channel, std::uint16_t code) {
    if (code > MaxCode) throw std::out_of_range("AD input code outside 0..4095");
    Board& board = BoardAt(station);
    At(board.AdInputs, channel) = code;
    board.AdWaves.erase(channel);
}

void BoardSimulator::SetAdWave(std::uint8_t station, std::int32_t channel, Waveform form, std::uint16_t from,
                               std::uint16_t to, std::uint32_t period) {
    if (from > MaxCode || to > MaxCode) throw std::out_of_range("AD input code outside 0..4095");
    if (period == 0) throw std::out_of_range("a waveform needs a period of at least one conversion");
    Board& board = BoardAt(station);
    At(board.AdInputs, channel) = WaveCode(form, from, to, period, 0);
    board.AdWaves[channel] = Wave{form, from, to, period, 0};
}

void BoardSimulator::SetNotReady(std::uint8_t station, bool notReady) {
    BoardAt(station).NotReady = notReady;
}

void BoardSimulator::SetAdHighUpperBits(std::uint8_t station, std::uint8_t bits) {
    BoardAt(station).HighUpperBits = bits;
}

std::uint8_t BoardSimulator::LastAdMode(std::uint8_t station) const {
    return BoardAt(station).Mode;
}

std::uint8_t BoardSimulator::LastAdGain(std::uint8_t station) const {
    return BoardAt(station).Gain;
}

std::uint8_t BoardSimulator::LastAdChannel(std::uint8_t station) const {
    return BoardAt(station).Channel;
}

std::uint32_t BoardSimulator::AdConversions(std::uint8_t station) const {
    return BoardAt(station).Conversions;
}

std::uint16_t BoardSimulator::DaValue(std::uint8_t station, std::int32_t channel) const {
    const DaLatch& latch = At(BoardAt(station).Da, channel);
    return static_cast<std::uint16_t>((latch.High & LowNibble) << ByteBits | latch.Low);
}

std::uint16_t BoardSimulator::CounterLoaded(std::uint8_t station, std::int32_t channel) const {
    return At(BoardAt(station).Counters, channel).Loaded;
}

std::uint16_t BoardSimulator::CounterReading(std::uint8_t station, std::int32_t channel) const {
    return At(BoardAt(station).Counters, channel).Reading;
}

void BoardSimulator::SetCounterReading(std::uint8_t station, std::int32_t channel, std::uint16_t reading) {
    At(BoardAt(station).Counters, channel).Reading = reading;
}

void BoardSimulator::AdvanceCounter(std::uint8_t station, std::int32_t channel, std::uint16_t counts) {
    Counter& counter = At(BoardAt(station).Counters, channel);
    counter.Reading = static_cast<std::uint16_t>(counter.Reading - counts);
}

void BoardSimulator::SetCounterAdvance(std::uint8_t station, std::int32_t channel,
                                       std::uint16_t countsPerRead) {
    At(BoardAt(station).Counters, channel).AdvancePerRead = countsPerRead;
}

std::string BoardSimulator::TraceText() const {
    std::string text;
    for (const TraceEntry& entry : trace_) text += FormatTraceEntry(entry) + '\n';
    return text;
}

bool BoardSimulator::SaveTrace(const std::string& path) const {
    std::ofstream file(path, std::ios::trunc);
    file << TraceText();
    return static_cast<bool>(file.flush());
}

void BoardSimulator::SetTraceFile(const std::string& path) {
    traceStream_.close();
    traceFile_ = path;
}

} // namespace korax::sim
