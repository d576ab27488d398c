// TGA reader: dimension query, palette query and read at 8, 24 and 32 bits of
// colour-mapped, true-colour and greyscale files, raw or run-length encoded.
#include <algorithm>
#include <cstring>
#include <vector>

#include "codec/codec_internal.h"

namespace qv::codec {
namespace {

constexpr size_t kHeaderBytes = 18;
constexpr size_t kFooterBytes = 26;
constexpr size_t kExtensionBytes = 495;
constexpr char kFooterSignature[] = "TRUEVISION-XFILE.";  // with its terminating zero: 18 bytes

struct CTgaHeader {
  uint8_t nIdLength = 0;
  uint8_t nColourMapType = 0;
  uint8_t nImageType = 0;
  uint16_t nFirstEntry = 0;
  uint16_t nMapLength = 0;
  uint8_t nEntryBits = 0;
  uint16_t nWidth = 0;
  uint16_t nHeight = 0;
  uint8_t nPixelDepth = 0;
  uint8_t nDescriptor = 0;

  bool HasMap() const { return nColourMapType != 0; }
  bool RunLength() const { return nImageType >= 9; }
  bool TopDown() const { return (nDescriptor & 0x20) != 0; }
  bool RightToLeft() const { return (nDescriptor & 0x10) != 0; }
  bool Greyscale() const { return nImageType == 3 || nImageType == 11; }
  // A greyscale pixel of 16 bits holds a grey level and then an alpha byte.
  bool GreyWithAlpha() const { return Greyscale() && nPixelDepth == 16; }
  // Colour-map positions up to the last stored entry: the first entry index
  // counts too, though the file stores only the length entries.
  uint32_t MapEntries() const { return uint32_t{nFirstEntry} + nMapLength; }
};

CTgaHeader ReadHeader(CISIO& io) {
  uint8_t b[kHeaderBytes];
  if (!io.ReadExactly(b, sizeof b)) throw ISException(IS_ERR_FILEREAD);
  CTgaHeader h;
  h.nIdLength = b[0];
  h.nColourMapType = b[1];
  h.nImageType = b[2];
  h.nFirstEntry = LoadU16LE(b + 3);
  h.nMapLength = LoadU16LE(b + 5);
  h.nEntryBits = b[7];
  h.nWidth = LoadU16LE(b + 12);
  h.nHeight = LoadU16LE(b + 14);
  h.nPixelDepth = b[16];
  h.nDescriptor = b[17];
  return h;
}

bool KnownImageType(uint8_t type) { return (type >= 1 && type <= 3) || (type >= 9 && type <= 11); }

// Bytes of one stored value (colour-map entry or pixel) of the given bit size;
// 0 for a size the reader does not decode.
size_t ValueBytes(uint32_t bits) {
  switch (bits) {
    case 8:
      return 1;
    case 15:
    case 16:
      return 2;
    case 24:
      return 3;
    case 32:
      return 4;
    default:
      return 0;
  }
}

// Bytes at the start of a stored pixel that carry its colour, grey level or
// index: the alpha byte of a 16-bit grey pixel is dropped, like the alpha bit
// of a 16-bit colour pixel.
size_t SampleBytes(const CTgaHeader& h) { return h.GreyWithAlpha() ? 1 : ValueBytes(h.nPixelDepth); }

// A stored value as blue, green, red and alpha (in the reserved byte).
ISPalEntry DecodeColour(const uint8_t* v, size_t bytes) {
  switch (bytes) {
    case 1:
      return ISPalEntry{v[0], v[0], v[0], 255};
    case 2: {
      const uint32_t w = LoadU16LE(v);  // 5-5-5, bit 15 ignored
      return ISPalEntry{static_cast<uint8_t>(w << 3), static_cast<uint8_t>((w >> 5) << 3),
                        static_cast<uint8_t>((w >> 10) << 3), 255};
    }
    case 3:
      return ISPalEntry{v[0], v[1], v[2], 255};
    default:
      return ISPalEntry{v[0], v[1], v[2], v[3]};
  }
}

// A stored value read as a colour-map index.
uint32_t DecodeIndex(const uint8_t* v, size_t bytes) {
  uint32_t index = 0;
  for (size_t i = bytes; i-- > 0;) index = (index << 8) | v[i];
  return index;
}

// Reads the colour map: the file holds its length entries, for the indices
// from the first entry index on; the positions below it stay black. Entries
// that would fall at 256 or beyond are read and dropped. An entry size the
// reader does not decode reads nothing.
void ReadColourMap(CISIO& io, const CTgaHeader& h, ISPalEntry* palette) {
  const size_t bytes = ValueBytes(h.nEntryBits);
  if (bytes == 0) return;
  CISByteCursor cursor(io);
  uint8_t v[4];
  for (uint32_t i = 0; i < h.nMapLength; ++i) {
    if (!cursor.Read(v, bytes)) throw ISException(IS_ERR_FILEREAD);
    const uint32_t index = uint32_t{h.nFirstEntry} + i;
    if (index < IS_PALETTE_SIZE) palette[index] = DecodeColour(v, bytes);
  }
}

void SkipIdField(CISIO& io, const CTgaHeader& h) {
  CISByteCursor cursor(io);
  if (!cursor.Skip(h.nIdLength)) throw ISException(IS_ERR_FILEREAD);
}

// Hands out the stored pixel values one at a time. Run-length packets carry on
// across rows; raw data and literal packets are read in blocks.
class CTgaPixelReader {
 public:
  CTgaPixelReader(CISIO& io, const CTgaHeader& h)
      : m_io(io), m_nBytes(ValueBytes(h.nPixelDepth)), m_bRunLength(h.RunLength()), m_nRawBlock(h.nWidth) {}

