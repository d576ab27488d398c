// TIFF reader: dimension queries of the first two pages and the read of the
// first page at every depth, with and without its orientation, on the same bytes.
#include "codec/tiff.h"
#include "fuzz_codec_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qv::fuzz;
  CFuzzSource source(data, size, ".tif");
  int32_t w = 0, h = 0, bits = 0;
  ISResolution resolution{};
  ISGetTIFFDims(source.Get(), 1, &w, &h, &bits, &resolution);
  source.Rewind();
  ISGetTIFFDims(source.Get(), 0, &w, &h, &bits, &resolution);
  ISPalEntry palette[IS_PALETTE_SIZE];
  for (uint32_t flags : {0u, IS_TIFF_IGNORE_ORIENTATION}) {
    for (int32_t depth : {1, 8, 24, 32}) {
      int32_t ow = 0, oh = 0;
      CheckAndFree(ISReadTIFF(source.Get(), &ow, &oh, depth, palette, 0, flags), ow, oh, depth);
    }
  }
  return 0;
}
