// BMP reader: dimension query, palette query and the read at every depth on the same bytes.
#include "fuzz_codec_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qv::fuzz;
  CFuzzSource source(data, size, ".bmp");
  int32_t w = 0, h = 0, bits = 0, count = 0;
  ISResolution res;
  ISGetBMPDims(source.Get(), &w, &h, &bits, &res);
  ISPalEntry palette[IS_PALETTE_SIZE];
  source.Rewind();
  ISGetBMPPalette(source.Get(), &count, palette);
  if (count < 0 || count > IS_PALETTE_SIZE) std::abort();
  for (int32_t depth : {1, 8, 24, 32}) {
    source.Rewind();
    int32_t ow = 0, oh = 0;
    CheckAndFree(ISReadBMP(source.Get(), &ow, &oh, depth, palette, 0), ow, oh, depth);
  }
  return 0;
}
