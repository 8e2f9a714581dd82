#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/Value.h"

namespace korax::framework {

// One request of the scan cycle. Requests of a group (and of the pending queue) are chained through
// Next, which owns the rest of the chain.
struct PollRequest {
    static constexpr std::uint8_t OneOff = 0x01;      // released after it completes
    static constexpr std::uint8_t ForceReport = 0x40; // its tags are reported after completion
    static constexpr std::uint8_t PollFlags = 0x02;   // the flags of a polling request
    static constexpr std::uint8_t WriteFlags = OneOff;
    // A write is made in state 1 and moves to 2 after a step that ends without a reply; polls start in 2.
    static constexpr std::uint8_t WriteState = 1;
    static constexpr std::uint8_t PollState = 2;

    std::uint8_t Flags = PollFlags;
    std::uint8_t State = PollState;
    std::vector<std::int32_t> TagPositions;
    std::string CommandText;
    std::string ReplyText;
    std::string TypeName;
    std::int32_t TypeIndex = -1;
    std::uint8_t WriteFlag = 0;
    std::int32_t ChannelLow = 0;
    std::int32_t ChannelHigh = 0;
    std::string ReplyData;
    std::int32_t Station = 0;
    std::uint32_t Interval = 0;
    std::int32_t Countdown = 0;
    std::int32_t Weight = 1;
    std::int32_t OutputImage = 0;
    framework::Value Value;
    float Quality = 1.0f;
    std::unique_ptr<PollRequest> Next;
    // Filled by the board classes.
    std::int32_t Channel = 0;  // channel of the tag that opened the request
    std::int16_t GainCode = 0; // gain register value of an analog input request
    // The reply last spread over the tags, while it still stands in every one of them: no tag of the
    // request has been given a value or forced to report since. An equal reply then changes nothing.
    bool ReplyHeld = false;
    std::uint32_t HeldReply = 0;
    std::int32_t HeldChannel = 0;
    // What a trace says the request serves, handed to the trace once and named by its number there
    // (ServedTrace: the trace that holds it); tags only ever join a request, so the count of its tags tells
    // when the text is out of date.
    const void* ServedTrace = nullptr;
    std::uint32_t ServedId = 0;
    std::size_t ServedTags = 0;

    PollRequest() = default;
    PollRequest(const PollRequest&) = delete;
    PollRequest& operator=(const PollRequest&) = delete;
    // Unlinks the chain behind it one by one, so a long chain cannot exhaust the stack.
    ~PollRequest() {
        for (auto next = std::move(Next); next;) next = std::move(next->Next);
    }
};

} // namespace korax::framework
