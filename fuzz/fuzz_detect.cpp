// Format detection: any bytes, under the names that change its answer.
#include "fuzz_codec_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qv::fuzz;
  static const char* const kNames[] = {".bin", ".wbmp", ".tga"};
  CFuzzSource source(data, size, kNames[size % 3]);
  const int32_t code = ISGuessFileType(source.Get());
  if (code < IS_FILETYPE_UNKNOWN || code > IS_FILETYPE_COMPOUND || ISGetLastError() != IS_ERR_OK) std::abort();
  return 0;
}
