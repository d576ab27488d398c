// Image buffer allocation with the library's size limits, and the handover of
// rows to a receiver.
#include <algorithm>

#include "codec/codec_internal.h"
#include "platform/global_memory.h"

namespace qv::codec {

uint8_t* AllocBuffer(uint64_t bytes) {
  if (bytes == 0 || bytes > kMaxBufferBytes) return nullptr;
  return static_cast<uint8_t*>(qv::GlobalMemAlloc(static_cast<size_t>(bytes)));
}

int64_t ImageStride(int64_t width, int32_t bitsPerPixel) {
  if (width < 1) return 0;
  switch (bitsPerPixel) {
    case 32:
      return width * 4;
    case 24:
      return width * 3;
    case 8:
      return width;
    case 1:
      return (width + 7) / 8;
    default:
      return 0;
  }
}

uint64_t ImageBytes(int64_t width, int64_t height, int32_t bitsPerPixel) {
  const int64_t stride = ImageStride(width, bitsPerPixel);
  if (stride <= 0 || height < 1) return 0;
  const auto rowBytes = static_cast<uint64_t>(stride);
  if (static_cast<uint64_t>(height) > kMaxBufferBytes / rowBytes) return 0;
  return rowBytes * static_cast<uint64_t>(height);
}

void RequireFrameData(CISIO& io, uint64_t bytes) {
  if (CISByteCursor(io).Remaining() < bytes) throw ISException(IS_ERR_FILEREAD);
}

CISBuffer& CISBuffer::operator=(CISBuffer&& other) noexcept {
  if (this != &other) {
    qv::GlobalMemFree(m_pData);
    m_pData = other.m_pData;
    m_nSize = other.m_nSize;
    other.m_pData = nullptr;
    other.m_nSize = 0;
  }
  return *this;
}

CISBuffer::~CISBuffer() { qv::GlobalMemFree(m_pData); }

void CRowHandover::Begin(uint32_t width, uint32_t height) {
  const int32_t code = m_receiver.Begin(int32_t(width), int32_t(height));
  if (code != IS_ERR_OK) {
    m_bRefused = true;
    throw ISException(code);
  }
  m_row.assign(size_t(width) * 3, 0);
  m_nHeight = height;
  m_bBegun = true;
}

void CRowHandover::Deliver(const uint8_t* row) {
  if (m_nDelivered >= m_nHeight) return;
  const int32_t code = m_receiver.Row(int32_t(m_nDelivered), row);
  if (code != IS_ERR_OK) {
    m_bRefused = true;
    throw ISException(code);
  }
  ++m_nDelivered;
}

void CRowHandover::DeliverZerosToEnd() {
  if (m_nDelivered >= m_nHeight) return;
  std::fill(m_row.begin(), m_row.end(), uint8_t{0});
  while (m_nDelivered < m_nHeight) Deliver();
}

}  // namespace qv::codec
