// Library load and unload, and the per-thread notifications.
#include "driver/HostAbi.h"
#include "driver/Library.h"

#if defined(_WIN32)

#include <cstdint>

namespace {
// The loader's notification codes.
enum : std::uint32_t { ProcessDetach = 0, ProcessAttach = 1, ThreadAttach = 2, ThreadDetach = 3 };
} // namespace

extern "C" int __stdcall DllMain(void*, std::uint32_t reason, void* reserved) {
    using namespace korax::driver;
    guarded([&] {
        switch (reason) {
        case ProcessAttach:
            library::Attach();
            break;
        case ThreadAttach:
            library::ThreadAttach();
            break;
        case ThreadDetach:
            library::ThreadDetach();
            break;
        // A non-nil reserved argument means the process is exiting: nothing may be unloaded or waited on.
        case ProcessDetach:
            library::Detach(reserved != nullptr);
            break;
        default:
            break;
        }
    });
    return 1;
}

#else

namespace {
__attribute__((constructor)) void OnLoad() {
    korax::driver::guarded([] { korax::driver::library::Attach(); });
}
__attribute__((destructor)) void OnUnload() {
    korax::driver::guarded([] { korax::driver::library::Detach(false); });
}
} // namespace

#endif
