#include "platform/System.h"

#include <cstdio>
#include <ctime>

namespace korax::platform {

bool IsNtPlatform() {
    return false;
}

void ShowConfirmMessage(std::string_view gbkText) {
    // No desktop to show a box on: the text goes where an operator of a console run will see it.
    std::fprintf(stderr, "Confirm: %.*s\n", static_cast<int>(gbkText.size()), gbkText.data());
}

std::uint64_t PerformanceCounter() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1'000'000'000u + static_cast<std::uint64_t>(ts.tv_nsec);
}

std::uint64_t PerformanceFrequency() {
    return 1'000'000'000u;
}

} // namespace korax::platform
