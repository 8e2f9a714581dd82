#pragma once
#include <chrono>
#include <cmath>
#include <cstdint>
#include <optional>

namespace korax::platform {

// Calendar fields of a local date-time, as both systems' local-time calls hand them out.
struct CivilDateTime {
    int year = 1899;
    unsigned month = 12, day = 30;
    unsigned hour = 0, minute = 0, second = 0, millisecond = 0;
    bool operator==(const CivilDateTime&) const = default;
};

inline constexpr std::chrono::sys_days kSerialEpoch{std::chrono::year{1899} / 12 / 30};
inline constexpr std::int64_t kMsPerDay = 86'400'000;
// 0100-01-01 and 9999-12-31: the range the host's date type can express.
inline constexpr std::int64_t kFirstSerialDay = -657'434;
inline constexpr std::int64_t kLastSerialDay = 2'958'465;

// Days since 1899-12-30 with the time of day as fraction. Before the epoch the fraction counts away from
// zero (06:00 on 1899-12-29 is -1.25), the way the host's date type has always stored such values.
inline double ToSerial(const CivilDateTime& t) {
    using namespace std::chrono;
    const auto days = (sys_days{year{t.year} / month{t.month} / day{t.day}} - kSerialEpoch).count();
    const std::int64_t ms =
        ((std::int64_t{t.hour} * 60 + t.minute) * 60 + t.second) * 1000 + std::int64_t{t.millisecond};
    const double fraction = static_cast<double>(ms) / static_cast<double>(kMsPerDay);
    return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

// Inverse of ToSerial, rounded to the millisecond. Nil for values no calendar date matches.
inline std::optional<CivilDateTime> FromSerial(double serial) {
    using namespace std::chrono;
    if (!std::isfinite(serial) || serial < static_cast<double>(kFirstSerialDay - 1) ||
        serial > static_cast<double>(kLastSerialDay + 1))
        return std::nullopt;
    const double whole = std::trunc(serial);
    std::int64_t dayNumber = static_cast<std::int64_t>(whole);
    std::int64_t ms = std::llround(std::fabs(serial - whole) * static_cast<double>(kMsPerDay));
    // A value a hair below midnight rounds up to the next day's 00:00, never to a 24:00 of its own day.
    // The time of day runs forward on either side of the epoch, so the next calendar day is always +1.
    if (ms >= kMsPerDay) {
        ms -= kMsPerDay;
        ++dayNumber;
    }
    if (dayNumber < kFirstSerialDay || dayNumber > kLastSerialDay) return std::nullopt;

    const year_month_day date{kSerialEpoch + days{dayNumber}};
    CivilDateTime t;
    t.year = static_cast<int>(date.year());
    t.month = static_cast<unsigned>(date.month());
    t.day = static_cast<unsigned>(date.day());
    t.millisecond = static_cast<unsigned>(ms % 1000);
    t.second = static_cast<unsigned>(ms / 1000 % 60);
    t.minute = static_cast<unsigned>(ms / 60'000 % 60);
    t.hour = static_cast<unsigned>(ms / 3'600'000);
    return t;
}

} // namespace korax::platform
