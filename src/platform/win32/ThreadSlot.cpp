#include "platform/ThreadSlot.h"

#include <windows.h>

namespace korax::platform {

struct ThreadSlot::Impl {
    DWORD index;
    Cleanup cleanup;
};

ThreadSlot::ThreadSlot(Cleanup cleanup) : impl_(std::make_unique<Impl>(Impl{TlsAlloc(), cleanup})) {}

ThreadSlot::~ThreadSlot() {
    if (Valid()) TlsFree(impl_->index);
}

bool ThreadSlot::Valid() const {
    return impl_->index != TLS_OUT_OF_INDEXES;
}

void* ThreadSlot::Get() const {
    return Valid() ? TlsGetValue(impl_->index) : nullptr;
}

void ThreadSlot::Set(void* value) {
    if (Valid()) TlsSetValue(impl_->index, value);
}

void ThreadSlot::RunCleanup() {
    if (!Valid()) return;
    void* value = TlsGetValue(impl_->index);
    // Cleared first, so a cleanup that reaches the slot again finds nothing left to clean.
    TlsSetValue(impl_->index, nullptr);
    if (value != nullptr && impl_->cleanup != nullptr) impl_->cleanup(value);
}

} // namespace korax::platform
