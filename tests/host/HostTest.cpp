// Loads the built driver library the way a host runtime does (by name, entry points looked up by their
// undecorated names, stdcall pointers) and checks what crosses the boundary. Every string the driver hands
// back is released through the shared memory manager, and each test ends with no block left.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "host/HostHarness.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

using namespace korax::hosttest;

const std::string InitFailed = "通讯设备初始化失败";

TEST_F(HostTest, ParameterBlockNeedsNoDriverObject) {
    EXPECT_EQ(driver->GetPDBLen(), 19216);
    std::vector<std::uint8_t> block(PdbLength, 0);
    driver->FullPDB(block.data());
    const std::uint8_t one[8] = {0, 0, 0, 0, 0, 0, 0xF0, 0x3F};
    EXPECT_EQ(std::memcmp(block.data(), one, 8), 0);
    EXPECT_EQ(block[16 + 5], 8); // "KRX-A100" in board entry 0
    driver->FullPDB(nullptr);
    EXPECT_EQ(driver->GetPDBLen(), 19216);
}

TEST_F(HostTest, IniDriverChecksTheTagArrayBeforeTheBlock) {
    char* message = reinterpret_cast<char*>(&message); // stale cell content must be replaced
    EXPECT_EQ(driver->IniDriver(1, nullptr, nullptr, &message), 0);
    EXPECT_EQ(Take(message), "无效的标签列表。");
    const TagSet tags{{0, "AD0"}};
    EXPECT_EQ(driver->IniDriver(1, tags.Array(), nullptr, &message), 0);
    EXPECT_EQ(Take(message), "无效的参数信息。");
    EXPECT_EQ(driver->DetectScanTime(), 1000) << "a refused call makes no driver object";
    Block block(*driver);
    EXPECT_EQ(driver->IniDriver(1, tags.Array(), block.Data(), nullptr), 1)
        << "a nil message cell is allowed";
}

TEST_F(HostTest, ExportsWithoutDriverObjectGiveFixedAnswers) {
    char* message = nullptr;
    EXPECT_EQ(driver->DetectScanTime(), 1000);
    EXPECT_EQ(driver->GetDeviceStatus(&message), 1);
    EXPECT_EQ(Take(message), InitFailed);
    driver->WriteLog(1, &message);
    EXPECT_EQ(Take(message), InitFailed);
    EXPECT_EQ(driver->IniDriverEx(reinterpret_cast<void*>(0x1234)), 1);
    EXPECT_EQ(driver->FreeDriver(), 1);
    const TagSet tags{{0, "AD0"}};
    std::int32_t cell = 7;
    EXPECT_EQ(driver->AddTags(1, tags.Array(), &cell), 1);
    EXPECT_EQ(cell, 7);
}

TEST_F(HostTest, ScanTimeFollowsTheThreadsDriverObject) {
    EXPECT_EQ(driver->DetectScanTime(), 1000);
    std::optional<std::string> note;
    EXPECT_TRUE(Initialise(TagSet{{0, "AD0"}, {1, "AD1"}}, &note));
    EXPECT_EQ(note, std::nullopt);
    EXPECT_EQ(driver->DetectScanTime(), 10);
    EXPECT_EQ(driver->FreeDriver(), 1);
    EXPECT_EQ(driver->DetectScanTime(), 10) << "closing keeps the object in its slot";
}

TEST_F(HostTest, EmptyTagListStillInitialises) {
    const TagSet none{};
    Block block(*driver);
    char* message = nullptr;
    EXPECT_EQ(driver->IniDriver(0, none.Array(), block.Data(), &message), 1);
    EXPECT_EQ(Take(message), std::nullopt);
    EXPECT_EQ(driver->DetectScanTime(), 500) << "an object without tags never starts scanning";
    // A negative count reads no definitions at all.
    EXPECT_EQ(driver->IniDriver(-3, none.Array(), block.Data(), &message), 1);
    EXPECT_EQ(Take(message), std::nullopt);
}

TEST_F(HostTest, MessagesAreHandedOutOnceAndEmptyOnesAsNil) {
    ASSERT_TRUE(Initialise(TagSet{{0, "AD0"}}));
    char* message = reinterpret_cast<char*>(&message);
    EXPECT_EQ(driver->GetDeviceStatus(&message), 1);
    EXPECT_EQ(Take(message), std::nullopt);
    message = reinterpret_cast<char*>(&message);
    driver->WriteLog(0, &message);
    EXPECT_EQ(Take(message), std::nullopt) << "no pending message: nothing handed out, nothing changed";
    EXPECT_EQ(driver->GetDeviceStatus(nullptr), 1);
}

