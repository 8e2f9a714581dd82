#include "platform/ThreadSlot.h"

#include <windows.h>

namespace korax::platform {

struct ThreadSlot::Impl {
    DWORD index;
    Cleanup cleanup;
};

ThreadSlot::ThreadSlot(Cleanup cleanup) : Impl_(std::make_unique<Impl>(Impl{TlsAlloc(), cleanup})) {}

ThreadSlot::~ThreadSlot() {
    if (Valid()) TlsFree(Impl_->index);
}

bool ThreadSlot::Valid() const {
    return Impl_->index != TLS_OUT_OF_INDEXES;
}

void* ThreadSlot::Get() const {
    return Valid() ? TlsGetValue(Impl_->index) : nullptr;
}

void ThreadSlot::Set(void* value) {
    if (Valid()) TlsSetValue(Impl_->index, value);
}

void ThreadSlot::RunCleanup() {
    if (!Valid()) return;
    void* value = TlsGetValue(Impl_->index);
    // Cleared first, so a cleanup that reaches the slot again finds nothing left to clean.
    TlsSetValue(Impl_->index, nullptr);
    if (value != nullptr && Impl_->cleanup != nullptr) Impl_->cleanup(value);
}

} // namespace korax::platform
