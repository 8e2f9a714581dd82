#include "host/AlarmEvent.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include "platform/Event.h"
#endif

namespace korax::tools::host {

#if defined(_WIN32)
// Auto-reset: one look takes one signal.
AlarmEvent::AlarmEvent() : handle_(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}

AlarmEvent::~AlarmEvent() {
    if (handle_ != nullptr) CloseHandle(handle_);
}

void* AlarmEvent::Handle() const {
    return handle_;
}

bool AlarmEvent::Fired() {
    return handle_ != nullptr && WaitForSingleObject(handle_, 0) == WAIT_OBJECT_0;
}
#else
AlarmEvent::AlarmEvent() : event_(platform::Event::CreateAutoReset(false)) {}

AlarmEvent::~AlarmEvent() = default;

void* AlarmEvent::Handle() const {
    return event_.get();
}

bool AlarmEvent::Fired() {
    return event_ != nullptr && event_->Wait(0);
}
#endif

} // namespace korax::tools::host
