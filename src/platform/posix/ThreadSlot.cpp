#include "platform/ThreadSlot.h"

#include <pthread.h>

namespace korax::platform {

struct ThreadSlot::Impl {
    pthread_key_t key{};
    bool valid = false;
    Cleanup cleanup = nullptr;
};

ThreadSlot::ThreadSlot(Cleanup cleanup) : Impl_(std::make_unique<Impl>()) {
    Impl_->cleanup = cleanup;
    // pthreads clears the value and calls the destructor only for threads that hold a value: exactly the
    // contract of RunCleanup, so the cleanup can be the destructor itself.
    Impl_->valid = pthread_key_create(&Impl_->key, cleanup) == 0;
}

ThreadSlot::~ThreadSlot() {
    if (Impl_->valid) pthread_key_delete(Impl_->key);
}

bool ThreadSlot::Valid() const {
    return Impl_->valid;
}

void* ThreadSlot::Get() const {
    return Impl_->valid ? pthread_getspecific(Impl_->key) : nullptr;
}

void ThreadSlot::Set(void* value) {
    if (Impl_->valid) pthread_setspecific(Impl_->key, value);
}

void ThreadSlot::RunCleanup() {
    if (!Impl_->valid) return;
    void* value = pthread_getspecific(Impl_->key);
    // Cleared first, so the thread-exit destructor will not clean the same value again.
    pthread_setspecific(Impl_->key, nullptr);
    if (value != nullptr && Impl_->cleanup != nullptr) Impl_->cleanup(value);
}

} // namespace korax::platform
