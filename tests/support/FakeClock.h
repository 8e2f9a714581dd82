#pragma once
#include <cstdint>

#include "platform/Clock.h"

namespace korax::test {

// A clock the test moves by hand.
class FakeClock : public platform::Clock {
public:
    std::uint32_t TickMs() override { return tick; }
    double Now() override { return now; }
    void Advance(std::uint32_t ms) {
        tick += ms;
        now += ms / 86400000.0;
    }

    std::uint32_t tick = 1000;
    double now = 45000.5; // 2023-03-15 12:00
};

} // namespace korax::test
