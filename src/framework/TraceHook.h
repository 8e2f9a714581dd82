#pragma once
#include <string_view>

#include "framework/PollRequest.h"
#include "framework/TagItem.h"

namespace korax::framework {

// What a driver object tells a trace of its own work, beside the port traffic: the requests it sends,
// the values they give tags and the messages it queues for the host.
class TraceHook {
public:
    // The request is about to be sent to its board (the trace may keep its own text in it).
    virtual void RequestSent(PollRequest& request) = 0;
    // While a request is being sent: it gave the tag its value.
    virtual void ValueGiven(const TagItem& tag) = 0;
    // A message now waits for the host.
    virtual void MessageQueued(std::string_view text) = 0;
    // The object closed: whatever the trace holds of it is written now.
    virtual void DriverClosed() = 0;

protected:
    ~TraceHook() = default;
};

} // namespace korax::framework
