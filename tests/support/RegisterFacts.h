#pragma once
// Every model's registers as the boards' port maps state them, written out here by hand: offsets from
// the base address, never read from the driver's model table, so a wrong number there cannot move the
// expectation with it.
#include <array>
#include <cstdint>

namespace korax::test {

inline constexpr int None = -1;

struct RegisterFacts {
    std::uint8_t Model;
    const char* Name;
    int DiByte, DiGroups; // byte g (channels 8g..8g+7) at DiByte + g
    int DoByte, DoGroups;
    int AdLow, AdStatus, AdGain, AdChannel, AdMode, AdStart, AdChannels;
    int DaLow, DaHigh, DaChannels; // channel c: low byte at DaLow + 2c, then high nibble at DaHigh + 2c
    int CounterControl, CounterData, Counters; // counter c: data at CounterData + c
    int FirstPort, LastPort;                   // the ports the board occupies
};

inline constexpr std::array<RegisterFacts, 7> Registers = {{
    {0, "KRX-A100", 6, 2, 13, 2, 4, 5, 9, 10, 11, 12, 16, 4, 5, 2, 3, 0, 1, 0, 14},
    {1, "KRX-A200", None, 0, None, 0, 4, 5, 9, 10, None, 12, 32, None, None, 0, None, None, 0, 4, 12},
    {2, "KRX-B100", 14, 2, 12, 2, None, None, None, None, None, None, 0, 1, 0, 6, None, None, 0, 0, 15},
    {3, "KRX-C100", 0, 4, 0, 4, None, None, None, None, None, None, 0, None, None, 0, 7, 4, 3, 0, 7},
    {4, "KRX-C200", 1, 1, 0, 1, None, None, None, None, None, None, 0, None, None, 0, None, None, 0, 0, 1},
    {5, "KRX-C210", 2, 2, 0, 2, None, None, None, None, None, None, 0, None, None, 0, None, None, 0, 0, 3},
    {6, "KRX-C300", 0, 4, 0, 4, None, None, None, None, None, None, 0, None, None, 0, None, None, 0, 0, 3},
}};

// Control byte that selects counter c before its data bytes are loaded.
inline constexpr std::array<std::uint8_t, 3> CounterControl = {0x30, 0x70, 0xB0};

} // namespace korax::test
