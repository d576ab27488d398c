// PCX reader: dimension query, palette query and read at 1, 8 and 24 bits.
#include <algorithm>
#include <cstring>
#include <vector>

#include "codec/codec_internal.h"

namespace qv::codec {
namespace {

constexpr int64_t kHeaderBytes = 128;
constexpr int64_t kVgaPaletteBytes = 768;

struct CPcxHeader {
  uint8_t nVersion = 0;
  uint8_t nBitsPerPlane = 0;
  uint8_t nPlanes = 0;
  uint16_t nBytesPerLine = 0;
  int32_t nWidth = 0;   // xmax - xmin + 1, as unsigned 16 bits
  int32_t nHeight = 0;  // ymax - ymin + 1, as unsigned 16 bits
  ISPalEntry arrPalette[16] = {};

  int32_t Bits() const { return int32_t{nPlanes} * nBitsPerPlane; }
};

// Rewinds and reads the 128-byte header; throws IS_ERR_NOTPCX when it is not one.
CPcxHeader ReadHeader(CISIO& io) {
  uint8_t raw[kHeaderBytes] = {};
  if (!io.Rewind() || !io.ReadExactly(raw, 70)) throw ISException(IS_ERR_NOTPCX);
  io.Read(raw + 70, 58);  // filler: not required to be complete
  const uint8_t version = raw[1];
  if (raw[0] != 10 || !(version == 0 || version == 2 || version == 3 || version == 5)) throw ISException(IS_ERR_NOTPCX);
  CPcxHeader h;
  h.nVersion = version;
  h.nBitsPerPlane = raw[3];
  h.nWidth = static_cast<uint16_t>(LoadU16LE(raw + 8) - LoadU16LE(raw + 4) + 1);
  h.nHeight = static_cast<uint16_t>(LoadU16LE(raw + 10) - LoadU16LE(raw + 6) + 1);
  for (int i = 0; i < 16; ++i)
    h.arrPalette[i] = ISPalEntry{raw[16 + 3 * i + 2], raw[16 + 3 * i + 1], raw[16 + 3 * i], 0};
  h.nPlanes = raw[65];
  h.nBytesPerLine = LoadU16LE(raw + 66);
  return h;
}

// The 256-colour palette at the end of a version 5, 8-bit file, if it is there.
bool ReadVgaPalette(CISIO& io, const CPcxHeader& h, ISPalEntry* palette) {
  if (h.nVersion != 5 || h.Bits() != 8) return false;
  uint8_t mark = 0;
  uint8_t rgb[kVgaPaletteBytes];
  if (!io.Seek(-(kVgaPaletteBytes + 1), 2) || !io.ReadExactly(&mark, 1) || mark != 12 ||
      !io.ReadExactly(rgb, sizeof rgb))
    return false;
  for (int i = 0; i < 256; ++i) palette[i] = ISPalEntry{rgb[3 * i + 2], rgb[3 * i + 1], rgb[3 * i], 0};
  return true;
}

// The picture's 256-entry palette: the file's 256 colours or a grey ramp; below
// 8 bits black and white (one 1-bit plane) or the header's 16 entries, and every
// later entry a copy of entry 0.
void BuildPalette(CISIO& io, const CPcxHeader& h, ISPalEntry* palette) {
  std::memset(palette, 0, sizeof(ISPalEntry) * IS_PALETTE_SIZE);
  if (!ReadVgaPalette(io, h, palette))
    for (int i = 0; i < 256; ++i) palette[i] = ISPalEntry{uint8_t(i), uint8_t(i), uint8_t(i), 0};
  const int32_t bits = h.Bits();
  if (bits == 8) return;
  int32_t first = 0;
  if (h.nPlanes == 1 && h.nBitsPerPlane == 1) {
    palette[0] = ISPalEntry{0, 0, 0, 0};
    palette[1] = ISPalEntry{255, 255, 255, 0};
    first = 2;
  } else {
    first = bits >= 4 ? 16 : 1 << bits;
    std::copy(h.arrPalette, h.arrPalette + first, palette);
  }
  std::fill(palette + first, palette + IS_PALETTE_SIZE, palette[0]);
}

// The source's bytes one at a time, read ahead in blocks: a picture's
// run-length data is tens of megabytes, and a read per byte would cost more
// than the decoding. After the end every byte is 0 and Ok() is false.
class CReadAhead {
 public:
  explicit CReadAhead(CISIO& io) : m_io(io), m_block(1 << 16) {}
  uint8_t U8() {
    if (m_nPos == m_nFilled && !Refill()) return 0;
    return m_block[m_nPos++];
  }
  bool Ok() const { return m_bOk; }

