// Many host threads at once, the way a host runs its I/O threads beside its tag editor: sixteen threads
// each initialise, scan, write and free in loops and then end, while another thread keeps checking
// addresses, fetching the editor's lists and running the device test. What they share is the owner list
// of driver objects, the counter targets and the initialisation lock. Built with ThreadSanitizer (the
// native-tsan preset) a run proves that shared state race-free; in every build it proves that nothing
// crashes, every initialisation gets the lock, every string comes back and only superseded objects
// outlive their threads.
//
// KORAX_STRESS_SECONDS makes a long run: rounds of sixteen threads start until that much time has passed
// (at least two rounds always run).
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "host/HostHarness.h"

namespace {

using namespace korax::hosttest;
using SteadyClock = std::chrono::steady_clock;

constexpr int Workers = 16;
constexpr int MinimumRounds = 2;
constexpr int InitsPerWorker = 3;
constexpr int ScansPerInit = 12;
constexpr int DeviceTestEvery = 4; // editor passes per device test run
constexpr std::uint8_t RealType = 0;
constexpr std::uint8_t BooleanType = 1;
constexpr std::uint8_t TextType = 2;

// Every kind of tag the default board serves, the counter's target and start among them (those reach
// the targets all driver objects share), and two special tags as text, so reports carry strings.
TagSet StressTags() {
    TagSet tags{{0, "AD0"},          {1, "DI0"},       {2, "DO0"},   {3, "DA0"},     {4, "COUNT0"},
                {5, "CountTarget0"}, {6, "RunCount0"}, {7, "ENLOG"}, {8, "CommLink"}};
    for (std::uint32_t id = 0; id < tags.Records.size(); ++id) tags.Typed(id, RealType, 0);
    tags.Typed(1, BooleanType, 0).Typed(2, BooleanType, 0).Typed(6, BooleanType, 0);
    tags.Typed(7, TextType, 0).Typed(8, TextType, 0);
    return tags;
}

TagValueRec Record(std::int32_t id, std::uint8_t dataType, double real, std::int32_t word) {
    TagValueRec record{};
    record.TagId = id;
    record.DataType = dataType;
    if (dataType == RealType) {
        std::memcpy(record.Value, &real, sizeof real);
    } else {
        std::memcpy(record.Value, &word, sizeof word);
    }
    return record;
}

double StressSeconds() {
    const char* value = std::getenv("KORAX_STRESS_SECONDS");
    return value == nullptr ? 0.0 : std::atof(value);
}

#if defined(_WIN32)
constexpr const char* PortLibraryName = "ControXIO.dll";
#else
constexpr const char* PortLibraryName = "libControXIO.so";
#endif

class StressTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        // The diagnostic twin: the same code, plus the count of objects the owner list holds.
        driver.emplace(ProbeName);
        ASSERT_TRUE(driver->Library.Loaded());
        ASSERT_NE(driver->LiveObjects, nullptr);
        // Each driver object loads the port I/O library and frees it when it closes; with the test's own
        // reference the stand-in (and its simulated boards) stays in place. Otherwise the last close
        // unloads it and the next load maps a fresh copy at the same address, ordered only by the
        // loader's internal lock, which ThreadSanitizer cannot see: it would report the new copy's
        // statics against the old one's.
        ports = DynamicLibrary::Load(PortLibraryName);
        ASSERT_TRUE(ports.Loaded());
    }
    void TearDown() override {
        HostTest::TearDown();
        ports.Free();
    }

    // One host I/O thread: its initialisations, scans and writes, then its end.
    void Worker(int worker) {
        const TagSet tags = StressTags();
        std::vector<TagValueRec> reports(tags.Records.size());
        for (int init = 0; init < InitsPerWorker; ++init) {
            if (!Initialise(tags)) ++failedInits;
            for (int scan = 0; scan < ScansPerInit; ++scan) {
                std::int32_t count = -1;
                char* message = nullptr;
                driver->OnDataRead(&count, reports.data(), &message);
                Take(message);
                for (std::int32_t i = 0; i < count; ++i) {
                    TagValueRec& record = reports[static_cast<std::size_t>(i)];
                    if (record.DataType != TextType) continue;
                    char* text = nullptr;
                    std::memcpy(&text, record.Value, sizeof text);
                    Take(text);
                }
                reported += count;
                const TagValueRec writes[] = {
                    Record(2, BooleanType, 0, scan & 1),
                    Record(3, RealType, worker * 100 + scan, 0),
                    Record(5, RealType, worker * 1000 + scan, 0),
                    Record(6, BooleanType, 0, 1),
                };
                driver->OnDataWrite(std::size(writes), writes, &message);
                Take(message);
            }
            driver->FreeDriver();
        }
    }

    // The host's tag editor and device test, on a thread with no driver object of its own between runs.
    void Editor(const std::atomic<bool>& done) {
        Block block(*driver);
        for (int pass = 0; !done; ++pass) {
            char address[] = "ad1:3";
            char* cell = address;
            char* message = nullptr;
            driver->TagEdAddr(block.Data(), &cell, 0, &message);
            Take(cell);
            Take(message);
            std::uint16_t templates = 14;
            std::vector<TagTemplate> records(templates);
            driver->GetTags(&templates, records.data());
            std::int32_t entries = 14;
            std::vector<TagAddrEntry> list(static_cast<std::size_t>(entries));
            driver->GetTagAddrList(0, &entries, list.data());
            if (pass % DeviceTestEvery == 0) {
                driver->DLLTestDev(block.Data(), 1);
                ++deviceTests;
            }
        }
    }

    DynamicLibrary ports;
    std::atomic<int> failedInits{0};
    std::atomic<long> reported{0};
    std::atomic<int> deviceTests{0};
};

TEST_F(StressTest, SixteenThreadsBesideTheEditorShareNothingUnguarded) {
    const auto until = SteadyClock::now() + std::chrono::duration<double>(StressSeconds());
    std::atomic<bool> done{false};
    std::thread editor([&] { Editor(done); });
    int rounds = 0;
    do {
        std::vector<std::thread> workers;
        for (int worker = 0; worker < Workers; ++worker)
            workers.emplace_back([this, worker] { Worker(worker); });
        for (std::thread& worker : workers) worker.join();
        ++rounds;
    } while (rounds < MinimumRounds || SteadyClock::now() < until);
    done = true;
    editor.join();

    EXPECT_EQ(failedInits, 0) << "every initialisation got the lock within its five seconds";
    EXPECT_GT(reported, 0);
    EXPECT_GT(deviceTests, 0);
    // Each worker's last object went with its thread, the two before it were superseded and wait for the
    // unload; the editor's test runs leave nothing behind.
    EXPECT_EQ(driver->LiveObjects(), rounds * Workers * (InitsPerWorker - 1));
    EXPECT_EQ(driver->DetectScanTime(), 1000) << "the main thread never had an object";
}

} // namespace
