#include <cstdlib>

#include "platform/global_memory.h"

namespace qv {

void* GlobalMemAlloc(size_t size) {
  if (size == 0) return nullptr;
  return std::calloc(1, size);
}

void GlobalMemFree(void* block) { std::free(block); }

}  // namespace qv
