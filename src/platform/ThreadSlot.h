#pragma once
#include <memory>

namespace korax::platform {

// One thread-local pointer per process with a cleanup run when a thread that holds a value ends.
// Win32: a TLS index; the library's thread-detach notification calls RunCleanup on the ending thread.
// POSIX: a pthread key whose destructor runs the cleanup by itself.
class ThreadSlot {
public:
    using Cleanup = void (*)(void* value);

    explicit ThreadSlot(Cleanup cleanup);
    ~ThreadSlot();
    ThreadSlot(const ThreadSlot&) = delete;
    ThreadSlot& operator=(const ThreadSlot&) = delete;

    bool Valid() const;
    void* Get() const;
    void Set(void* value);
    // Takes the calling thread's value, sets the slot to nil and hands the value to the cleanup.
    void RunCleanup();

private:
    struct Impl;
    std::unique_ptr<Impl> Impl_;
};

} // namespace korax::platform
