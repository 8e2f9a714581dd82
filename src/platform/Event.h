#pragma once
#include <cstdint>
#include <memory>

namespace korax::platform {

// Auto-reset event: a successful Wait consumes the signal.
class Event {
public:
    // Nil when the system could not create one.
    static std::unique_ptr<Event> CreateAutoReset(bool signalled);
    virtual ~Event() = default;
    // True when signalled within timeoutMs; false on time-out.
    virtual bool Wait(std::uint32_t timeoutMs) = 0;
    virtual void Set() = 0;
};

// Signals an event handle the host gave (Win32: SetEvent on the HANDLE; POSIX: the handle is an Event*).
void SignalHostEvent(void* handle);

} // namespace korax::platform
