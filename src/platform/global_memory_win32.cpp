#include <windows.h>

#include "platform/global_memory.h"

namespace qv {

void* GlobalMemAlloc(size_t size) {
  if (size == 0) return nullptr;
  return ::GlobalAlloc(GMEM_ZEROINIT, size);  // GMEM_FIXED: the handle is the pointer
}

void GlobalMemFree(void* block) {
  if (block) ::GlobalFree(static_cast<HGLOBAL>(block));
}

}  // namespace qv
