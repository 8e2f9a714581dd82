#pragma once
#include <string_view>

namespace korax::driver {

// Binds the process-shared memory manager the host releases our strings with. Called at library load.
void BindHostMemory();
// Releases the binding; while the process exits the module is left alone.
void UnbindHostMemory(bool processExiting);

// The one door for text handed to the host: a new zero-terminated block of length + 1 bytes from the
// shared memory manager, owned by the host from then on. Empty text is nil; so is text that cannot be
// handed over because the manager is missing.
char* toHost(std::string_view text);

// Gives a block this library obtained for itself back to the shared memory manager (nil: nothing).
void ReleaseHostBlock(char* block);

// Stores text in a host out-message cell (nil cell: nothing to store).
void SetOutMessage(char** cell, std::string_view text);

} // namespace korax::driver
