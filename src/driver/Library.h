#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

#include "boards/DLLRealize.h"

namespace korax::boards {
class TraceFile;
}
namespace korax::platform {
class Clock;
class Event;
} // namespace korax::platform

namespace korax::driver {

using DriverObject = boards::TDLLObject;

// Process-wide state of the library: the thread slot, the initialisation lock and the application
// object that owns every driver object made for a thread.
namespace library {

// Library load: slot, event, shared memory manager.
void Attach();
// Library unload. While the process exits nothing is destroyed, unloaded or waited on.
void Detach(bool processExiting);
// Win32 thread notifications (POSIX threads clean up through the slot by themselves).
void ThreadAttach();
void ThreadDetach();

// The calling thread's driver object, or nil.
DriverObject* Current();
// A new object owned by the application object, placed in the calling thread's slot. Nil when the
// library is not loaded.
DriverObject* CreateForThread();
// Destroys the calling thread's object (if any) and sets its slot to nil.
void DestroyCurrent();
// Clock of the driver objects created from now on (the system clock until this is called). Objects
// already made keep theirs, so the clock must outlive every object created while it is in use.
void UseClock(platform::Clock& clock);
// The clock every driver object gets, the thread's and the tag editor's alike.
platform::Clock& ObjectClock();
// The initialisation lock; nil when it could not be created.
platform::Event* InitEvent();
// The process's port trace, opened by the first call that finds trace settings; nil while there are none.
boards::TraceFile* OpenTrace();
// Returns when the trace holds everything handed to it so far. Only for a host's call, never under the
// loader lock: the trace's own thread may have to start first.
void DrainTrace();
// Objects the application object holds (diagnostics).
std::size_t LiveObjects();

} // namespace library

} // namespace korax::driver
