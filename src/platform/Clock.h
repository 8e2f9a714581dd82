#pragma once
#include <cstdint>
#include <string>

namespace korax::platform {

// Every reading of time in the driver goes through a Clock the driver object receives at construction,
// so tests can advance time by hand.
class Clock {
public:
    virtual ~Clock() = default;
    // Millisecond tick of the system counter; wraps at 2^32, differences are taken modulo 2^32.
    virtual std::uint32_t TickMs() = 0;
    // Local date-time: days since 1899-12-30, fraction = time of day.
    virtual double Now() = 0;
    // Monotonic microseconds from an arbitrary start, for time stamps finer than the tick. The system
    // clock reads the high-resolution counter; a clock moved by hand moves this with its tick.
    virtual std::uint64_t MonotonicUs() { return std::uint64_t{TickMs()} * 1000; }
};

// The process's real clock (GetTickCount and local time on Win32).
Clock& SystemClock();

// "Short date + long time" text of a local date-time (the user's locale on Win32; a fixed
// "YYYY-MM-DD HH:MM:SS" form elsewhere).
std::string FormatDateTime(double dateTime);

} // namespace korax::platform
