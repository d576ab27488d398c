// The process's live GDI objects, for tests that check that every path
// releases what it made.
#pragma once

#include <windows.h>

#include <cstdint>

namespace qv::test {

// Where the system does not count GDI objects (Wine), every handle index of
// the process's table is asked for its object type.
inline int64_t LiveGdiObjects() {
  const DWORD counted = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
  if (counted != 0) return counted;
  int64_t live = 0;
  for (uintptr_t index = 1; index < 0x10000; ++index) {
    if (::GetObjectType(reinterpret_cast<HGDIOBJ>(index)) != 0) ++live;
  }
  return live;
}

}  // namespace qv::test