TEST_F(HostTest, AddTagsReportsEachDefinition) {
    ASSERT_TRUE(Initialise(TagSet{{0, "AD0"}}));
    const TagSet more{{1, "AD1"}, {0x80000000u, "AD2"}, {2, "AD3"}};
    std::vector<HostTagDef const*> withNil = more.Pointers;
    withNil.push_back(nullptr);
    std::vector<std::int32_t> cells(withNil.size(), 9);
    EXPECT_EQ(driver->AddTags(static_cast<std::uint16_t>(withNil.size()), withNil.data(), cells.data()), 1);
    EXPECT_EQ(cells, (std::vector<std::int32_t>{0, 1, 0, 1}));
    EXPECT_EQ(driver->AddTags(1, nullptr, cells.data()), 1);
}

TEST_F(HostTest, TagEditorAddressHandedBackAsNewString) {
    Block block(*driver);
    char* address = static_cast<char*>(Manager::Get().GetMem(4));
    std::memcpy(address, "AD3", 4);
    char* const original = address;
    char* message = nullptr;
    EXPECT_EQ(driver->TagEdAddr(block.Data(), &address, 1, &message), 1);
    EXPECT_EQ(Take(message), std::nullopt);
    ASSERT_NE(address, original);
    EXPECT_EQ(Take(address), "AD3");
    char* keep = original;
    EXPECT_EQ(Take(keep), "AD3") << "the string in the cell on entry stays the host's";

    char* empty = nullptr;
    EXPECT_EQ(driver->TagEdAddr(nullptr, &empty, 1, &message), 0);
    EXPECT_EQ(Take(message), InitFailed);
    EXPECT_EQ(empty, nullptr);
    EXPECT_EQ(driver->TagEdAddr(block.Data(), nullptr, 0, nullptr), 0) << "nil cells are tolerated";
    EXPECT_EQ(driver->DetectScanTime(), 1000) << "the editor's object never takes the thread slot";
}

TEST_F(HostTest, DeviceTestFreesTheThreadsObject) {
    ASSERT_TRUE(Initialise(TagSet{{0, "AD0"}}));
    EXPECT_EQ(driver->DLLTestDev(nullptr, 1), 0);
    EXPECT_EQ(driver->DetectScanTime(), 10) << "a nil block changes nothing";
    Block block(*driver);
    EXPECT_EQ(driver->DLLTestDev(block.Data(), 1), 0);
    EXPECT_EQ(driver->DetectScanTime(), 1000);
}

TEST_F(HostTest, EachThreadRunsItsOwnDriverObject) {
    std::atomic<int> withTags{0};
    std::atomic<int> withoutTags{0};
    std::atomic<int> untouched{0};
    std::thread a([&] {
        Initialise(TagSet{{0, "AD0"}});
        withTags = driver->DetectScanTime();
    });
    std::thread b([&] {
        Initialise(TagSet{});
        withoutTags = driver->DetectScanTime();
    });
    std::thread c([&] { untouched = driver->DetectScanTime(); });
    a.join();
    b.join();
    c.join();
    EXPECT_EQ(withTags, 10);
    EXPECT_EQ(withoutTags, 500);
    EXPECT_EQ(untouched, 1000);
    EXPECT_EQ(driver->DetectScanTime(), 1000);
}

TEST_F(HostTest, ObjectsLiveUntilTheirThreadEndsOrTheLibraryUnloads) {
    Driver probe(ProbeName);
    ASSERT_NE(probe.LiveObjects, nullptr);
    std::swap(*driver, probe); // run this test on the diagnostic twin
    EXPECT_EQ(driver->LiveObjects(), 0);
    std::thread once([&] { Initialise(TagSet{{0, "AD0"}}); });
    once.join();
    EXPECT_EQ(driver->LiveObjects(), 0) << "thread end destroys the thread's object";

    std::thread twice([&] {
        Initialise(TagSet{{0, "AD0"}});
        Initialise(TagSet{{0, "AD1"}});
        EXPECT_EQ(driver->LiveObjects(), 2) << "a second IniDriver keeps the superseded object";
    });
    twice.join();
    EXPECT_EQ(driver->LiveObjects(), 1) << "the superseded object waits for the unload";

    ASSERT_TRUE(Initialise(TagSet{{0, "AD0"}}));
    Block block(*driver);
    EXPECT_EQ(driver->LiveObjects(), 2);
    driver->DLLTestDev(block.Data(), 0);
    // The test run initialises a new object for the thread and frees it; the one it superseded waits for
    // the unload like any other.
    EXPECT_EQ(driver->LiveObjects(), 2);
    EXPECT_EQ(driver->DetectScanTime(), 1000);
    std::swap(*driver, probe);
}

