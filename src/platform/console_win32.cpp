#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "platform/console.h"

namespace qv {

void UseBinaryStdout() { _setmode(_fileno(stdout), _O_BINARY); }

}  // namespace qv
