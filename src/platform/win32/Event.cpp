#include "platform/Event.h"

#include <windows.h>

namespace korax::platform {
namespace {

class Win32Event final : public Event {
public:
    explicit Win32Event(bool signalled)
        : Handle_(CreateEventA(nullptr, FALSE /* auto-reset */, signalled ? TRUE : FALSE, nullptr)) {}
    ~Win32Event() override {
        if (Handle_ != nullptr) CloseHandle(Handle_);
    }
    Win32Event(const Win32Event&) = delete;
    Win32Event& operator=(const Win32Event&) = delete;

    bool Created() const { return Handle_ != nullptr; }
    bool Wait(std::uint32_t timeoutMs) override {
        return WaitForSingleObject(Handle_, timeoutMs) == WAIT_OBJECT_0;
    }
    void Set() override { SetEvent(Handle_); }

private:
    HANDLE Handle_;
};

} // namespace

std::unique_ptr<Event> Event::CreateAutoReset(bool signalled) {
    auto event = std::make_unique<Win32Event>(signalled);
    if (!event->Created()) return nullptr;
    return event;
}

void SignalHostEvent(void* handle) {
    if (handle != nullptr) SetEvent(static_cast<HANDLE>(handle));
}

} // namespace korax::platform