 private:
  bool Refill() {
    if (!m_bOk) return false;
    m_nFilled = m_io.Read(m_block.data(), m_block.size());
    m_nPos = 0;
    m_bOk = m_nFilled > 0;
    return m_bOk;
  }
  CISIO& m_io;
  std::vector<uint8_t> m_block;
  size_t m_nPos = 0;
  size_t m_nFilled = 0;
  bool m_bOk = true;
};

// Decodes run-length scan lines. A failed read counts as the value 0, so the
// rest of a truncated file decodes as zeros; once the file has ended the lines
// are zero without further reads.
class CScanLineDecoder {
 public:
  CScanLineDecoder(CISIO& io, const CPcxHeader& h)
      : m_cursor(io),
        m_nLineBytes(size_t{h.nBytesPerLine} * h.nPlanes),
        // Room past the decoded bytes: conversions of odd layouts (bytes per line
        // below the width, fewer planes than they assume) read zeros there.
        m_line(m_nLineBytes + size_t{h.nBytesPerLine} * 3 + size_t(h.nWidth) * 4 + 8, 0) {}

  const uint8_t* Line() const { return m_line.data(); }
  // The file ended inside or before the last line decoded.
  bool Ended() const { return m_bEnded; }

  // Decodes the next line; false, touching nothing, once the file has ended.
  bool Next() {
    if (m_bEnded) return false;
    size_t filled = 0;
    while (filled < m_nLineBytes) {
      const uint8_t b = m_cursor.U8();
      if (!m_cursor.Ok()) {
        std::fill(m_line.begin() + static_cast<std::ptrdiff_t>(filled),
                  m_line.begin() + static_cast<std::ptrdiff_t>(m_nLineBytes), uint8_t{0});
        m_bEnded = true;
        return filled > 0;
      }
      if ((b & 0xC0) != 0xC0) {
        m_line[filled++] = b;  // a byte of its own, the commonest case in photographs
        continue;
      }
      const uint8_t value = m_cursor.U8();  // 0 when the file ends here
      const size_t run = std::min<size_t>(b & 0x3F, m_nLineBytes - filled);
      std::memset(m_line.data() + filled, value, run);
      filled += run;
    }
    return true;
  }

 private:
  CReadAhead m_cursor;
  size_t m_nLineBytes;
  std::vector<uint8_t> m_line;
  bool m_bEnded = false;
};

// The palette index of pixel x: several 1-bit planes give bit i of the value
// from plane i; otherwise the line holds packed pixels of Bits() bits.
uint32_t PixelIndex(const uint8_t* line, const CPcxHeader& h, int64_t x) {
  if (h.nPlanes > 1 && h.nBitsPerPlane == 1) {
    uint32_t value = 0;
    for (int32_t plane = 0; plane < h.nPlanes; ++plane) {
      const uint8_t byte = line[int64_t{plane} * h.nBytesPerLine + (x >> 3)];
      value |= uint32_t((byte >> (7 - (x & 7))) & 1) << plane;
    }
    return value;
  }
  const int32_t bits = h.Bits();
  if (bits == 8) return line[x];
  uint32_t value = 0;
  const int64_t first = x * bits;
  for (int32_t i = 0; i < bits; ++i) {
    const int64_t bit = first + i;
    value = (value << 1) | ((line[bit >> 3] >> (7 - (bit & 7))) & 1u);
  }
  return value;
}

void ConvertRow(const uint8_t* line, const CPcxHeader& h, int32_t outBits, const ISPalEntry* palette, uint8_t* out) {
  const int32_t bits = h.Bits();
  if (bits == 24) {
    const size_t bpl = h.nBytesPerLine;
    for (int64_t x = 0; x < h.nWidth; ++x, out += 3) {
      out[0] = line[x], out[1] = line[bpl + x], out[2] = line[2 * bpl + x];
    }
  } else if (bits == 1 && outBits == 1) {
    std::memcpy(out, line, static_cast<size_t>((h.nWidth + 7) / 8));
  } else if (outBits == 8) {
    for (int64_t x = 0; x < h.nWidth; ++x) out[x] = static_cast<uint8_t>(PixelIndex(line, h, x));
  } else {
    for (int64_t x = 0; x < h.nWidth; ++x, out += 3) {
      const ISPalEntry& e = palette[PixelIndex(line, h, x) & 0xFF];
      out[0] = e.red, out[1] = e.green, out[2] = e.blue;
    }
  }
}

// The whole read, or with rows given the 24-bit read handed over row by row
// (the return is then null): rows past the end of the data are zeros either
// way, and the read is error 3.
uint8_t* ReadPcx(CISOperation& op, CISIO& io, int32_t outBits, ISPalEntry* callerPalette, int32_t* width,
                 int32_t* height, CRowHandover* rows = nullptr) {
  const CPcxHeader h = ReadHeader(io);
  const int32_t bits = h.Bits();
  // A line of no bytes would decode every line from no data at all.
  if (bits == 0 || bits > 32 || h.nWidth == 0 || h.nHeight == 0 || h.nBytesPerLine == 0)
    throw ISException(IS_ERR_NOTPCX);
  if (outBits != 1 && outBits != 8 && outBits != 24) throw ISException(IS_ERR_BADPARAM);
  if (outBits <= 8 && !callerPalette) throw ISException(IS_ERR_BADPARAM);
  if (outBits < bits) throw ISException(IS_ERR_DEPTH);

  ISPalEntry palette[IS_PALETTE_SIZE];
  BuildPalette(io, h, palette);
  if (outBits <= 8) std::memcpy(callerPalette, palette, sizeof palette);

  CScanLineDecoder decoder(io, h);
  if (!io.Seek(kHeaderBytes, 0)) throw ISException(IS_ERR_MEMORY);
  // Each line is coded apart, in runs of at most 63 bytes; a line holds at
  // least the bytes its pixels need, whatever its header says.
  const uint64_t pixelBytes = (static_cast<uint64_t>(h.nWidth) * static_cast<uint64_t>(bits) + 7) / 8;
  const uint64_t lineBytes = std::max<uint64_t>(uint64_t{h.nBytesPerLine} * h.nPlanes, pixelBytes);
  const uint64_t runsPerLine = (lineBytes + 62) / 63;
  RequireEncodedFrame(io, runsPerLine * static_cast<uint64_t>(h.nHeight));
  *width = h.nWidth;
  *height = h.nHeight;
  if (rows) {
    rows->Begin(uint32_t(h.nWidth), uint32_t(h.nHeight));
    for (int32_t row = 0; row < h.nHeight && decoder.Next(); ++row) {
      ConvertRow(decoder.Line(), h, 24, palette, rows->Row());
      rows->Deliver();
      if (!op.Progress(row, h.nHeight)) return nullptr;
    }
    if (decoder.Ended()) op.SetError(IS_ERR_FILEREAD);
    rows->DeliverZerosToEnd();
    return nullptr;
  }
  const int64_t stride = ImageStride(h.nWidth, outBits);
  CISBuffer buffer(ImageBytes(h.nWidth, h.nHeight, outBits));
  if (!buffer) throw ISException(IS_ERR_MEMORY);

  // Decoding stops where the file ends: the rows after it are left as zeros.
  for (int32_t row = 0; row < h.nHeight && decoder.Next(); ++row)
    ConvertRow(decoder.Line(), h, outBits, palette, buffer.Get() + row * stride);
  if (decoder.Ended()) op.SetError(IS_ERR_FILEREAD);
  return buffer.Release();
}

}  // namespace
}  // namespace qv::codec