  // Starts again at offset in the file, in the middle of a packet when
  // pending values of it are left (run-length data): a run of runLeft copies
  // of the value stored at offset, or literal values from offset on.
  void Restart(uint64_t offset, size_t runLeft, size_t literalLeft) {
    m_nPos = m_nEnd = m_nRunLeft = 0;
    m_bFailed = !m_io.Seek(static_cast<int64_t>(offset), 0);
    if (m_bFailed) return;
    if (runLeft > 0) {
      if (!m_io.ReadExactly(m_run, m_nBytes)) m_bFailed = true;
      m_nRunLeft = runLeft;
    } else if (literalLeft > 0) {
      Fill(literalLeft);
    }
  }

  // The next pixel's stored bytes; null once the file ends or the depth is not
  // one the reader decodes.
  const uint8_t* Next() {
    if (m_nRunLeft > 0) {
      --m_nRunLeft;
      return m_run;
    }
    if (m_nEnd - m_nPos < m_nBytes || m_nBytes == 0) {
      if (m_bFailed || m_nBytes == 0 || !(m_bRunLength ? StartPacket() : Fill(m_nRawBlock))) return nullptr;
      if (m_nRunLeft > 0) {
        --m_nRunLeft;
        return m_run;
      }
    }
    const uint8_t* value = m_block.data() + m_nPos;
    m_nPos += m_nBytes;
    return value;
  }

 private:
  // Reads up to count values into the block; false when not even one arrived.
  bool Fill(size_t count) {
    m_block.resize(count * m_nBytes);
    const size_t got = m_io.Read(m_block.data(), m_block.size());
    m_nPos = 0;
    m_nEnd = got - got % m_nBytes;
    if (got < m_block.size()) m_bFailed = true;  // the file has ended: nothing more after this block
    return m_nEnd > 0;
  }

  bool Stop() {
    m_bFailed = true;
    return false;
  }

  bool StartPacket() {
    uint8_t h = 0;
    if (!m_io.ReadExactly(&h, 1)) return Stop();
    const size_t count = (h & 0x7Fu) + 1;
    if (!(h & 0x80)) return Fill(count);
    if (!m_io.ReadExactly(m_run, m_nBytes)) return Stop();
    m_nRunLeft = count;  // the caller takes the first one
    return true;
  }

