// JPEG reader: dimension query and the read at every depth, plain, raw CMYK
// and padded, on the same bytes.
#include "codec/jpeg.h"
#include "fuzz_codec_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qv::fuzz;
  CFuzzSource source(data, size, ".jpg");
  int32_t w = 0, h = 0, bits = 0;
  ISResolution resolution{};
  ISGetJPGDims(source.Get(), &w, &h, &bits, &resolution);
  for (uint32_t flags : {0u, IS_JPG_RAW_CMYK, IS_JPG_PADDED_BGR}) {
    for (int32_t depth : {8, 24, 32}) {
      source.Rewind();
      int32_t ow = 0, oh = 0;
      // Padded rows are at least as long as plain ones, so the plain size is inside the block.
      CheckAndFree(ISReadJPG(source.Get(), &ow, &oh, depth, flags), ow, oh, depth);
    }
  }
  return 0;
}
