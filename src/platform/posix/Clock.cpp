#include "platform/Clock.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "platform/DateSerial.h"
#include "platform/System.h"

namespace korax::platform {
namespace {

class PosixClock final : public Clock {
public:
    std::uint64_t MonotonicUs() override { return MonotonicMicroseconds(); }
    std::uint32_t TickMs() override {
        timespec ts{};
        clock_gettime(CLOCK_MONOTONIC, &ts);
        const auto ms =
            static_cast<std::uint64_t>(ts.tv_sec) * 1000 + static_cast<std::uint64_t>(ts.tv_nsec) / 1'000'000;
        // Wraps like the 32-bit system tick the driver was written against.
        return static_cast<std::uint32_t>(ms);
    }

    double Now() override {
        timespec ts{};
        clock_gettime(CLOCK_REALTIME, &ts);
        std::tm local{};
        localtime_r(&ts.tv_sec, &local);
        // A leap second (tm_sec 60) would push the fraction to a whole day.
        return ToSerial({local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1),
                         static_cast<unsigned>(local.tm_mday), static_cast<unsigned>(local.tm_hour),
                         static_cast<unsigned>(local.tm_min),
                         static_cast<unsigned>(std::min(local.tm_sec, 59)),
                         static_cast<unsigned>(ts.tv_nsec / 1'000'000)});
    }
};

} // namespace

Clock& SystemClock() {
    static PosixClock clock;
    return clock;
}

std::string FormatDateTime(double dateTime) {
    const auto t = FromSerial(dateTime);
    if (!t) return {};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u %02u:%02u:%02u", t->year, t->month, t->day, t->hour,
                  t->minute, t->second);
    return text;
}

} // namespace korax::platform
