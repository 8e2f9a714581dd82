#pragma once
// The event a host hands the driver through IniDriverEx; the driver signals it on a serious link failure
// and the host looks at it between scan steps.
#include <memory>

namespace korax::platform {
class Event;
}

namespace korax::tools::host {

class AlarmEvent {
public:
    AlarmEvent();
    ~AlarmEvent();
    AlarmEvent(const AlarmEvent&) = delete;
    AlarmEvent& operator=(const AlarmEvent&) = delete;

    // What IniDriverEx takes: a Win32 event handle, or natively the event object the driver signals.
    void* Handle() const;
    // Whether it was signalled since the last look (the look resets it).
    bool Fired();

private:
#if defined(_WIN32)
    void* handle_ = nullptr;
#else
    std::unique_ptr<platform::Event> event_;
#endif
};

} // namespace korax::tools::host
