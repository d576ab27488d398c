// WBMP reader (type 0: one bit per pixel, 1 = white): dimension query and read
// at 1 or 8 bits.
#include <cstring>
#include <vector>

#include "codec/codec_internal.h"

namespace qv::codec {
namespace {

struct CWbmpHeader {
  int32_t nWidth = 0;
  int32_t nHeight = 0;
};

// A multi-byte integer: 7 bits per byte, every byte but the last with its top
// bit set. A value that does not fit a positive 32-bit integer is refused.
bool ReadMultiByte(CISByteCursor& cursor, int32_t& value) {
  uint32_t v = 0;
  for (;;) {
    const uint8_t b = cursor.U8();
    if (!cursor.Ok() || v > (uint32_t{INT32_MAX} >> 7)) return false;
    v = (v << 7) | (b & 0x7Fu);
    if (!(b & 0x80)) break;
  }
  value = static_cast<int32_t>(v);
  return true;
}

// Type and fixed-header bytes (both 0), width and height; false on any failure.
bool ReadHeader(CISIO& io, CWbmpHeader& h) {
  CISByteCursor cursor(io);
  const uint8_t type = cursor.U8();
  const uint8_t fixed = cursor.U8();
  if (!cursor.Ok() || type != 0 || fixed != 0) return false;
  return ReadMultiByte(cursor, h.nWidth) && ReadMultiByte(cursor, h.nHeight);
}

uint8_t* ReadWbmp(CISOperation& op, CISIO& io, int32_t bits, ISPalEntry* palette, int32_t* width, int32_t* height) {
  CWbmpHeader h;
  if (!ReadHeader(io, h) || h.nWidth == 0 || h.nHeight == 0) throw ISException(IS_ERR_NOTWBMP);
  const int64_t packed = (int64_t{h.nWidth} + 7) / 8;
  const int64_t stride = bits == 1 ? packed : h.nWidth;
  RequireFrameData(io, static_cast<uint64_t>(packed));
  CISBuffer buffer(ImageBytes(h.nWidth, h.nHeight, bits));
  if (!buffer) throw ISException(IS_ERR_MEMORY);
  palette[0] = ISPalEntry{0, 0, 0, 0};
  palette[1] = ISPalEntry{255, 255, 255, 255};
  *width = h.nWidth;
  *height = h.nHeight;

  CISByteCursor cursor(io);
  for (int64_t y = 0; y < h.nHeight; ++y) {
    uint8_t* row = buffer.Get() + y * stride;
    if (bits == 1) {
      if (!io.ReadExactly(row, static_cast<size_t>(packed))) return op.Fail(IS_ERR_FILEREAD, buffer.Release());
      continue;
    }
    for (int64_t x = 0; x < h.nWidth; x += 8) {
      const uint8_t b = cursor.U8();
      if (!cursor.Ok()) return op.Fail(IS_ERR_FILEREAD, buffer.Release());
      for (int64_t i = 0; i < 8 && x + i < h.nWidth; ++i) row[x + i] = (b >> (7 - i)) & 1;
    }
  }
  return buffer.Release();
}

}  // namespace
}  // namespace qv::codec

using qv::codec::CISIO;
using qv::codec::CISOperation;

int32_t ISGetWBMPDims(HISSRC source, int32_t* width, int32_t* height) {
  CISOperation op;
  if (!op.Ok()) return 0;
  if (!width || !height) return op.Fail(IS_ERR_BADPARAM, 0);
  CISIO io;
  if (!op.Attach(source, io)) return 0;
  return op.Run<int32_t>(0, [&] {
    qv::codec::CWbmpHeader h;
    if (!qv::codec::ReadHeader(io, h)) throw qv::codec::ISException(IS_ERR_NOTWBMP);
    *width = h.nWidth;
    *height = h.nHeight;
    return 1;
  });
}

uint8_t* ISReadWBMP(HISSRC source, int32_t* width, int32_t* height, ISPalEntry* palette, int32_t bitsPerPixel,
                    uint32_t /*flags*/) {
  CISOperation op;
  if (!op.Ok()) return nullptr;
  if (!width || !height || !palette || (bitsPerPixel != 1 && bitsPerPixel != 8))
    return op.Fail<uint8_t*>(IS_ERR_BADPARAM, nullptr);
  CISIO io;
  if (!op.Attach(source, io)) return nullptr;
  return op.Run<uint8_t*>(nullptr, [&] { return qv::codec::ReadWbmp(op, io, bitsPerPixel, palette, width, height); });
}
