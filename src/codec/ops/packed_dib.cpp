// The packed device-independent bitmap of a 24-bit image: a 40-byte bitmap
// header followed by the rows, last image row first, each pixel blue, green,
// red, each row padded with zero bytes to a multiple of 4.
#include "codec/ops/ops_internal.h"

namespace qv::codec::ops {

int32_t BuildPackedDIB(const uint8_t* image, int32_t width, int32_t height, CISBuffer& block) {
  if (!image || width < 1 || height < 1) return IS_ERR_BADPARAM;
  const uint64_t rowSize = uint64_t(ISDIBRowSize(width));
  const uint64_t imageSize = rowSize * uint64_t(height);
  const uint64_t total = IS_DIB_HEADER_SIZE + imageSize;
  if (total > kMaxBufferBytes) return IS_ERR_MEMORY;
  CISBuffer made(total);
  if (!made) return IS_ERR_MEMORY;
  uint8_t* header = made.Get();  // zero-filled: resolutions, colour counts and padding stay 0
  StoreU32LE(header + 0, IS_DIB_HEADER_SIZE);
  StoreU32LE(header + 4, uint32_t(width));
  StoreU32LE(header + 8, uint32_t(height));
  StoreU16LE(header + 12, 1);
  StoreU16LE(header + 14, 24);
  StoreU32LE(header + 16, 0);
  StoreU32LE(header + 20, uint32_t(imageSize));
  const size_t rowBytes = size_t(width) * 3;
  for (size_t y = 0; y < size_t(height); ++y) {
    const uint8_t* in = image + y * rowBytes;
    uint8_t* out = header + IS_DIB_HEADER_SIZE + (size_t(height) - 1 - y) * rowSize;
    for (size_t x = 0; x < rowBytes; x += 3) {
      out[x] = in[x + 2];
      out[x + 1] = in[x + 1];
      out[x + 2] = in[x];
    }
  }
  block = std::move(made);
  return IS_ERR_OK;
}

}  // namespace qv::codec::ops

uint8_t* ISMakePackedDIB(const uint8_t* image, int32_t width, int32_t height, uint64_t* size) {
  qv::codec::CISOperation op;
  if (!op.Ok()) return nullptr;
  qv::codec::CISBuffer block;
  const int32_t error = qv::codec::ops::BuildPackedDIB(image, width, height, block);
  if (error != IS_ERR_OK) return op.Fail(error, nullptr);
  if (size) *size = block.Size();
  return block.Release();
}