  CISIO& m_io;
  size_t m_nBytes;
  bool m_bRunLength;
  size_t m_nRawBlock;
  std::vector<uint8_t> m_block;
  size_t m_nPos = 0;
  size_t m_nEnd = 0;
  uint8_t m_run[4] = {};
  size_t m_nRunLeft = 0;
  bool m_bFailed = false;
};

// Refuses a frame whose pixel data the rest of the file cannot hold: raw data
// needs its first stored row; run-length data at least one packet (a header byte
// and one value) for every 128 pixels.
void RequirePixelData(CISIO& io, const CTgaHeader& h) {
  const uint64_t valueBytes = ValueBytes(h.nPixelDepth);
  const uint64_t pixels = uint64_t{h.nWidth} * h.nHeight;
  if (h.RunLength()) {
    RequireEncodedFrame(io, (pixels + 127) / 128 * (1 + valueBytes));
  } else {
    RequireFrameData(io, uint64_t{h.nWidth} * valueBytes);
  }
}

// Decodes the picture one stored row at a time. Stored rows run from the bottom
// up unless the descriptor says top-down, and the pixels of each row from the
// left unless it says right-to-left; a run-length packet may go on into the
// next stored row, so rows are taken in stored order and each is turned round
// on its own.
class CTgaRowDecoder {
 public:
  CTgaRowDecoder(CISIO& io, const CTgaHeader& h)
      : m_pixels(io, h),
        m_nWidth(h.nWidth),
        m_nHeight(h.nHeight),
        m_bTopDown(h.TopDown()),
        m_bRightToLeft(h.RightToLeft()) {}

  // The picture row (0 at the top) that the i-th stored row fills.
  int64_t PictureRow(int64_t i) const { return m_bTopDown ? i : m_nHeight - 1 - i; }
  // The next row to decode starts as the pixel reader's Restart says.
  void Restart(uint64_t offset, size_t runLeft, size_t literalLeft) { m_pixels.Restart(offset, runLeft, literalLeft); }

  // Decodes the next stored row into row, handing store(row, x, value) each
  // stored pixel with its place x from the left of the picture. False when a
  // pixel could not be read; those before it are stored.
  template <class Store>
  bool Next(uint8_t* row, Store& store) {
    for (int64_t i = 0; i < m_nWidth; ++i) {
      const uint8_t* value = m_pixels.Next();
      if (!value) return false;
      store(row, m_bRightToLeft ? m_nWidth - 1 - i : i, value);
    }
    return true;
  }

