// PSD reader: dimension query (with the resolution), palette query and the
// read at every depth on the same bytes.
#include "fuzz_codec_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qv::fuzz;
  CFuzzSource source(data, size, ".psd");
  int32_t w = 0, h = 0, mode = 0, count = 0;
  ISResolution resolution;
  ISGetPSDDims(source.Get(), &w, &h, &mode, &resolution);
  ISPalEntry palette[IS_PALETTE_SIZE];
  source.Rewind();
  ISGetPSDPalette(source.Get(), &count, palette);
  if (count != 0 && count != IS_PALETTE_SIZE) std::abort();
  for (int32_t bits : {8, 24, 32}) {
    source.Rewind();
    int32_t ow = 0, oh = 0;
    // A 32-bit read gives 3-byte pixels.
    CheckAndFree(ISReadPSD(source.Get(), &ow, &oh, bits, palette, 0), ow, oh, bits == 32 ? 24 : bits);
  }
  return 0;
}
