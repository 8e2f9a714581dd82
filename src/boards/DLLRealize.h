#pragma once
#include <atomic>
#include <cstdint>
#include <optional>

#include "boards/DLLObj.h"

namespace korax::boards {

// Counter targets by station and counter channel, shared by every driver object of the process. Threads
// may write the same cell at once; each cell is atomic, so the last write wins without a data race.
inline constexpr std::size_t CounterChannels = 4;
std::atomic<std::uint16_t>& CountTarget(std::size_t station, std::size_t channel);
bool IsCountTargetCell(std::int32_t station, std::int32_t channel);

// The model-specific driver object the exports create: requests are carried out on the boards' registers.
class TDLLObject : public TCustomDLLObject {
public:
    TDLLObject(platform::Clock& clock, bool firstInstance, PortBus* bus = nullptr);
    ~TDLLObject() override;

    bool LoadPDB(const config::DevicePDB* block) override;
    framework::RequestPtr MakeRequest(framework::TagItem& tag, framework::PollListType& list,
                                      bool write) override;
    void SendRequest(framework::PollRequest& request) override;
    void CloseDriver() override;
    bool ProbeBoard(std::int32_t slot) override;

    std::int32_t ActiveBoard() const { return ActiveBoard_; }

    // Register protocol of each channel kind, on board entry request.Station.
    std::uint8_t ReadDIByte(const framework::PollRequest& request);
    void WriteDOByte(const framework::PollRequest& request);
    // No value when the converter reports it is not ready.
    std::optional<std::uint32_t> ReadAD(const framework::PollRequest& request);
    void WriteDA(const framework::PollRequest& request);
    std::uint32_t ReadCounter(const framework::PollRequest& request);
    void LoadCounter(const framework::PollRequest& request, std::uint16_t target);

private:
    std::int32_t ActiveBoard_ = 0;
};

} // namespace korax::boards
