#include "platform/Clock.h"

#include <windows.h>

#include "platform/DateSerial.h"
#include "platform/System.h"

namespace korax::platform {
namespace {

class Win32Clock final : public Clock {
public:
    std::uint64_t MonotonicUs() override { return MonotonicMicroseconds(); }
    std::uint32_t TickMs() override { return GetTickCount(); }

    double Now() override {
        SYSTEMTIME st;
        GetLocalTime(&st);
        return ToSerial({st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds});
    }
};

// Runs one of the Get…FormatA calls twice: first for the length, then into a buffer of that length.
template <typename FormatCall>
std::string FormatWith(FormatCall format) {
    const int size = format(nullptr, 0);
    if (size <= 0) return {};
    std::string text(static_cast<std::size_t>(size), '\0');
    const int written = format(text.data(), size);
    // The count includes the terminating zero.
    text.resize(written > 0 ? static_cast<std::size_t>(written) - 1 : 0);
    return text;
}

} // namespace

Clock& SystemClock() {
    static Win32Clock clock;
    return clock;
}

std::string FormatDateTime(double dateTime) {
    const auto civil = FromSerial(dateTime);
    if (!civil) return {};
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(civil->year);
    st.wMonth = static_cast<WORD>(civil->month);
    st.wDay = static_cast<WORD>(civil->day);
    st.wHour = static_cast<WORD>(civil->hour);
    st.wMinute = static_cast<WORD>(civil->minute);
    st.wSecond = static_cast<WORD>(civil->second);
    st.wMilliseconds = static_cast<WORD>(civil->millisecond);
    // wDayOfWeek stays 0: the format calls correct a wrong weekday themselves.

    const std::string date = FormatWith([&st](char* buffer, int size) {
        return GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, buffer, size);
    });
    const std::string time = FormatWith([&st](char* buffer, int size) {
        return GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &st, nullptr, buffer, size);
    });
    // Years before 1601 are outside what the format calls accept.
    if (date.empty() || time.empty()) return {};
    return date + " " + time;
}

} // namespace korax::platform
