#include "platform/OwnThread.h"

#include <thread>

namespace korax::platform {

struct OwnThread::Impl {
    std::thread Thread;
};

OwnThread::OwnThread() : Impl_(std::make_unique<Impl>()) {}

OwnThread::~OwnThread() {
    Join();
}

bool OwnThread::Start(std::function<void()> body) {
    Join();
    try {
        Impl_->Thread = std::thread(std::move(body));
        return true;
    } catch (...) {
        return false;
    }
}

void OwnThread::Join() {
    std::thread& thread = Impl_->Thread;
    if (!thread.joinable()) return;
    if (thread.get_id() == std::this_thread::get_id()) {
        thread.detach();
    } else {
        thread.join();
    }
}

} // namespace korax::platform
