#include "boards/DLLRealize.h"

#include <array>

#include "boards/ModelTables.h"

namespace korax::boards {

using framework::PollRequest;
using framework::RequestPtr;
using framework::TagItem;

namespace {

std::array<std::array<std::atomic<std::uint16_t>, CounterChannels>, config::BoardCount> countTargets{};

// Fixed waits of the conversion sequence, in delay units.
constexpr std::uint32_t ModeSettle = 1;
constexpr std::uint32_t GainSettle = 1;
constexpr std::uint32_t ChannelSettle = 5;
constexpr std::uint32_t ConversionTime = 10;
constexpr std::uint32_t CounterSettle = 1;
constexpr std::uint8_t StartConversion = 1;
constexpr std::uint8_t SingleConversionMode = 1;
constexpr std::uint32_t DaHighMask = 0x0F;
constexpr std::int32_t BitsPerGroup = 8;

std::uint8_t Low(std::uint32_t v) {
    return static_cast<std::uint8_t>(v & 0xFF);
}

bool Is(const PollRequest& request, TagKind kind) {
    return request.TypeIndex == static_cast<std::int32_t>(kind);
}

} // namespace

bool IsCountTargetCell(std::int32_t station, std::int32_t channel) {
    return station >= 0 && station < config::BoardCount && channel >= 0 &&
           static_cast<std::size_t>(channel) < CounterChannels;
}

std::atomic<std::uint16_t>& CountTarget(std::size_t station, std::size_t channel) {
    return countTargets[station][channel];
}

TDLLObject::TDLLObject(platform::Clock& clock, bool firstInstance, PortBus* bus)
    : TCustomDLLObject(clock, firstInstance, bus) {}

TDLLObject::~TDLLObject() {
    Shutdown();
}

bool TDLLObject::LoadPDB(const config::DevicePDB* block) {
    if (!TCustomDLLObject::LoadPDB(block)) return false;
    return CheckBoards();
}

bool TDLLObject::ProbeBoard(std::int32_t) {
    return true;
}

RequestPtr TDLLObject::MakeRequest(TagItem& tag, framework::PollListType& list, bool write) {
    if (!Active()) return nullptr;
    RequestPtr request = TCustomDLLObject::MakeRequest(tag, list, write);
    if (!request || !BoardPresent(tag.Station)) return nullptr;
    request->Channel = tag.Channel;
    ActiveBoard_ = tag.Station;
    if (Is(*request, TagKind::AD) && tag.Channel >= 0 && tag.Channel < config::AdGainCount) {
        std::int32_t code = PDB().Boards[tag.Station].ADGain[tag.Channel];
        code = static_cast<std::int16_t>(code & 0xFFFF);
        if (const Model* model = ModelOf(tag.DevKind); model != nullptr && model->GainCodeModulus > 0)
            code %= model->GainCodeModulus;
        request->GainCode = static_cast<std::int16_t>(code);
    }
    return request;
}

void TDLLObject::SendRequest(PollRequest& request) {
    if (!Active()) return;
    ActiveBoard_ = request.Station;
    if (!BoardPresent(request.Station)) return;
    ReplyReady_ = false;
    SetDevMsg({});
    if (request.WriteFlag == 0) {
        if (Is(request, TagKind::AD)) {
            if (const auto value = ReadAD(request)) DistributeValue(*value, request, request.Channel);
        } else if (Is(request, TagKind::Count)) {
            DistributeValue(ReadCounter(request), request, request.Channel);
        } else if (Is(request, TagKind::DI)) {
            DistributeValue(ReadDIByte(request), request, request.Channel);
        }
    } else if (Is(request, TagKind::DO)) {
        WriteDOByte(request);
    } else if (Is(request, TagKind::DA)) {
        WriteDA(request);
    } else if (Is(request, TagKind::CountTarget)) {
        if (IsCountTargetCell(request.Station, request.Channel))
            CountTarget(request.Station, request.Channel) =
                static_cast<std::uint16_t>(request.Value.ToInteger());
    } else if (Is(request, TagKind::RunCount)) {
        if (IsCountTargetCell(request.Station, request.Channel))
            LoadCounter(request, CountTarget(request.Station, request.Channel));
    }
    ReplyReady_ = true;
    TBaseDLLObject::SendRequest(request);
}

void TDLLObject::CloseDriver() {
    BoardPresent_.fill(false);
    TCustomDLLObject::CloseDriver();
}

// --- register protocol ---

namespace {

struct Board {
    std::uint16_t Base;
    const PortMap& Ports;
    std::uint8_t Kind;
};

// The board a request addresses; its station was checked present when the request was made.
Board BoardOf(const config::DevicePDB& pdb, std::int32_t station) {
    const config::BoardEntry& entry = pdb.Boards[station];
    const Model* model = ModelOf(entry.DevType);
    return {static_cast<std::uint16_t>(entry.BaseAddress & 0xFFFF), model->Ports, entry.DevType};
}

std::uint16_t At(const Board& board, std::int32_t offset, std::int32_t index = 0) {
    return static_cast<std::uint16_t>(board.Base + offset + index);
}

} // namespace

std::uint8_t TDLLObject::ReadDIByte(const PollRequest& request) {
    const Board board = BoardOf(PDB(), request.Station);
    return ReadPort(At(board, board.Ports.DiByte, request.Channel / BitsPerGroup));
}

void TDLLObject::WriteDOByte(const PollRequest& request) {
    const Board board = BoardOf(PDB(), request.Station);
    const std::uint16_t port = At(board, board.Ports.DoByte, request.Channel / BitsPerGroup);
    // Written twice, as the output latches of these boards have always been driven.
    WritePort(port, Low(static_cast<std::uint32_t>(request.OutputImage)));
    WritePort(port, Low(static_cast<std::uint32_t>(request.OutputImage)));
}

std::optional<std::uint32_t> TDLLObject::ReadAD(const PollRequest& request) {
    const Board board = BoardOf(PDB(), request.Station);
    const PortMap& ports = board.Ports;
    if (ports.AdMode != NoPort) {
        WritePort(At(board, ports.AdMode), SingleConversionMode);
        Bus().Delay(ModeSettle);
    }
    WritePort(At(board, ports.AdGain), Low(static_cast<std::uint32_t>(request.GainCode)));
    Bus().Delay(GainSettle);
    WritePort(At(board, ports.AdChannel), Low(static_cast<std::uint32_t>(request.Channel)));
    Bus().Delay(ChannelSettle);
    WritePort(At(board, ports.AdStart), StartConversion);
    Bus().Delay(ConversionTime);
    if ((ReadPort(At(board, ports.AdStatus)) & AdNotReadyBit) != 0) return std::nullopt;
    const std::uint32_t high = ReadPort(At(board, ports.AdStatus));
    const std::uint32_t low = ReadPort(At(board, ports.AdLow));
    return (high & DaHighMask) * 256 + low;
}

void TDLLObject::WriteDA(const PollRequest& request) {
    const Board board = BoardOf(PDB(), request.Station);
    const auto value = static_cast<std::uint32_t>(request.Value.ToInteger());
    const std::int32_t pair = DaPortsPerChannel * request.Channel;
    WritePort(At(board, board.Ports.DaLow, pair), Low(value));
    WritePort(At(board, board.Ports.DaHigh, pair), static_cast<std::uint8_t>((value >> 8) & DaHighMask));
}

std::uint32_t TDLLObject::ReadCounter(const PollRequest& request) {
    const Board board = BoardOf(PDB(), request.Station);
    const std::uint16_t port = At(board, board.Ports.CounterData, request.Channel);
    const std::uint32_t low = ReadPort(port);
    Bus().Delay(CounterSettle);
    const std::uint32_t high = ReadPort(port);
    const std::int64_t target = IsCountTargetCell(request.Station, request.Channel)
                                    ? CountTarget(request.Station, request.Channel).load()
                                    : 0;
    const std::int64_t count = target - static_cast<std::int64_t>(high * 256 + low);
    return count < 0 || count > 0xFFFF ? 0 : static_cast<std::uint32_t>(count);
}

void TDLLObject::LoadCounter(const PollRequest& request, std::uint16_t target) {
    const Board board = BoardOf(PDB(), request.Station);
    const std::uint8_t control =
        request.Channel >= 0 && static_cast<std::size_t>(request.Channel) < CounterControlBytes.size()
            ? CounterControlBytes[static_cast<std::size_t>(request.Channel)]
            : 0x00;
    WritePort(At(board, board.Ports.CounterControl), control);
    Bus().Delay(CounterSettle);
    const std::uint16_t data = At(board, board.Ports.CounterData, request.Channel);
    WritePort(data, Low(target));
    Bus().Delay(CounterSettle);
    WritePort(data, static_cast<std::uint8_t>(target >> 8));
}

} // namespace korax::boards