 private:
  CTgaPixelReader m_pixels;
  int64_t m_nWidth;
  int64_t m_nHeight;
  bool m_bTopDown;
  bool m_bRightToLeft;
};

// Decodes every row into its place in out. False when a pixel could not be
// read; the rows stored so far stay.
template <class Store>
bool DecodePixels(CISIO& io, const CTgaHeader& h, uint8_t* out, int64_t stride, Store store) {
  CTgaRowDecoder rows(io, h);
  for (int64_t i = 0; i < h.nHeight; ++i) {
    if (!rows.Next(out + rows.PictureRow(i) * stride, store)) return false;
  }
  return true;
}

// The footer and the extension area are read for completeness; nothing in them
// changes the image. Failures are error 3.
void ReadFooter(CISOperation& op, CISIO& io) {
  uint8_t footer[kFooterBytes];
  if (!io.Seek(-static_cast<int64_t>(kFooterBytes), 2) || !io.ReadExactly(footer, sizeof footer)) {
    op.SetError(IS_ERR_FILEREAD);
    return;
  }
  if (std::memcmp(footer + 8, kFooterSignature, sizeof kFooterSignature) != 0) return;
  Trace(3, "Found TGA footer\n");
  const uint32_t extension = LoadU32LE(footer);
  const uint32_t developer = LoadU32LE(footer + 4);
  if (extension != 0) {
    uint8_t area[kExtensionBytes];
    if (!io.Seek(extension, 0) || !io.ReadExactly(area, sizeof area)) {
      op.SetError(IS_ERR_FILEREAD);
    } else {
      Trace(3, "Found TGA extension\n");
    }
  }
  if (developer != 0) Trace(3, "TGA has developer ext\n");
}

int32_t GetDims(CISIO& io, int32_t* width, int32_t* height, int32_t* depth) {
  const CTgaHeader h = ReadHeader(io);
  if (h.nPixelDepth > 32 || !KnownImageType(h.nImageType)) throw ISException(IS_ERR_NOTTGA);
  *width = h.nWidth;
  *height = h.nHeight;
  *depth = h.nPixelDepth;
  return 1;
}

int32_t GetPalette(CISIO& io, int32_t* count, ISPalEntry* palette) {
  const CTgaHeader h = ReadHeader(io);
  if (h.nPixelDepth >= 9 && !h.GreyWithAlpha()) throw ISException(IS_ERR_DEPTH);
  if (!KnownImageType(h.nImageType)) throw ISException(IS_ERR_NOTTGA);
  *count = 0;
  std::memset(palette, 0, sizeof(ISPalEntry) * IS_PALETTE_SIZE);
  if (!h.HasMap()) throw ISException(IS_ERR_NOTTGA);
  SkipIdField(io, h);
  ISPalEntry map[IS_PALETTE_SIZE] = {};
  ReadColourMap(io, h, map);
  const uint32_t entries = std::min<uint32_t>(h.MapEntries(), IS_PALETTE_SIZE);
  std::copy_n(map, entries, palette);
  std::fill(palette + entries, palette + IS_PALETTE_SIZE, map[0]);
  *count = static_cast<int32_t>(entries);
  return 1;
}

// Colour-map indices or grey levels, one byte per pixel: files of at most 8
// bits per pixel, and greyscale files of 16 (the grey level of each pixel).
uint8_t* Read8(CISOperation& op, CISIO& io, ISPalEntry* palette, int32_t* width, int32_t* height) {
  const CTgaHeader h = ReadHeader(io);
  const bool indexed = h.nPixelDepth <= 8 && (h.nImageType == 1 || h.nImageType == 3 || h.nImageType == 9);
  if (!indexed && !h.GreyWithAlpha()) throw ISException(IS_ERR_DEPTH);
  SkipIdField(io, h);
  std::memset(palette, 0, sizeof(ISPalEntry) * IS_PALETTE_SIZE);
  if (h.HasMap()) {
    ReadColourMap(io, h, palette);
  } else if (!h.Greyscale()) {
    throw ISException(IS_ERR_NOTTGA);
  } else {
    for (int i = 0; i < IS_PALETTE_SIZE; ++i) {
      const auto v = static_cast<uint8_t>(i);
      palette[i] = ISPalEntry{v, v, v, 255};
    }
  }
  RequirePixelData(io, h);
  CISBuffer buffer(ImageBytes(h.nWidth, h.nHeight, 8));
  if (!buffer) throw ISException(IS_ERR_MEMORY);
  const bool complete =
      DecodePixels(io, h, buffer.Get(), h.nWidth, [](uint8_t* row, int64_t x, const uint8_t* v) { row[x] = v[0]; });
  *width = h.nWidth;
  *height = h.nHeight;
  if (complete) {
    ReadFooter(op, io);
  } else {
    op.SetError(IS_ERR_FILEREAD);
  }
  return buffer.Release();
}

// What the 24- and 32-bit reads need before the pixels: the header checked,
// the identification field passed over, the colour map read.
struct CTgaRgbSetup {
  CTgaHeader h;
  ISPalEntry map[IS_PALETTE_SIZE] = {};
  bool bMapped = false;
};

CTgaRgbSetup ReadRgbSetup(CISIO& io) {
  CTgaRgbSetup s;
  s.h = ReadHeader(io);
  const CTgaHeader& h = s.h;
  if (h.nPixelDepth < 8 || h.nPixelDepth > 32 || !KnownImageType(h.nImageType)) throw ISException(IS_ERR_NOTTGA);
  SkipIdField(io, h);
  if (h.HasMap()) {
    ReadColourMap(io, h, s.map);
    s.bMapped = h.nImageType == 1 || h.nImageType == 9 || h.nImageType == 11;
  }
  if (h.nWidth == 0 || h.nHeight == 0) throw ISException(IS_ERR_NOTTGA);
  RequirePixelData(io, h);
  return s;
}

// Stores a pixel as red, green, blue and, at 32 bits, alpha (255 where the
// file has none). Indices past the 256-entry map (16-bit indices) give an
// empty entry: black, alpha 0, as do map positions the file did not fill.
class CRgbStore {
 public:
  CRgbStore(const CTgaRgbSetup& s, int32_t bits) : m_s(s), m_nStep(bits / 8), m_nSample(SampleBytes(s.h)) {}
  void operator()(uint8_t* row, int64_t x, const uint8_t* v) const {
    ISPalEntry c{};
    if (!m_s.bMapped) {
      c = DecodeColour(v, m_nSample);
    } else if (const uint32_t index = DecodeIndex(v, m_nSample); index < IS_PALETTE_SIZE) {
      c = m_s.map[index];
    }
    uint8_t* p = row + x * m_nStep;
    p[0] = c.red, p[1] = c.green, p[2] = c.blue;
    if (m_nStep == 4) p[3] = c.reserved;
  }

