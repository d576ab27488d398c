#include <windows.h>

#include "platform/background_thread.h"

namespace qv {

void EnterBackgroundMode() {
  // Background mode lowers the thread's disk reads too; systems without it
  // still get the lowest processor priority.
  if (!::SetThreadPriority(::GetCurrentThread(), THREAD_MODE_BACKGROUND_BEGIN))
    ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_IDLE);
}

}  // namespace qv
