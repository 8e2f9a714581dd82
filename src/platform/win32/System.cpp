#include "platform/System.h"

#include <string>

#include <windows.h>

namespace korax::platform {

namespace {
// The original structure, without the service-pack fields of the Ex variant.
static_assert(sizeof(OSVERSIONINFOA) == 148);
constexpr UINT kGbkCodePage = 936;
} // namespace

bool IsNtPlatform() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof(info);
    if (!GetVersionExA(&info)) return false;
    return info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

void ShowConfirmMessage(std::string_view gbkText) {
    // Through the wide call: the ANSI code page of the machine need not be GBK.
    std::wstring text;
    if (!gbkText.empty()) {
        const int length = static_cast<int>(gbkText.size());
        const int wideLength = MultiByteToWideChar(kGbkCodePage, 0, gbkText.data(), length, nullptr, 0);
        if (wideLength > 0) {
            text.resize(static_cast<std::size_t>(wideLength));
            MultiByteToWideChar(kGbkCodePage, 0, gbkText.data(), length, text.data(), wideLength);
        }
    }
    MessageBoxW(nullptr, text.c_str(), L"Confirm", MB_OK | MB_ICONQUESTION | MB_TASKMODAL);
}

// A system other than NT lets every program reach the ports; on NT the port I/O library does every
// transfer, so no port instruction is executed there.
bool GrantPortAccess(std::uint16_t, std::uint32_t, std::string&) {
    return true;
}

void RevokePortAccess(std::uint16_t, std::uint32_t) {}

std::uint64_t PerformanceCounter() {
    LARGE_INTEGER count;
    QueryPerformanceCounter(&count);
    return static_cast<std::uint64_t>(count.QuadPart);
}

std::uint64_t PerformanceFrequency() {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<std::uint64_t>(frequency.QuadPart);
}

} // namespace korax::platform

namespace korax::platform {

std::string ModulePath() {
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(&ModulePath), &module))
        return {};
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    return std::string(path, length);
}

std::optional<std::string> EnvironmentVariable(const char* name) {
    const DWORD size = GetEnvironmentVariableA(name, nullptr, 0);
    if (size <= 1) return std::nullopt;
    std::string value(size, '\0');
    const DWORD length = GetEnvironmentVariableA(name, value.data(), size);
    if (length == 0 || length >= size) return std::nullopt;
    value.resize(length);
    return value;
}

std::uint32_t CurrentThreadId() {
    return GetCurrentThreadId();
}

} // namespace korax::platform
