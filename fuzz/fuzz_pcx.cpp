// PCX reader: dimension query, palette query and the read at every depth on the same bytes.
#include "fuzz_codec_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qv::fuzz;
  CFuzzSource source(data, size, ".pcx");
  int32_t w = 0, h = 0, bits = 0, count = 0;
  ISGetPCXDims(source.Get(), &w, &h, &bits);
  ISPalEntry palette[IS_PALETTE_SIZE];
  ISGetPCXPalette(source.Get(), &count, palette);
  for (int32_t depth : {1, 8, 24}) {
    int32_t ow = 0, oh = 0;
    CheckAndFree(ISReadPCX(source.Get(), &ow, &oh, depth, palette, 0), ow, oh, depth);
  }
  return 0;
}
