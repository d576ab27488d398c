// The trace sink: diagnostic texts are discarded unless the build asks for them.
#include <cstdarg>
#include <cstdio>

#include "codec/codec_internal.h"

namespace qv::codec {

void Trace(int level, const char* format, ...) {
#ifdef QV_TRACE
  std::fprintf(stderr, "[codec %d] ", level);
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
#else
  (void)level;
  (void)format;
#endif
}

}  // namespace qv::codec
