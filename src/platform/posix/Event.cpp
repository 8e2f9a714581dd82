#include "platform/Event.h"

#include <chrono>
#include <condition_variable>
#include <limits>
#include <mutex>

namespace korax::platform {
namespace {

// The Win32 wait's "forever".
constexpr std::uint32_t kInfinite = std::numeric_limits<std::uint32_t>::max();

class PosixEvent final : public Event {
public:
    explicit PosixEvent(bool signalled) : signalled_(signalled) {}

    bool Wait(std::uint32_t timeoutMs) override {
        std::unique_lock lock(mutex_);
        const auto isSignalled = [this] { return signalled_; };
        if (timeoutMs == kInfinite) {
            changed_.wait(lock, isSignalled);
        } else {
            // Steady clock: a change of the wall clock must neither cut short nor stretch the wait.
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
            if (!changed_.wait_until(lock, deadline, isSignalled)) return false;
        }
        signalled_ = false; // auto-reset: this waiter consumed the signal
        return true;
    }

    void Set() override {
        {
            std::lock_guard lock(mutex_);
            signalled_ = true;
        }
        // One signal releases one waiter.
        changed_.notify_one();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool signalled_;
};

} // namespace

std::unique_ptr<Event> Event::CreateAutoReset(bool signalled) {
    return std::make_unique<PosixEvent>(signalled);
}

void SignalHostEvent(void* handle) {
    if (handle != nullptr) static_cast<Event*>(handle)->Set();
}

} // namespace korax::platform
