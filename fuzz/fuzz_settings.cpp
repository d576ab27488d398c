// settings.idx parser: any bytes load into a complete record without a crash.
#include <cstdint>
#include <cstdio>

#include "library/settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
  if (!file) return 0;
  qv::CShowSettings record;
  qv::DecodeSettings(file, size, record);
  std::fclose(file);
  return 0;
}
