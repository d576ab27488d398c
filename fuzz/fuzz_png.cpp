// PNG reader: dimension query, palette query and the read at every depth
// (and raw 16-bit) on the same bytes.
#include "codec/png.h"
#include "fuzz_codec_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qv::fuzz;
  CFuzzSource source(data, size, ".png");
  int32_t w = 0, h = 0, depth = 0, type = 0, interlace = 0, count = 0;
  ISResolution resolution{};
  ISGetPNGDims(source.Get(), &w, &h, &depth, &type, &interlace, &resolution);
  ISPalEntry palette[IS_PALETTE_SIZE];
  source.Rewind();
  ISGetPNGPalette(source.Get(), &count, palette);
  const struct {
    int32_t bits;
    uint32_t flags;
  } reads[] = {{1, 0}, {8, 0}, {16, 0}, {16, IS_PNG_RAW16}, {24, 0}, {32, 0}, {48, 0}, {64, 0}, {24, IS_PNG_GAMMA}};
  for (const auto& r : reads) {
    source.Rewind();
    int32_t ow = 0, oh = 0;
    CheckAndFree(ISReadPNG(source.Get(), &ow, &oh, r.bits, palette, r.flags), ow, oh, r.bits);
  }
  return 0;
}