TEST_F(HostTest, ReleasingForeignOrReleasedBlocksIsRefused) {
    Manager& manager = Manager::Get();
    int local = 0;
    EXPECT_NE(manager.FreeMem(&local), 0);
    void* block = manager.GetMem(8);
    EXPECT_EQ(manager.FreeMem(block), 0);
    EXPECT_NE(manager.FreeMem(block), 0);
    badBefore += 2;
}

#if defined(_WIN32)

TEST(HostExportTable, ExactlyTheEighteenEntryPoints) {
    HMODULE module = LoadLibraryA(DriverName);
    ASSERT_NE(module, nullptr);
    const auto* base = reinterpret_cast<const std::uint8_t*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& entry = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);
    const auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    std::set<std::string> found;
    for (DWORD i = 0; i < exports->NumberOfNames; ++i)
        found.insert(reinterpret_cast<const char*>(base + names[i]));
    const std::set<std::string> expected = {
        "IniDriver",      "IniDriverEx", "FreeDriver", "DetectScanTime", "GetDeviceStatus", "WriteLog",
        "AddTags",        "ReadTags",    "WriteTags",  "OnDataRead",     "OnDataWrite",     "GetTags",
        "GetTagAddrList", "TagEdAddr",   "DLLEdDev",   "DLLTestDev",     "FullPDB",         "GetPDBLen"};
    EXPECT_EQ(found, expected);
    EXPECT_EQ(exports->NumberOfFunctions, 18u);
    FreeLibrary(module);
}

// Holds the first thread inside IniDriver: its block sits on a guard page, and the first touch of it
// parks that thread for six seconds in a vectored handler before letting the read go on.
struct SlowBlock {
    static inline std::uint8_t* Page = nullptr;
    static inline HANDLE Entered = nullptr;

    static LONG CALLBACK Handler(EXCEPTION_POINTERS* info) {
        const EXCEPTION_RECORD& record = *info->ExceptionRecord;
        if (record.ExceptionCode != STATUS_GUARD_PAGE_VIOLATION || record.NumberParameters < 2)
            return EXCEPTION_CONTINUE_SEARCH;
        const auto address = static_cast<std::uintptr_t>(record.ExceptionInformation[1]);
        const auto start = reinterpret_cast<std::uintptr_t>(Page);
        if (address < start || address >= start + PdbLength) return EXCEPTION_CONTINUE_SEARCH;
        SetEvent(Entered);
        Sleep(6000);
        return EXCEPTION_CONTINUE_EXECUTION; // the guard is gone after its first touch
    }
};

TEST_F(HostTest, SecondThreadGivesUpAfterFiveSecondsWhileAnotherInitialises) {
    SlowBlock::Page = static_cast<std::uint8_t*>(
        VirtualAlloc(nullptr, PdbLength, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(SlowBlock::Page, nullptr);
    driver->FullPDB(SlowBlock::Page);
    DWORD old = 0;
    // Only the first page: each guarded page would park the thread once more.
    ASSERT_TRUE(VirtualProtect(SlowBlock::Page, 1, PAGE_READWRITE | PAGE_GUARD, &old));
    SlowBlock::Entered = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    void* handler = AddVectoredExceptionHandler(1, &SlowBlock::Handler);

    const TagSet tags{{0, "AD0"}};
    bool first = false;
    std::thread slow([&] {
        char* message = nullptr;
        first = driver->IniDriver(tags.Count(), tags.Array(), SlowBlock::Page, &message) != 0;
        Take(message);
    });
    ASSERT_EQ(WaitForSingleObject(SlowBlock::Entered, 10000), WAIT_OBJECT_0);

    const auto start = std::chrono::steady_clock::now();
    std::optional<std::string> note;
    EXPECT_FALSE(Initialise(tags, &note));
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(note, "设备不支持并发访问，共享冲突。");
    EXPECT_GE(waited, std::chrono::milliseconds(4900));
    EXPECT_LT(waited, std::chrono::milliseconds(5900));
    EXPECT_EQ(driver->DetectScanTime(), 1000) << "the refused thread gets no object";

    slow.join();
    EXPECT_TRUE(first);
    EXPECT_TRUE(Initialise(tags)) << "the lock is given back after the slow initialisation";
    RemoveVectoredExceptionHandler(handler);
    CloseHandle(SlowBlock::Entered);
    VirtualFree(SlowBlock::Page, 0, MEM_RELEASE);
}

#endif

} // namespace
