// Diagnostic entry of the test twin of the driver library: how many driver objects the application
// object holds, so tests can watch threads and unloads create and destroy them.
#include <cstdint>

#include "driver/HostAbi.h"
#include "driver/Library.h"

extern "C" KORAX_EXPORT std::int32_t KORAX_API KoraxLiveObjects() {
    return korax::driver::guarded(
        std::int32_t{-1}, [] { return static_cast<std::int32_t>(korax::driver::library::LiveObjects()); });
}
