// PhotoCD reader: every resolution index on the same bytes.
#include "fuzz_codec_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qv::fuzz;
  CFuzzSource source(data, size, ".pcd");
  for (int32_t resolution : {1, 2, 3, 6}) {
    source.Rewind();
    int32_t w = -1, h = -1;
    uint8_t* pixels = ISReadPCD(source.Get(), &w, &h, resolution, 0);
    if (!pixels && (w != 0 || h != 0)) std::abort();
    CheckAndFree(pixels, w, h, 24);
  }
  return 0;
}
