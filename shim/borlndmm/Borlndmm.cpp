// Stand-in for the process-shared memory manager that hosts ship. It hands out blocks from the C heap
// and remembers each live one, so tests can prove every string the driver handed over was released
// exactly once, and that releasing an unknown pointer is refused.
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <unordered_set>

#include "korax24.h" // the manager's convention as hosts call it

namespace {

struct Blocks {
    std::mutex Lock;
    std::unordered_set<void*> Live;
    std::int32_t BadFrees = 0;
};

Blocks& Registry() {
    static Blocks blocks;
    return blocks;
}

} // namespace

extern "C" {

KORAX_EXPORT KORAX_REGISTER void* Borlndmm_SysGetMem(std::int32_t size) {
    if (size <= 0) return nullptr;
    void* block = std::malloc(static_cast<std::size_t>(size));
    if (block == nullptr) return nullptr;
    auto& registry = Registry();
    const std::lock_guard lock(registry.Lock);
    registry.Live.insert(block);
    return block;
}

// 0 when the block was released; non-zero for a pointer this manager never handed out (or already took back).
KORAX_EXPORT KORAX_REGISTER std::int32_t Borlndmm_SysFreeMem(void* block) {
    auto& registry = Registry();
    const std::lock_guard lock(registry.Lock);
    if (registry.Live.erase(block) == 0) {
        ++registry.BadFrees;
        return 1;
    }
    std::free(block);
    return 0;
}

KORAX_EXPORT KORAX_REGISTER void* Borlndmm_SysReallocMem(void* block, std::int32_t size) {
    if (size <= 0) return nullptr;
    auto& registry = Registry();
    const std::lock_guard lock(registry.Lock);
    if (registry.Live.count(block) == 0) return nullptr;
    void* moved = std::realloc(block, static_cast<std::size_t>(size));
    if (moved == nullptr) return nullptr;
    registry.Live.erase(block);
    registry.Live.insert(moved);
    return moved;
}

// Test diagnostics, not part of the real manager's interface.
KORAX_EXPORT std::int32_t KORAX_API ShimLiveBlocks() {
    auto& registry = Registry();
    const std::lock_guard lock(registry.Lock);
    return static_cast<std::int32_t>(registry.Live.size());
}

KORAX_EXPORT std::int32_t KORAX_API ShimBadFrees() {
    auto& registry = Registry();
    const std::lock_guard lock(registry.Lock);
    return registry.BadFrees;
}
}
