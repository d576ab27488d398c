#include "platform/console.h"

namespace qv {

void UseBinaryStdout() {}

}  // namespace qv
