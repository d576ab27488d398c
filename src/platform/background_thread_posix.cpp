#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/background_thread.h"

namespace qv {

void EnterBackgroundMode() {
  // Linux keeps a nice value per thread.
  setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 19);
}

}  // namespace qv
