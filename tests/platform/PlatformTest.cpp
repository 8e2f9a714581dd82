#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <thread>

#include <gtest/gtest.h>

#include "platform/Clock.h"
#include "platform/DateSerial.h"
#include "platform/DynamicLibrary.h"
#include "platform/Event.h"
#include "platform/System.h"
#include "platform/ThreadSlot.h"

using namespace korax::platform;
using namespace std::chrono_literals;

namespace {

#ifdef _WIN32
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

template <typename F>
std::chrono::milliseconds Timed(F&& body) {
    const auto start = std::chrono::steady_clock::now();
    body();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
}

TEST(DateSerial, ConvertsBothWaysAroundTheEpochAndLeapDays) {
    const CivilDateTime noon{2023, 3, 15, 12, 0, 0, 0};
    EXPECT_EQ(ToSerial(noon), 45000.5);
    EXPECT_EQ(FromSerial(45000.5), noon);
    EXPECT_EQ(ToSerial(CivilDateTime{}), 0.0);
    // Before the epoch the time of day counts away from zero.
    const CivilDateTime beforeEpoch{1899, 12, 29, 6, 0, 0, 0};
    EXPECT_EQ(ToSerial(beforeEpoch), -1.25);
    EXPECT_EQ(FromSerial(-1.25), beforeEpoch);
    for (const CivilDateTime t :
         {CivilDateTime{2024, 2, 29, 23, 59, 59, 999}, CivilDateTime{1900, 3, 1, 0, 0, 0, 1},
          CivilDateTime{9999, 12, 31, 23, 59, 59, 999}, CivilDateTime{100, 1, 1, 7, 8, 9, 10}})
        EXPECT_EQ(FromSerial(ToSerial(t)), t) << t.year;
}

TEST(DateSerial, RoundsToTheMillisecondWithoutReachingMidnightOfTheSameDay) {
    EXPECT_EQ(FromSerial(45000.9999999), (CivilDateTime{2023, 3, 15, 23, 59, 59, 991}));
    EXPECT_EQ(FromSerial(45000.99999999999), (CivilDateTime{2023, 3, 16, 0, 0, 0, 0}));
    EXPECT_EQ(FromSerial(-1.99999999999), (CivilDateTime{1899, 12, 30, 0, 0, 0, 0}));
    EXPECT_FALSE(FromSerial(std::numeric_limits<double>::quiet_NaN()));
    EXPECT_FALSE(FromSerial(std::numeric_limits<double>::infinity()));
    EXPECT_FALSE(FromSerial(1e12));
    EXPECT_FALSE(FromSerial(2958465.999999999)); // rounds up into year 10000
}

TEST(Clock, NowIsTodayInLocalTime) {
    const double now = SystemClock().Now();
    const auto utcSeconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch());
    const double utcSerial = 25569.0 + static_cast<double>(utcSeconds.count()) / 86400.0;
    // Local time differs from UTC by at most 14 hours; a wrong epoch would be off by whole days.
    EXPECT_NEAR(now, utcSerial, 14.5 / 24.0);
}

TEST(Clock, CountersAdvanceAcrossASleep) {
    Clock& clock = SystemClock();
    const std::uint32_t tick = clock.TickMs();
    const std::uint64_t counter = PerformanceCounter();
    std::this_thread::sleep_for(60ms);
    const std::uint32_t elapsedTicks = clock.TickMs() - tick;
    EXPECT_GE(elapsedTicks, 40u); // the Win32 tick has a granularity of about 16 ms
    EXPECT_LT(elapsedTicks, 5000u);
    const double seconds = static_cast<double>(PerformanceCounter() - counter) / PerformanceFrequency();
    EXPECT_GE(seconds, 0.055);
    EXPECT_LT(seconds, 5.0);
}

TEST(FormatDateTime, ShowsDateAndTimeAndNeverMidnightAs24) {
    const std::string noon = FormatDateTime(45000.5);
    EXPECT_NE(noon.find("2023"), std::string::npos) << noon;
    EXPECT_NE(noon.find("12:00:00"), std::string::npos) << noon;
    const std::string lastSecond = FormatDateTime(45000.9999999);
    EXPECT_NE(lastSecond.find("59:59"), std::string::npos) << lastSecond;
    const std::string midnight = FormatDateTime(45000.99999999999);
    EXPECT_EQ(midnight.find("24:"), std::string::npos) << midnight;
    EXPECT_NE(midnight.find("16"), std::string::npos) << midnight;
    if (!kWindows) {
        EXPECT_EQ(noon, "2023-03-15 12:00:00");
    }
    EXPECT_EQ(FormatDateTime(std::numeric_limits<double>::quiet_NaN()), "");
}