using qv::codec::CISIO;
using qv::codec::CISOperation;

int32_t ISGetPCXDims(HISSRC source, int32_t* width, int32_t* height, int32_t* bitsPerPixel) {
  CISOperation op;
  if (!op.Ok()) return 0;
  if (!width || !height || !bitsPerPixel) return op.Fail(IS_ERR_BADPARAM, 0);
  CISIO io;
  if (!op.Attach(source, io)) return 0;
  return op.Run<int32_t>(0, [&] {
    const auto h = qv::codec::ReadHeader(io);
    *width = h.nWidth;
    *height = h.nHeight;
    *bitsPerPixel = h.Bits();
    return 1;
  });
}

int32_t ISGetPCXPalette(HISSRC source, int32_t* count, ISPalEntry* palette) {
  CISOperation op;
  if (!op.Ok()) return 0;
  if (!count || !palette) return op.Fail(IS_ERR_BADPARAM, 0);
  CISIO io;
  if (!op.Attach(source, io)) return 0;
  return op.Run<int32_t>(0, [&] {
    const auto h = qv::codec::ReadHeader(io);
    if (h.Bits() > 8) throw qv::codec::ISException(IS_ERR_DEPTH);
    qv::codec::BuildPalette(io, h, palette);
    *count = IS_PALETTE_SIZE;
    return 1;
  });
}

uint8_t* ISReadPCX(HISSRC source, int32_t* width, int32_t* height, int32_t bitsPerPixel, ISPalEntry* palette,
                   uint32_t /*flags*/) {
  CISOperation op;
  if (!op.Ok()) return nullptr;
  if (!width || !height) return op.Fail<uint8_t*>(IS_ERR_BADPARAM, nullptr);
  CISIO io;
  if (!op.Attach(source, io)) return nullptr;
  return op.Run<uint8_t*>(nullptr, [&] { return qv::codec::ReadPcx(op, io, bitsPerPixel, palette, width, height); });
}

int32_t ISReadPCXRows(HISSRC source, ISRowReceiver* receiver) {
  return qv::codec::RunRowRead(source, receiver, [](CISOperation& op, CISIO& io, qv::codec::CRowHandover& rows) {
    int32_t width = 0, height = 0;
    qv::codec::ReadPcx(op, io, 24, nullptr, &width, &height, &rows);
    return 1;
  });
}
