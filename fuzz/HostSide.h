#pragma once
// The host's side of the fuzz targets that call the driver's exports in process. The driver sources are
// linked into the fuzzer, so the library attaches as the program starts and binds the shared memory
// manager stand-in beside the fuzzer, the one this side releases strings through; the port I/O stand-in
// beside it answers every port access.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "driver/Exports.h"
#include "driver/Library.h"
#include "fuzz/FuzzInput.h"
#include "platform/DynamicLibrary.h"

namespace korax::fuzz {

class HostSide {
public:
    static HostSide& Get() {
        static HostSide host;
        return host;
    }

    InputClock Clock;

    // A string the driver handed over goes back to the manager, which must know it.
    void Release(char*& text) {
        if (text == nullptr) return;
        Require(freeMem_(text) == 0);
        text = nullptr;
    }

    // The end of a host's session: the thread's object is freed as at thread end, then the library is
    // unloaded and loaded again, which destroys every object a second IniDriver superseded. No string the
    // driver handed out may still be live, and none may have been released twice.
    void EndSession() {
        driver::library::DestroyCurrent();
        driver::library::Detach(false);
        driver::library::Attach();
        Require(liveBlocks_() == 0);
        Require(badFrees_() == 0);
        Clock.Reset();
    }

private:
    HostSide() {
        if (!manager_.Loaded() || !ports_.Loaded() || ports_.Symbol("in_port") == nullptr) {
            // Without the port stand-in the driver would reach for the processor's port instructions.
            std::fprintf(stderr, "fuzz: libborlndmm.so and libControXIO.so must lie beside the fuzzer\n");
            std::abort();
        }
        freeMem_ = reinterpret_cast<FreeMem>(manager_.Symbol("Borlndmm_SysFreeMem"));
        liveBlocks_ = reinterpret_cast<Count>(manager_.Symbol("ShimLiveBlocks"));
        badFrees_ = reinterpret_cast<Count>(manager_.Symbol("ShimBadFrees"));
        if (freeMem_ == nullptr || liveBlocks_ == nullptr || badFrees_ == nullptr) std::abort();
        driver::library::UseClock(Clock);
    }

    using FreeMem = std::int32_t (*)(void*);
    using Count = std::int32_t (*)();
    platform::DynamicLibrary manager_ = platform::DynamicLibrary::Load("libborlndmm.so");
    // Held for the whole run, so the simulated boards keep their registers between driver objects.
    platform::DynamicLibrary ports_ = platform::DynamicLibrary::Load("libControXIO.so");
    FreeMem freeMem_ = nullptr;
    Count liveBlocks_ = nullptr;
    Count badFrees_ = nullptr;
};

} // namespace korax::fuzz