TEST(Event, AutoResetConsumesTheSignal) {
    const auto event = Event::CreateAutoReset(true);
    ASSERT_TRUE(event);
    EXPECT_TRUE(event->Wait(0));
    EXPECT_FALSE(event->Wait(10));
    event->Set();
    event->Set(); // signals do not add up
    EXPECT_TRUE(event->Wait(0));
    EXPECT_FALSE(event->Wait(0));
}

TEST(Event, WaitsForASetFromAnotherThreadOrTheTimeOut) {
    const auto event = Event::CreateAutoReset(false);
    ASSERT_TRUE(event);
    std::thread setter([&] {
        std::this_thread::sleep_for(30ms);
        event->Set();
    });
    bool woken = false;
    EXPECT_LT(Timed([&] { woken = event->Wait(10'000); }), 5000ms);
    setter.join();
    EXPECT_TRUE(woken);

    const auto waited = Timed([&] { woken = event->Wait(100); });
    EXPECT_FALSE(woken);
    EXPECT_GE(waited, 90ms);
    EXPECT_LT(waited, 2000ms);

    SignalHostEvent(nullptr);
    if (!kWindows) { // off Windows the host's handle is one of our own events
        SignalHostEvent(event.get());
        EXPECT_TRUE(event->Wait(0));
    }
}

std::atomic<void*> lastCleaned{nullptr};
std::atomic<int> cleanups{0};
void RecordCleanup(void* value) {
    lastCleaned = value;
    ++cleanups;
}

TEST(ThreadSlot, HoldsOneValuePerThreadAndCleansUpAThreadsValue) {
    ThreadSlot slot(RecordCleanup);
    ASSERT_TRUE(slot.Valid());
    int mine = 0, theirs = 0;
    slot.Set(&mine);
    cleanups = 0;
    std::thread([&] {
        EXPECT_EQ(slot.Get(), nullptr);
        slot.Set(&theirs);
        EXPECT_EQ(slot.Get(), &theirs);
        // A statically linked executable's threads get no thread-detach notification; the library's
        // notification handler does exactly this.
        if (kWindows) slot.RunCleanup();
    }).join();
    EXPECT_EQ(cleanups, 1);
    EXPECT_EQ(lastCleaned, &theirs);
    EXPECT_EQ(slot.Get(), &mine);

    slot.RunCleanup();
    EXPECT_EQ(cleanups, 2);
    EXPECT_EQ(lastCleaned, &mine);
    EXPECT_EQ(slot.Get(), nullptr);
    slot.RunCleanup(); // nothing held: no cleanup
    EXPECT_EQ(cleanups, 2);
}

TEST(DynamicLibrary, LoadsSystemLibraryAndReportsMissingOnes) {
    const char* systemLibrary = kWindows ? "kernel32.dll" : "libc.so.6";
    const char* knownSymbol = kWindows ? "GetTickCount" : "strlen";
    DynamicLibrary missing = DynamicLibrary::Load("korax-no-such-library");
    EXPECT_FALSE(missing.Loaded());
    EXPECT_EQ(missing.Symbol(knownSymbol), nullptr);
    missing.Free();

    // A view into a longer text: the name must not run on past its end.
    const std::string padded = std::string(systemLibrary) + "garbage";
    DynamicLibrary library =
        DynamicLibrary::Load(std::string_view(padded).substr(0, std::string_view(systemLibrary).size()));
    ASSERT_TRUE(library.Loaded());
    EXPECT_NE(library.Symbol(knownSymbol), nullptr);
    EXPECT_EQ(library.Symbol("korax_no_such_symbol"), nullptr);

    DynamicLibrary moved = std::move(library);
    EXPECT_FALSE(library.Loaded());
    EXPECT_TRUE(moved.Loaded());
    moved.Free();
    EXPECT_FALSE(moved.Loaded());
}

TEST(System, ReportsTheNtFamilyOnlyOnWindows) {
    EXPECT_EQ(IsNtPlatform(), kWindows);
}

} // namespace
