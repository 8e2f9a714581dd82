#pragma once
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "boards/PortBus.h"

namespace korax::test {

// A port bus that remembers every access in order and answers reads from values the test queued per
// port (0xFF, a floating bus, when none is queued).
class RecordingBus : public boards::PortBus {
public:
    struct Access {
        char Kind; // 'W' write, 'R' read, 'D' delay
        std::uint32_t Port;
        std::uint32_t Value; // byte written or read, or delay units
        bool operator==(const Access&) const = default;
    };

    void Write(std::uint16_t port, std::uint8_t value) override { log.push_back({'W', port, value}); }
    std::uint8_t Read(std::uint16_t port) override {
        std::uint8_t value = 0xFF;
        auto& queued = reads[port];
        if (!queued.empty()) {
            value = queued.front();
            queued.pop_front();
        }
        log.push_back({'R', port, value});
        return value;
    }
    void Delay(std::uint32_t units) override { log.push_back({'D', 0, units}); }

    void Queue(std::uint16_t port, std::initializer_list<std::uint8_t> values) {
        reads[port].insert(reads[port].end(), values);
    }

    std::vector<Access> log;
    std::map<std::uint16_t, std::deque<std::uint8_t>> reads;
};

} // namespace korax::test
