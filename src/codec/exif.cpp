// The camera orientation in a JPEG's Exif block (APP1): tag 0x0112 of the
// first image directory, read through the block's own byte order.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "codec/jpeg.h"
#include "platform/byte_order.h"

namespace {

constexpr uint8_t kExifSignature[6] = {'E', 'x', 'i', 'f', 0, 0};
constexpr uint16_t kOrientationTag = 0x0112;
constexpr uint16_t kShortType = 3;

// A bounded view of the TIFF structure inside the block, in its byte order.
class CExifView {
 public:
  CExifView(const uint8_t* data, size_t size, bool bigEndian) : m_data(data), m_size(size), m_big(bigEndian) {}
  bool Has(uint64_t at, uint64_t bytes) const { return at <= m_size && bytes <= m_size - at; }
  uint16_t U16(uint64_t at) const { return m_big ? qv::LoadU16BE(m_data + at) : qv::LoadU16LE(m_data + at); }
  uint32_t U32(uint64_t at) const { return m_big ? qv::LoadU32BE(m_data + at) : qv::LoadU32LE(m_data + at); }

 private:
  const uint8_t* m_data;
  size_t m_size;
  bool m_big;
};

}  // namespace

int32_t ISExifOrientation(const uint8_t* block, size_t size) {
  if (!block || size < sizeof kExifSignature + 8 || std::memcmp(block, kExifSignature, sizeof kExifSignature) != 0)
    return 1;
  const uint8_t* tiff = block + sizeof kExifSignature;
  const size_t tiffSize = size - sizeof kExifSignature;
  const bool big = tiff[0] == 'M' && tiff[1] == 'M';
  if (!big && !(tiff[0] == 'I' && tiff[1] == 'I')) return 1;
  const CExifView view(tiff, tiffSize, big);
  if (view.U16(2) != 42) return 1;
  const uint64_t directory = view.U32(4);
  if (!view.Has(directory, 2)) return 1;
  const uint32_t entries = view.U16(directory);
  for (uint32_t i = 0; i < entries; ++i) {
    const uint64_t entry = directory + 2 + uint64_t{i} * 12;
    if (!view.Has(entry, 12)) return 1;
    if (view.U16(entry) != kOrientationTag) continue;
    if (view.U16(entry + 2) != kShortType || view.U32(entry + 4) != 1) return 1;
    const uint16_t value = view.U16(entry + 8);
    return value >= 1 && value <= 8 ? value : 1;
  }
  return 1;
}
