// WBMP reader: dimension query and the read at 1 and 8 bits on the same bytes.
#include "fuzz_codec_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qv::fuzz;
  CFuzzSource source(data, size, ".wbmp");
  int32_t w = 0, h = 0;
  ISGetWBMPDims(source.Get(), &w, &h);
  ISPalEntry palette[IS_PALETTE_SIZE];
  for (int32_t depth : {1, 8}) {
    source.Rewind();
    int32_t ow = 0, oh = 0;
    CheckAndFree(ISReadWBMP(source.Get(), &ow, &oh, palette, depth, 0), ow, oh, depth);
  }
  return 0;
}
