// TGA reader: dimension query, palette query and the read at every depth on the same bytes.
#include "fuzz_codec_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qv::fuzz;
  CFuzzSource source(data, size, ".tga");
  int32_t w = 0, h = 0, depth = 0, count = 0;
  ISGetTGADims(source.Get(), &w, &h, &depth);
  ISPalEntry palette[IS_PALETTE_SIZE];
  source.Rewind();
  ISGetTGAPalette(source.Get(), &count, palette);
  if (count < 0 || count > IS_PALETTE_SIZE) std::abort();
  for (int32_t bits : {8, 24, 32}) {
    source.Rewind();
    int32_t ow = 0, oh = 0;
    CheckAndFree(ISReadTGA(source.Get(), &ow, &oh, bits, palette, 0), ow, oh, bits);
  }
  return 0;
}
