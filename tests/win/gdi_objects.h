// The process's live GDI objects, for tests that check that every path
// releases what it made.
#pragma once

#include "platform/win/gdi.h"

namespace qv::test {

inline int64_t LiveGdiObjects() { return win::CountGdiObjects(); }

}  // namespace qv::test
