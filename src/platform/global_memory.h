// Global memory: the blocks the codec library hands to its callers. A block is
// zero-filled, fixed (the handle is the pointer) and released with
// GlobalMemFree, whoever allocated it.
#pragma once

#include <cstddef>

namespace qv {

// A zero-filled block of size bytes, or null when it cannot be had (also for 0 bytes).
void* GlobalMemAlloc(size_t size);

// Releases a block from GlobalMemAlloc; null is ignored.
void GlobalMemFree(void* block);

}  // namespace qv
