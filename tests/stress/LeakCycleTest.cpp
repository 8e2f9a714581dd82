// Load, initialise, scan, close, thread end and unload, over and over, as a host that opens and closes
// projects does. Each unload must take every driver object with it and leave the library really gone
// (nothing pins it in memory), and the next load must start from nothing. Leaks themselves are the
// sanitizer's to report at the end of the process (the native preset's LeakSanitizer); valgrind runs the
// same cycles through leak_cycle_host on a build without sanitizers.
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "host/HostHarness.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

using namespace korax::hosttest;

constexpr int Cycles = 8;
constexpr int ScansPerCycle = 5;

// Whether the process still has the module mapped, without loading it.
bool StillLoaded(const char* name) {
#if defined(_WIN32)
    return GetModuleHandleA(name) != nullptr;
#else
    void* handle = dlopen(name, RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) return false;
    dlclose(handle);
    return true;
#endif
}

class LeakCycleTest : public HostTest {
protected:
    // Scans a few times on the calling thread and releases whatever comes back.
    void Scan(std::size_t tagCount) {
        std::vector<TagValueRec> reports(tagCount);
        for (int scan = 0; scan < ScansPerCycle; ++scan) {
            std::int32_t count = 0;
            char* message = nullptr;
            driver->OnDataRead(&count, reports.data(), &message);
            Take(message);
            for (std::int32_t i = 0; i < count; ++i) {
                if (reports[static_cast<std::size_t>(i)].DataType != 2) continue;
                char* text = nullptr;
                std::memcpy(&text, reports[static_cast<std::size_t>(i)].Value, sizeof text);
                Take(text);
            }
        }
    }
};

TEST_F(LeakCycleTest, EveryUnloadTakesAllObjectsAndTheNextLoadStartsAfresh) {
    driver.reset();
    ASSERT_FALSE(StillLoaded(DriverName));
    TagSet tags{{0, "AD0"}, {1, "DO0"}, {2, "ENLOG"}, {3, "CountTarget0"}};
    tags.Typed(2, 2, 0);
    for (int cycle = 0; cycle < Cycles; ++cycle) {
        SCOPED_TRACE("cycle " + std::to_string(cycle));
        driver.emplace(ProbeName);
        ASSERT_NE(driver->LiveObjects, nullptr);
        EXPECT_EQ(driver->LiveObjects(), 0) << "a fresh load owns no object";

        // A thread that closes its object, one that leaves it to the thread end, and the main thread,
        // which supersedes one object and leaves the other to the unload.
        std::thread closing([&] {
            ASSERT_TRUE(Initialise(tags));
            Scan(tags.Records.size());
            driver->FreeDriver();
        });
        closing.join();
        std::thread ending([&] {
            ASSERT_TRUE(Initialise(tags));
            Scan(tags.Records.size());
        });
        ending.join();
        ASSERT_TRUE(Initialise(tags));
        Scan(tags.Records.size());
        ASSERT_TRUE(Initialise(tags));
        Scan(tags.Records.size());
        EXPECT_EQ(driver->LiveObjects(), 2) << "the threads' objects went with the threads";

        driver.reset();
        EXPECT_FALSE(StillLoaded(ProbeName)) << "nothing may pin the library in memory";
        EXPECT_EQ(Manager::Get().LiveBlocks(), liveBefore);
    }
}

// An unload while a thread still has an object: the object goes with the unload, and the thread's end
// afterwards must not touch the library that is gone.
TEST_F(LeakCycleTest, ThreadThatOutlivesTheLibraryEndsQuietly) {
    driver.reset();
    for (int cycle = 0; cycle < Cycles; ++cycle) {
        driver.emplace(ProbeName);
        std::atomic<int> stage{0};
        std::thread outliving([&] {
            Initialise(TagSet{{0, "AD0"}});
            stage = 1;
            while (stage != 2) std::this_thread::yield();
        });
        while (stage != 1) std::this_thread::yield();
        EXPECT_EQ(driver->LiveObjects(), 1);
        driver.reset();
        stage = 2;
        outliving.join();
    }
}

} // namespace
