#include "platform/ThreadSlot.h"

#include <pthread.h>

namespace korax::platform {

struct ThreadSlot::Impl {
    pthread_key_t key{};
    bool valid = false;
    Cleanup cleanup = nullptr;
};

ThreadSlot::ThreadSlot(Cleanup cleanup) : impl_(std::make_unique<Impl>()) {
    impl_->cleanup = cleanup;
    // pthreads clears the value and calls the destructor only for threads that hold a value: exactly the
    // contract of RunCleanup, so the cleanup can be the destructor itself.
    impl_->valid = pthread_key_create(&impl_->key, cleanup) == 0;
}

ThreadSlot::~ThreadSlot() {
    if (impl_->valid) pthread_key_delete(impl_->key);
}

bool ThreadSlot::Valid() const {
    return impl_->valid;
}

void* ThreadSlot::Get() const {
    return impl_->valid ? pthread_getspecific(impl_->key) : nullptr;
}

void ThreadSlot::Set(void* value) {
    if (impl_->valid) pthread_setspecific(impl_->key, value);
}

void ThreadSlot::RunCleanup() {
    if (!impl_->valid) return;
    void* value = pthread_getspecific(impl_->key);
    // Cleared first, so the thread-exit destructor will not clean the same value again.
    pthread_setspecific(impl_->key, nullptr);
    if (value != nullptr && impl_->cleanup != nullptr) impl_->cleanup(value);
}

} // namespace korax::platform
