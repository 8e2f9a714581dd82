#include "driver/Library.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

#include "boards/PortTrace.h"
#include "driver/HostMemory.h"
#include "platform/Clock.h"
#include "platform/Event.h"
#include "platform/ThreadSlot.h"

namespace korax::driver::library {

namespace {

void DestroyObject(void* object);

struct State {
    platform::ThreadSlot Slot{&DestroyObject};
    std::unique_ptr<platform::Event> InitEvent = platform::Event::CreateAutoReset(true);
    // One trace for every thread's object; it outlives them, as they write into it until they go.
    std::mutex TraceLock;
    std::unique_ptr<boards::TraceFile> Trace;
    // The application object: every driver object ever made and not yet destroyed. Threads create and
    // destroy theirs concurrently, so the list is guarded.
    std::mutex ObjectsLock;
    std::vector<std::unique_ptr<DriverObject>> Objects;
};

std::unique_ptr<State> state;

// Outside the state, so a clock handed in before a reload still applies after it; nil is the system clock.
std::atomic<platform::Clock*> objectClock{nullptr};

// Takes the object out of the application object's list and destroys it outside the lock (its close may
// take time and must not hold up other threads).
void DestroyObject(void* object) {
    if (!state || object == nullptr) return;
    std::unique_ptr<DriverObject> owned;
    {
        const std::lock_guard lock(state->ObjectsLock);
        auto& objects = state->Objects;
        const auto it = std::find_if(objects.begin(), objects.end(),
                                     [object](const auto& candidate) { return candidate.get() == object; });
        if (it == objects.end()) return;
        owned = std::move(*it);
        objects.erase(it);
    }
    owned.reset();
}

} // namespace

void Attach() {
    if (state) return;
    state = std::make_unique<State>();
    state->Slot.Set(nullptr);
    BindHostMemory();
}

void Detach(bool processExiting) {
    if (!state) return;
    if (processExiting) {
        // Other threads are gone and the loader lock is held: leave everything to the system.
        static_cast<void>(state.release());
        UnbindHostMemory(true);
        return;
    }
    // The trace's own thread ends here, where waiting is safe; the last objects write their records
    // themselves.
    if (state->Trace) state->Trace->StopBackground();
    state->Slot.RunCleanup();
    std::vector<std::unique_ptr<DriverObject>> objects;
    {
        const std::lock_guard lock(state->ObjectsLock);
        objects.swap(state->Objects);
    }
    objects.clear(); // superseded objects are closed by their destructors here
    state.reset();
    UnbindHostMemory(false);
}

void ThreadAttach() {
    if (state) state->Slot.Set(nullptr);
}

void ThreadDetach() {
    if (state) state->Slot.RunCleanup();
}

DriverObject* Current() {
    return state ? static_cast<DriverObject*>(state->Slot.Get()) : nullptr;
}

DriverObject* CreateForThread() {
    if (!state) return nullptr;
    auto object = std::make_unique<DriverObject>(ObjectClock(), true);
    DriverObject* raw = object.get();
    {
        const std::lock_guard lock(state->ObjectsLock);
        state->Objects.push_back(std::move(object));
    }
    state->Slot.Set(raw);
    return raw;
}

void DestroyCurrent() {
    if (!state) return;
    state->Slot.RunCleanup();
}

platform::Clock& ObjectClock() {
    platform::Clock* clock = objectClock.load();
    return clock != nullptr ? *clock : platform::SystemClock();
}

void UseClock(platform::Clock& clock) {
    objectClock.store(&clock);
}

boards::TraceFile* OpenTrace() {
    if (!state) return nullptr;
    const std::lock_guard lock(state->TraceLock);
    if (!state->Trace) {
        if (auto settings = boards::LoadTraceSettings())
            state->Trace = std::make_unique<boards::TraceFile>(std::move(*settings), ObjectClock());
    }
    return state->Trace.get();
}

void DrainTrace() {
    if (!state) return;
    boards::TraceFile* trace = nullptr;
    {
        const std::lock_guard lock(state->TraceLock);
        trace = state->Trace.get();
    }
    if (trace != nullptr) trace->Drain();
}

platform::Event* InitEvent() {
    return state ? state->InitEvent.get() : nullptr;
}

std::size_t LiveObjects() {
    if (!state) return 0;
    const std::lock_guard lock(state->ObjectsLock);
    return state->Objects.size();
}

} // namespace korax::driver::library
