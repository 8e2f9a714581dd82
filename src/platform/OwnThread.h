#pragma once
#include <functional>
#include <memory>

namespace korax::platform {

// A thread of the library's own. The library cannot be unloaded under it: on Win32 it holds a reference
// to the library's module and gives it back as it ends (so nothing need wait for it under the loader
// lock); elsewhere Join, which the unload reaches, waits for it.
class OwnThread {
public:
    OwnThread();
    ~OwnThread();
    OwnThread(const OwnThread&) = delete;
    OwnThread& operator=(const OwnThread&) = delete;

    // Runs body on a new thread; a run that ended before is joined first. False when no thread could be
    // made. The body must not touch its owner after it signalled its end.
    bool Start(std::function<void()> body);
    // Waits for the thread's end where the platform needs it (never on the thread itself).
    void Join();

private:
    struct Impl;
    std::unique_ptr<Impl> Impl_;
};

} // namespace korax::platform
