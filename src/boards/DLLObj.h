#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "boards/PortAccess.h"
#include "boards/PortBus.h"
#include "framework/DLLBase.h"
#include "platform/DynamicLibrary.h"

namespace korax::boards {

class TraceFile;
class TraceRecorder;

// Port-access layer between the driver object and the board models: the port I/O library, the check of
// the configured boards, and how tags become requests and values come back to them.
class TCustomDLLObject : public framework::TBaseDLLObject {
public:
    // bus: where port traffic goes; nil for the driver's own bus to the hardware.
    TCustomDLLObject(platform::Clock& clock, bool firstInstance, PortBus* bus = nullptr);
    ~TCustomDLLObject() override;

    // --- overrides ---
    bool LoadPDB(const config::DevicePDB* block) override;
    void CloseDriver() override;
    framework::TagPtr CreateTag(const framework::TagDefinition* definition) override;
    bool JoinRequest(framework::PollListType& list, framework::TagItem& tag, bool write) override;
    framework::RequestPtr MakeRequest(framework::TagItem& tag, framework::PollListType& list,
                                      bool write) override;
    void ReplyText(framework::PollRequest& request, framework::TagItem& tag, std::string& text,
                   bool write) override;
    void CommandText(framework::PollRequest& request, framework::TagItem& tag, std::string& text,
                     bool write) override;

    // --- operations of its own, in slot order ---
    virtual bool LoadVendorLibrary();
    virtual bool ProbeBoard(std::int32_t slot);
    // Spreads a value read for a request over the request's tags.
    virtual void DistributeValue(std::uint32_t value, framework::PollRequest& request, std::int32_t channel);

    // Byte-wide port access; every register access of the boards goes through these.
    void WritePort(std::uint16_t port, std::uint8_t value) { Bus_->Write(port, value); }
    std::uint8_t ReadPort(std::uint16_t port) { return Bus_->Read(port); }
    bool LoadPortLibrary();
    // From now on the object's port accesses, requests and messages go to the trace as well.
    void TraceTo(TraceFile& trace);

    bool BoardPresent(std::int32_t slot) const {
        return slot >= 0 && slot < config::BoardCount && BoardPresent_[static_cast<std::size_t>(slot)];
    }
    bool PortLibLoaded() const { return PortLib_.Loaded(); }
    bool VendorLibLoaded() const { return VendorLibLoaded_; }

protected:
    // Closes the object on destruction with the overrides of the most-derived class still in effect.
    void Shutdown();
    // Asks the bus for the ports of every configured board (given back at close); false with the message
    // naming the first board refused, and nothing held.
    bool AcquireBoardPorts();
    // Marks present every configured board that answers its probe; true when there is one.
    bool CheckBoards();
    PortBus& Bus() { return *Bus_; }

    bool VendorLibLoaded_ = false;
    platform::DynamicLibrary VendorLib_;
    platform::DynamicLibrary PortLib_;
    std::array<bool, config::BoardCount> BoardPresent_{};
    OutPortProc OutPortProc_ = nullptr;
    InPortProc InPortProc_ = nullptr;

private:
    SystemPortBus SystemBus_;
    PortBus& Chosen_; // the bus given, or the object's own
    std::unique_ptr<TraceRecorder> Recorder_;
    std::unique_ptr<PortBus> Traced_; // the trace's decorator around Chosen_
    PortBus* Bus_ = &Chosen_;
};

} // namespace korax::boards