 private:
  const CTgaRgbSetup& m_s;
  int64_t m_nStep;
  size_t m_nSample;
};

// Red, green, blue and, at 32 bits, alpha.
uint8_t* ReadRgb(CISOperation& op, CISIO& io, int32_t bits, int32_t* width, int32_t* height) {
  const CTgaRgbSetup s = ReadRgbSetup(io);
  const CTgaHeader& h = s.h;
  const int64_t stride = ImageStride(h.nWidth, bits);
  CISBuffer buffer(ImageBytes(h.nWidth, h.nHeight, bits));
  if (!buffer) throw ISException(IS_ERR_MEMORY);
  const bool complete = DecodePixels(io, h, buffer.Get(), stride, CRgbStore(s, bits));
  *width = h.nWidth;
  *height = h.nHeight;
  if (complete) {
    ReadFooter(op, io);
  } else {
    op.SetError(IS_ERR_FILEREAD);
  }
  return buffer.Release();
}

// ---- Row by row ----------------------------------------------------------------

// Where the decode of each stored row begins: the file offset and, in
// run-length data, what is left of a packet that began in an earlier row.
struct CRowStart {
  uint64_t nOffset = 0;
  uint32_t nRunLeft = 0;      // copies left of a run whose value is at nOffset
  uint32_t nLiteralLeft = 0;  // literal values left, the first at nOffset
};

// Walks the packet headers of run-length data from the current position,
// passing over the values, and notes where each stored row begins. Error 3
// when the data ends before the last row.
std::vector<CRowStart> IndexRunLengthRows(CISIO& io, const CTgaHeader& h) {
  const uint64_t valueBytes = ValueBytes(h.nPixelDepth);
  const int64_t start = io.Tell();
  const int64_t size = io.Size();
  if (start < 0 || size < 0 || valueBytes == 0) throw ISException(IS_ERR_FILEREAD);
  std::vector<CRowStart> rows;
  rows.reserve(h.nHeight);
  rows.push_back({static_cast<uint64_t>(start), 0, 0});
  uint64_t at = static_cast<uint64_t>(start);
  uint32_t leftInRow = h.nWidth;
  // Headers are read in blocks; literal values are passed over.
  std::vector<uint8_t> block(1 << 16);
  uint64_t blockAt = 0, blockEnd = 0;
  const auto header = [&](uint64_t offset, uint8_t& value) {
    if (offset < blockAt || offset >= blockEnd) {
      if (!io.Seek(static_cast<int64_t>(offset), 0)) return false;
      blockAt = offset;
      blockEnd = offset + io.Read(block.data(), block.size());
      if (offset >= blockEnd) return false;
    }
    value = block[static_cast<size_t>(offset - blockAt)];
    return true;
  };
  while (rows.size() < h.nHeight || leftInRow > 0) {
    uint8_t packet = 0;
    if (!header(at, packet)) throw ISException(IS_ERR_FILEREAD);
    const bool run = (packet & 0x80) != 0;
    uint32_t count = (packet & 0x7Fu) + 1;
    const uint64_t values = at + 1;
    at = values + (run ? valueBytes : count * valueBytes);
    if (at > static_cast<uint64_t>(size)) throw ISException(IS_ERR_FILEREAD);
    while (count > 0) {
      const uint32_t take = std::min(count, leftInRow);
      count -= take;
      leftInRow -= take;
      if (leftInRow > 0) continue;
      if (rows.size() == h.nHeight) return rows;  // the last row is complete
      leftInRow = h.nWidth;
      if (count == 0) {
        rows.push_back({at, 0, 0});
      } else if (run) {
        rows.push_back({values, count, 0});
      } else {
        rows.push_back({values + (((packet & 0x7Fu) + 1) - count) * valueBytes, 0, count});
      }
    }
  }
  return rows;
}

// The 24-bit read handed over row by row, top row first. Top-down data is
// decoded in stored order; bottom-up raw rows are read where they lie, and
// bottom-up run-length rows where a first pass over the packet headers found
// them. Unlike the whole read, which keeps what a damaged file gives, data
// that ends early ends the read with error 3.
void ReadRgbRows(CISOperation& op, CISIO& io, CRowHandover& rows) {
  const CTgaRgbSetup s = ReadRgbSetup(io);
  const CTgaHeader& h = s.h;
  if (ImageBytes(h.nWidth, h.nHeight, 24) == 0) throw ISException(IS_ERR_MEMORY);
  const uint64_t valueBytes = ValueBytes(h.nPixelDepth);
  const int64_t dataAt = io.Tell();
  std::vector<CRowStart> starts;
  if (!h.TopDown()) {
    if (h.RunLength()) {
      starts = IndexRunLengthRows(io, h);
    } else {
      const uint64_t rowBytes = uint64_t{h.nWidth} * valueBytes;
      if (dataAt < 0 || io.Size() < 0 || static_cast<uint64_t>(dataAt) + rowBytes * h.nHeight > uint64_t(io.Size()))
        throw ISException(IS_ERR_FILEREAD);
      for (uint64_t i = 0; i < h.nHeight; ++i) starts.push_back({static_cast<uint64_t>(dataAt) + i * rowBytes, 0, 0});
    }
  }
  if (!io.Seek(dataAt, 0)) throw ISException(IS_ERR_FILEREAD);
  CTgaRowDecoder decoder(io, h);
  const CRgbStore store(s, 24);
  rows.Begin(h.nWidth, h.nHeight);
  for (int64_t y = 0; y < h.nHeight; ++y) {
    if (!h.TopDown()) {
      const CRowStart& at = starts[static_cast<size_t>(h.nHeight - 1 - y)];
      decoder.Restart(at.nOffset, at.nRunLeft, at.nLiteralLeft);
    }
    if (!decoder.Next(rows.Row(), store)) throw ISException(IS_ERR_FILEREAD);
    rows.Deliver();
    if (!op.Progress(static_cast<int32_t>(y), h.nHeight)) return;
  }
  ReadFooter(op, io);
  if (op.Error() == IS_ERR_FILEREAD) throw ISException(IS_ERR_FILEREAD);
}

}  // namespace
}  // namespace qv::codec

