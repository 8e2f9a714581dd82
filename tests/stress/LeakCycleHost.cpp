// A small host without any test framework, for leak checkers that watch a whole process: it loads the
// driver library, initialises on several threads, scans, writes, closes, lets threads end, runs the device
// test and unloads, as many times as its argument says (default 10). Under valgrind it runs on a build
// without sanitizers; in the sanitizer build LeakSanitizer checks the same process at its exit.
//
// Exit status 0 when every cycle left nothing behind that the host can see: no string unreleased, the
// driver and the port I/O library unloaded; 1 with a line on stderr otherwise.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <dlfcn.h>

#include "driver/HostAbi.h"
#include "platform/DynamicLibrary.h"

namespace {

using korax::driver::HostTagDef;
using korax::driver::TagValueRec;
using korax::platform::DynamicLibrary;
using Bool = std::uint8_t;

constexpr const char* DriverName = korax::driver::DriverLibraryName.data();
constexpr const char* PortLibraryName = "libControXIO.so";
constexpr std::size_t PdbLength = 19216;
constexpr int DefaultCycles = 10;
constexpr int Scans = 4;
constexpr std::uint8_t TextType = 2;

int failures = 0;

void Fail(const std::string& what) {
    std::fprintf(stderr, "leak_cycle_host: %s\n", what.c_str());
    ++failures;
}

struct Manager {
    DynamicLibrary Library = DynamicLibrary::Load(korax::driver::ManagerLibrary);
    korax::driver::ManagerFreeMem FreeMem =
        reinterpret_cast<korax::driver::ManagerFreeMem>(Library.Symbol(korax::driver::ManagerFreeMemEntry));
    std::int32_t (*LiveBlocks)() = reinterpret_cast<decltype(LiveBlocks)>(Library.Symbol("ShimLiveBlocks"));
};

struct Driver {
    DynamicLibrary Library = DynamicLibrary::Load(DriverName);
    KORAX_HOST_EXPORTS(KORAX_HOST_ENTRY_POINTER)

    Driver() {
        korax::driver::BindHostExports(
            *this, [this](const char* entry) { return Library.Symbol(entry); },
            [](const char* entry) { Fail(std::string("entry ") + entry + " missing"); });
    }
};

void Release(Manager& manager, char* text) {
    if (text != nullptr && manager.FreeMem(text) != 0) Fail("a string the driver handed out was refused");
}

HostTagDef Tag(std::uint32_t id, const char* address, std::uint8_t dataType) {
    HostTagDef tag{};
    tag.TagId = id;
    std::snprintf(tag.Name, sizeof tag.Name, "Tag%u", id);
    std::memcpy(tag.Address, address, std::strlen(address));
    tag.DataType = dataType;
    return tag;
}

// One host I/O thread's work: initialise, scan, write; close when asked, else leave it to the thread end.
void RunDevice(Driver& driver, Manager& manager, bool close) {
    const HostTagDef tags[] = {Tag(0, "AD0", 0), Tag(1, "DO0", 1), Tag(2, "ENLOG", TextType),
                               Tag(3, "CountTarget0", 0)};
    const HostTagDef* pointers[] = {&tags[0], &tags[1], &tags[2], &tags[3]};
    std::vector<std::uint8_t> block(PdbLength);
    driver.FullPDB(block.data());
    char* message = nullptr;
    if (driver.IniDriver(4, pointers, block.data(), &message) == 0) Fail("IniDriver failed");
    Release(manager, message);
    TagValueRec reports[4] = {};
    for (int scan = 0; scan < Scans; ++scan) {
        std::int32_t count = 0;
        driver.OnDataRead(&count, reports, &message);
        Release(manager, message);
        for (std::int32_t i = 0; i < count; ++i) {
            if (reports[i].DataType != TextType) continue;
            char* text = nullptr;
            std::memcpy(&text, reports[i].Value, sizeof text);
            Release(manager, text);
        }
        TagValueRec write{};
        write.TagId = 1;
        write.DataType = 1;
        write.Value[0] = static_cast<std::uint8_t>(scan & 1);
        driver.OnDataWrite(1, &write, &message);
        Release(manager, message);
    }
    if (close) driver.FreeDriver();
}

bool Loaded(const char* name) {
    void* handle = dlopen(name, RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr) dlclose(handle);
    return handle != nullptr;
}

} // namespace

int main(int argc, char** argv) {
    const int cycles = argc > 1 ? std::atoi(argv[1]) : DefaultCycles;
    Manager manager;
    if (!manager.Library.Loaded() || manager.FreeMem == nullptr || manager.LiveBlocks == nullptr) {
        Fail("the shared memory manager stand-in is not beside this program");
        return 1;
    }
    for (int cycle = 0; cycle < cycles && failures == 0; ++cycle) {
        {
            Driver driver;
            if (!driver.Library.Loaded()) {
                Fail(std::string(DriverName) + " is not beside this program");
                break;
            }
            std::thread closing([&] { RunDevice(driver, manager, true); });
            closing.join();
            std::thread ending([&] { RunDevice(driver, manager, false); });
            ending.join();
            RunDevice(driver, manager, false);
            RunDevice(driver, manager, false); // supersedes the object before; the unload takes both

            std::vector<std::uint8_t> block(PdbLength);
            driver.FullPDB(block.data());
            char address[] = "DI0";
            char* cell = address;
            char* message = nullptr;
            driver.TagEdAddr(block.data(), &cell, 0, &message);
            Release(manager, cell);
            Release(manager, message);
            driver.DLLTestDev(block.data(), 1);
        }
        if (Loaded(DriverName)) Fail("the driver library stayed loaded after its unload");
        if (Loaded(PortLibraryName)) Fail("the port I/O library stayed loaded after the driver's unload");
        if (manager.LiveBlocks() != 0) Fail("strings handed out were not all released");
    }
    return failures == 0 ? 0 : 1;
}
