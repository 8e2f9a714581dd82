#include "platform/OwnThread.h"

#include <windows.h>

namespace korax::platform {

namespace {

struct Start {
    std::function<void()> Body;
    HMODULE Module;
};

DWORD WINAPI Run(void* argument) {
    HMODULE module = nullptr;
    {
        const std::unique_ptr<Start> start(static_cast<Start*>(argument));
        module = start->Module;
        try {
            start->Body();
        } catch (...) {
        }
    }
    // The last code of the thread inside the library: the reference goes with the thread, and if it was
    // the last one the library is unloaded right here.
    FreeLibraryAndExitThread(module, 0);
}

} // namespace

struct OwnThread::Impl {};

OwnThread::OwnThread() = default;
OwnThread::~OwnThread() = default;

bool OwnThread::Start(std::function<void()> body) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&Run), &module))
        return false;
    auto start = std::make_unique<struct Start>(Start{std::move(body), module});
    HANDLE thread = CreateThread(nullptr, 0, &Run, start.get(), 0, nullptr);
    if (thread == nullptr) {
        FreeLibrary(module);
        return false;
    }
    static_cast<void>(start.release());
    CloseHandle(thread);
    return true;
}

// The thread holds the library itself; its owner learns of its end from the body.
void OwnThread::Join() {}

} // namespace korax::platform