using qv::codec::CISIO;
using qv::codec::CISOperation;

int32_t ISGetTGADims(HISSRC source, int32_t* width, int32_t* height, int32_t* pixelDepth) {
  CISOperation op;
  if (!op.Ok()) return 0;
  if (!width || !height || !pixelDepth) return op.Fail(IS_ERR_BADPARAM, 0);
  CISIO io;
  if (!op.Attach(source, io)) return 0;
  return op.Run<int32_t>(0, [&] { return qv::codec::GetDims(io, width, height, pixelDepth); });
}

int32_t ISGetTGAPalette(HISSRC source, int32_t* count, ISPalEntry* palette) {
  CISOperation op;
  if (!op.Ok()) return 0;
  if (!count || !palette) return op.Fail(IS_ERR_BADPARAM, 0);
  CISIO io;
  if (!op.Attach(source, io)) return 0;
  return op.Run<int32_t>(0, [&] { return qv::codec::GetPalette(io, count, palette); });
}

uint8_t* ISReadTGA(HISSRC source, int32_t* width, int32_t* height, int32_t bitsPerPixel, ISPalEntry* palette,
                   uint32_t /*flags*/) {
  CISOperation op;
  if (!op.Ok()) return nullptr;
  const bool depthOk = bitsPerPixel == 24 || bitsPerPixel == 32 || (bitsPerPixel == 8 && palette);
  if (!width || !height || !depthOk) return op.Fail<uint8_t*>(IS_ERR_BADPARAM, nullptr);
  CISIO io;
  if (!op.Attach(source, io)) return nullptr;
  return op.Run<uint8_t*>(nullptr, [&] {
    return bitsPerPixel == 8 ? qv::codec::Read8(op, io, palette, width, height)
                             : qv::codec::ReadRgb(op, io, bitsPerPixel, width, height);
  });
}

int32_t ISReadTGARows(HISSRC source, ISRowReceiver* receiver) {
  return qv::codec::RunRowRead(source, receiver, [](CISOperation& op, CISIO& io, qv::codec::CRowHandover& rows) {
    qv::codec::ReadRgbRows(op, io, rows);
    return 1;
  });
}
