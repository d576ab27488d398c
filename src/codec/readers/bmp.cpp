// BMP reader: dimension query, palette query and read at 1, 8, 24 and 32 bits,
// with RLE8/RLE4 and 16- and 32-bit bit-field masks, for files with a 12-, 40-,
// 108- or 124-byte information header.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "codec/bmp_rows.h"
#include "codec/codec_internal.h"

namespace qv::codec {

// ---- Row conversion ----------------------------------------------------------

int64_t BmpStoredRowBytes(int64_t width, int32_t bitCount) {
  if (width < 1) return 0;
  int64_t rowBytes = 0;
  switch (bitCount) {
    case 1:
      rowBytes = (width + 7) / 8;
      break;
    case 4:
      rowBytes = (width + 1) / 2;
      break;
    case 8:
      rowBytes = width;
      break;
    case 16:
      rowBytes = width * 2;
      break;
    case 24:
      rowBytes = width * 3;
      break;
    case 32:
      rowBytes = width * 4;
      break;
    default:
      return 0;
  }
  return (rowBytes * 8 + 31) / 32 * 4;
}

namespace {

// The index of pixel x in a packed row of 1, 4 or 8 bits.
inline uint32_t PackedIndex(const uint8_t* row, int64_t x, int32_t bitCount) {
  switch (bitCount) {
    case 1:
      return (row[x >> 3] >> (7 - (x & 7))) & 1u;
    case 4:
      return (x & 1) ? row[x >> 1] & 0x0Fu : row[x >> 1] >> 4;
    default:
      return row[x];
  }
}

// Shift that puts the top bit of the mask's lowest run of set bits on bit 7
// (positive: right, negative: left); the run is looked for in the pixel's
// own bits (16 or 32).
struct CMaskShift {
  uint32_t mask = 0;
  int shift = 0;
};

CMaskShift MaskShiftFor(uint32_t mask, int pixelBits) {
  CMaskShift result;
  result.mask = pixelBits == 16 ? mask & 0xFFFFu : mask;
  if (result.mask == 0) return result;
  int low = 0;
  while (!(result.mask & (1u << low))) ++low;
  int high = low;
  while (high < pixelBits - 1 && (result.mask & (1u << (high + 1)))) ++high;
  result.shift = high - 7;
  return result;
}

inline uint8_t MaskedChannel(uint32_t value, const CMaskShift& m) {
  const uint32_t bits = value & m.mask;
  return static_cast<uint8_t>((m.shift >= 0 ? bits >> m.shift : bits << -m.shift) & 0xFFu);
}

}  // namespace

void ConvertBmpRow(const CBmpRowLayout& layout, const uint8_t* stored, int32_t width, int32_t outBits, uint8_t* out) {
  const int step = outBits == 32 ? 4 : 3;
  CMaskShift masks[3];
  const bool masked = layout.nCompression == 3 && (layout.nBitCount == 16 || layout.nBitCount == 32);
  if (masked)
    for (int c = 0; c < 3; ++c) masks[c] = MaskShiftFor(layout.arrMasks[c], layout.nBitCount);
  // The top byte is alpha unless a colour lives there.
  const bool alphaByte = !masked || ((layout.arrMasks[0] | layout.arrMasks[1] | layout.arrMasks[2]) & 0xFF000000u) == 0;
  for (int64_t x = 0; x < width; ++x, out += step) {
    uint8_t r = 0, g = 0, b = 0, a = 255;
    switch (layout.nBitCount) {
      case 1:
      case 4:
      case 8: {
        const ISPalEntry& e = layout.pPalette[PackedIndex(stored, x, layout.nBitCount)];
        r = e.red, g = e.green, b = e.blue;
        break;
      }
      case 16: {
        const uint32_t v = LoadU16LE(stored + x * 2);
        if (masked) {
          r = MaskedChannel(v, masks[0]), g = MaskedChannel(v, masks[1]), b = MaskedChannel(v, masks[2]);
        } else {
          r = static_cast<uint8_t>(((v >> 10) & 31) * 255 / 31);
          g = static_cast<uint8_t>(((v >> 5) & 31) * 255 / 31);
          b = static_cast<uint8_t>((v & 31) * 255 / 31);
        }
        break;
      }
      case 24:
        b = stored[x * 3], g = stored[x * 3 + 1], r = stored[x * 3 + 2];
        break;
      case 32: {
        const uint32_t v = LoadU32LE(stored + x * 4);
        if (masked) {
          r = MaskedChannel(v, masks[0]), g = MaskedChannel(v, masks[1]), b = MaskedChannel(v, masks[2]);
        } else {
          r = static_cast<uint8_t>(v >> 16), g = static_cast<uint8_t>(v >> 8), b = static_cast<uint8_t>(v);
        }
        if (alphaByte) a = static_cast<uint8_t>(v >> 24);
        break;
      }
      default:
        break;
    }
    out[0] = r, out[1] = g, out[2] = b;
    if (step == 4) out[3] = a;
  }
}

void ExpandBmpIndices(const uint8_t* stored, int32_t width, int32_t bitCount, uint8_t* out) {
  for (int64_t x = 0; x < width; ++x) out[x] = static_cast<uint8_t>(PackedIndex(stored, x, bitCount));
}

// ---- Headers -----------------------------------------------------------------

namespace {

constexpr uint32_t kFileHeaderBytes = 14;
constexpr uint32_t kCoreHeaderBytes = 12;      // 16-bit sizes, 3-byte palette entries
constexpr uint32_t kInfoHeaderBytes = 40;      // what every longer header starts with
constexpr uint32_t kSpaceHeaderBytes = 108;    // adds channel masks and colour-space data
constexpr uint32_t kProfileHeaderBytes = 124;  // adds a colour profile
constexpr uint32_t kMaskBytes = 12;

struct CBmpHeader {
  uint32_t nDataOffset = 0;
  uint32_t nHeaderSize = 0;
  int32_t nWidth = 0;
  int32_t nHeight = 0;
  int32_t nBitCount = 0;
  uint32_t nCompression = 0;
  int32_t nXPelsPerMeter = 0;
  int32_t nYPelsPerMeter = 0;
  uint32_t nColorsUsed = 0;
  bool bCore = false;         // 12-byte header
  bool bMasksInside = false;  // 108 or 124 bytes: the masks are part of the header
  uint32_t arrMasks[3] = {0, 0, 0};

  // Where the header ends: the masks of a 40-byte bit-field header, or else the
  // palette, follow.
  int64_t HeaderEnd() const { return int64_t{kFileHeaderBytes} + nHeaderSize; }
  uint32_t PaletteEntryBytes() const { return bCore ? 3 : 4; }
};

// The file header and the information header; throws 3 on a short read and 6
// without "BM". The 12-byte header is read by its own layout; any other size
// is answered from its first 40 bytes. With requireKnown (every read and the
// palette query), a size other than 12, 40, 108 or 124 is error 6, and the
// whole header is read, so the source stands where the header ends.
CBmpHeader ReadHeaders(CISIO& io, bool requireKnown) {
  uint8_t file[kFileHeaderBytes];
  if (!io.ReadExactly(file, sizeof file)) throw ISException(IS_ERR_FILEREAD);
  if (file[0] != 'B' || file[1] != 'M') throw ISException(IS_ERR_NOTBMP);
  uint8_t info[kProfileHeaderBytes];
  if (!io.ReadExactly(info, 4)) throw ISException(IS_ERR_FILEREAD);
  CBmpHeader h;
  h.nDataOffset = LoadU32LE(file + 10);
  h.nHeaderSize = LoadU32LE(info + 0);
  if (h.nHeaderSize == kCoreHeaderBytes) {
    if (!io.ReadExactly(info + 4, kCoreHeaderBytes - 4)) throw ISException(IS_ERR_FILEREAD);
    h.bCore = true;
    h.nWidth = LoadU16LE(info + 4);  // unsigned: always bottom-up
    h.nHeight = LoadU16LE(info + 6);
    h.nBitCount = LoadU16LE(info + 10);
    return h;
  }
  if (!io.ReadExactly(info + 4, kInfoHeaderBytes - 4)) throw ISException(IS_ERR_FILEREAD);
  h.nWidth = LoadI32LE(info + 4);
  h.nHeight = LoadI32LE(info + 8);
  h.nBitCount = LoadU16LE(info + 14);
  h.nCompression = LoadU32LE(info + 16);
  h.nXPelsPerMeter = LoadI32LE(info + 24);
  h.nYPelsPerMeter = LoadI32LE(info + 28);
  h.nColorsUsed = LoadU32LE(info + 32);
  if (!requireKnown) return h;
  if (h.nHeaderSize == kSpaceHeaderBytes || h.nHeaderSize == kProfileHeaderBytes) {
    // Colour-space and profile data are read past and not used.
    if (!io.ReadExactly(info + kInfoHeaderBytes, h.nHeaderSize - kInfoHeaderBytes)) throw ISException(IS_ERR_FILEREAD);
    h.bMasksInside = true;
    for (int c = 0; c < 3; ++c) h.arrMasks[c] = LoadU32LE(info + kInfoHeaderBytes + 4 * c);
  } else if (h.nHeaderSize != kInfoHeaderBytes) {
    throw ISException(IS_ERR_NOTBMP);
  }
  return h;
}

bool IsIndexed(int32_t bitCount) { return bitCount == 1 || bitCount == 4 || bitCount == 8; }

bool IsRle(const CBmpHeader& h) {
  return (h.nCompression == 2 && h.nBitCount == 4) || (h.nCompression == 1 && h.nBitCount == 8);
}

// Colours used, or 2 to the power of the bit count when 0 (0 above 31 bits).
uint64_t ColourCount(const CBmpHeader& h) {
  if (h.nColorsUsed != 0) return h.nColorsUsed;
  return h.nBitCount > 31 ? 0 : uint64_t{1} << h.nBitCount;
}

uint32_t CappedColourCount(const CBmpHeader& h) {
  return static_cast<uint32_t>(std::min<uint64_t>(ColourCount(h), 256));
}

int64_t PaletteBytes(const CBmpHeader& h, uint32_t count) { return int64_t{count} * h.PaletteEntryBytes(); }

// Reads count entries into a zeroed 256-entry palette (error 3 when short).
// Entries of a 12-byte header file have no reserved byte; it becomes 0.
void ReadPalette(CISIO& io, const CBmpHeader& h, uint32_t count, ISPalEntry* palette) {
  if (!h.bCore) {
    if (!io.ReadExactly(palette, size_t{count} * sizeof(ISPalEntry))) throw ISException(IS_ERR_FILEREAD);
    return;
  }
  uint8_t triples[IS_PALETTE_SIZE * 3];
  if (!io.ReadExactly(triples, size_t{count} * 3)) throw ISException(IS_ERR_FILEREAD);
  for (uint32_t i = 0; i < count; ++i)
    palette[i] = ISPalEntry{triples[3 * i], triples[3 * i + 1], triples[3 * i + 2], 0};
}

// Skips from the bytes consumed so far to the data offset; an offset before
// them is error 6, as is a gap the file does not hold.
void SkipToData(CISIO& io, const CBmpHeader& h, int64_t consumed) {
  const int64_t gap = int64_t{h.nDataOffset} - consumed;
  if (gap < 0) throw ISException(IS_ERR_NOTBMP);
  CISByteCursor cursor(io);
  if (!cursor.Skip(static_cast<uint64_t>(gap))) throw ISException(IS_ERR_NOTBMP);
}

// Reads the stored rows (bottom-up for a positive height) and hands each, with
// its output row, to convert. A short row ends the read with error 3; the rows
// done so far stay in the buffer.
// A frame whose first stored row the file cannot hold is refused before its
// buffer exists: a few bytes claiming a huge picture cost nothing.
void RequireFirstRow(CISIO& io, const CBmpHeader& h) {
  const int64_t stored = BmpStoredRowBytes(h.nWidth, h.nBitCount);
  if (stored <= 0) throw ISException(IS_ERR_FILEREAD);
  RequireFrameData(io, static_cast<uint64_t>(stored));
}

template <class Convert>
void ReadStoredRows(CISOperation& op, CISIO& io, const CBmpHeader& h, uint8_t* out, int64_t outStride,
                    Convert convert) {
  const int64_t rows = std::abs(int64_t{h.nHeight});
  const int64_t stored = BmpStoredRowBytes(h.nWidth, h.nBitCount);
  std::vector<uint8_t> row(static_cast<size_t>(stored));
  for (int64_t i = 0; i < rows; ++i) {
    std::fill(row.begin(), row.end(), uint8_t{0});
    if (!io.ReadExactly(row.data(), row.size())) {
      op.SetError(IS_ERR_FILEREAD);
      return;
    }
    const int64_t target = h.nHeight > 0 ? rows - 1 - i : i;
    convert(row.data(), out + target * outStride);
  }
}

// ---- RLE ---------------------------------------------------------------------

// Writes decoded RLE pixels into the output buffer, clipped to the picture.
class CRleCanvas {
 public:
  CRleCanvas(uint8_t* out, int32_t width, int32_t height, int32_t outBits, const ISPalEntry* palette)
      : m_pOut(out), m_nWidth(width), m_nHeight(height), m_nStep(outBits / 8), m_pPalette(palette) {}

  // Rows take colour 0 as their background when the decoder first reaches
  // them, so rows past the end of a truncated file are never touched (they
  // stay 0). The zero-filled buffer already is the background when colour 0
  // is black or the output is indices.
  void FillBackgroundDownTo(int64_t y) {
    y = std::max<int64_t>(y, 0);
    for (; m_nUnfilledRow >= y; --m_nUnfilledRow)
      for (int64_t x = 0; x < m_nWidth; ++x) Put(x, m_nUnfilledRow, 0);
  }
  // At an end-of-bitmap code every row not yet reached is background.
  void FinishBackground() { FillBackgroundDownTo(0); }
  // At the end of the data the rows the cursor has passed are background.
  void FinishTruncated() { FillBackgroundDownTo(m_y); }

  // Writes one pixel at the cursor (dropped outside the picture) and advances.
  void Write(uint32_t index) {
    if (m_y >= 0 && m_y < m_nHeight && m_x >= 0 && m_x < m_nWidth) {
      if (m_y <= m_nUnfilledRow) FillBackgroundDownTo(m_y);
      Put(m_x, m_y, index);
    }
    ++m_x;
  }
  void EndOfLine() {
    --m_y;
    m_x = 0;
  }
  void Delta(uint32_t dx, uint32_t dy) {
    m_x += dx;
    m_y -= dy;
  }
  void Start() {
    m_x = 0, m_y = int64_t{m_nHeight} - 1;
    const ISPalEntry& e = m_pPalette[0];
    const bool zeroIsBackground = m_nStep == 1 || (m_nStep == 3 && e.red == 0 && e.green == 0 && e.blue == 0);
    m_nUnfilledRow = zeroIsBackground ? -1 : m_y;
  }

 private:
  void Put(int64_t x, int64_t y, uint32_t index) {
    uint8_t* p = m_pOut + (y * m_nWidth + x) * m_nStep;
    if (m_nStep == 1) {
      *p = static_cast<uint8_t>(index);
      return;
    }
    const ISPalEntry& e = m_pPalette[index & 0xFF];
    p[0] = e.red, p[1] = e.green, p[2] = e.blue;
    if (m_nStep == 4) p[3] = 255;
  }

  uint8_t* m_pOut;
  int32_t m_nWidth;
  int32_t m_nHeight;
  int m_nStep;
  const ISPalEntry* m_pPalette;
  int64_t m_x = 0;  // 64-bit: deltas may push the cursor far outside
  int64_t m_y = 0;
  int64_t m_nUnfilledRow = -1;  // rows above it have their background
};

// The run-length state machine over the pixel data. True at an end-of-bitmap code.
bool DecodeRle(CISIO& io, bool rle4, CRleCanvas& canvas) {
  enum { kPair, kRun, kEscape, kAbsolute, kDeltaX, kDeltaY } state = kPair;
  uint64_t count = 0;  // bytes read, from 1
  uint32_t run = 0, deltaX = 0;
  int64_t remaining = 0;
  bool padDue = false;
  canvas.Start();
  uint8_t b = 0;
  while (io.ReadExactly(&b, 1)) {
    ++count;
    switch (state) {
      case kPair:
        if (b == 0 && (count & 1)) {
          state = kEscape;
        } else if (b != 0) {
          run = b;
          state = kRun;
        }
        break;
      case kRun:
        for (uint32_t i = 0; i < run; ++i) canvas.Write(rle4 ? ((i & 1) ? b & 0x0F : b >> 4) : b);
        state = kPair;
        break;
      case kEscape:
        if (b == 0) {
          canvas.EndOfLine();
          state = kPair;
        } else if (b == 1) {
          canvas.FinishBackground();
          return true;
        } else if (b == 2) {
          state = kDeltaX;
        } else {
          remaining = b;
          padDue = rle4 ? (((b + 1) / 2) & 1) != 0 : (b & 1) != 0;
          state = kAbsolute;
        }
        break;
      case kAbsolute:
        if (rle4) {
          canvas.Write(b >> 4);
          if (remaining >= 2) canvas.Write(b & 0x0F);
          remaining -= 2;
        } else {
          canvas.Write(b);
          remaining -= 1;
        }
        if (remaining <= 0) {
          state = kPair;
          if (padDue) {
            if (!io.ReadExactly(&b, 1)) return false;
            ++count;
          }
        }
        break;
      case kDeltaX:
        deltaX = b;
        state = kDeltaY;
        break;
      case kDeltaY:
        canvas.Delta(deltaX, b);
        state = kPair;
        break;
    }
  }
  return false;
}

// The least run-length data of a whole frame: every row in runs of at most
// 255 pixels (two bytes each) and an end-of-line code.
uint64_t LeastRleBytes(int32_t width, int32_t height) {
  if (width <= 0 || height <= 0) return 0;
  const uint64_t runs = (static_cast<uint64_t>(width) + 254) / 255;
  return static_cast<uint64_t>(height) * (2 * runs + 2);
}

// Reads an RLE8 or RLE4 file from start into a buffer of outBits 8, 24 or 32.
uint8_t* ReadRle(CISOperation& op, CISIO& io, int64_t start, int32_t outBits, int32_t* width, int32_t* height) {
  if (!io.Seek(start, 0)) throw ISException(IS_ERR_FILEREAD);
  const CBmpHeader h = ReadHeaders(io, true);
  if (!IsRle(h)) throw ISException(IS_ERR_BMPRLE);
  ISPalEntry palette[IS_PALETTE_SIZE] = {};
  const uint32_t entries = CappedColourCount(h);
  ReadPalette(io, h, entries, palette);
  // Indices past the file's colours take entry 0, as the 8-bit read gives them.
  if (entries > 0) std::fill(palette + entries, palette + IS_PALETTE_SIZE, palette[0]);
  SkipToData(io, h, h.HeaderEnd() + PaletteBytes(h, entries));

  // A negative (top-down) height gives no buffer.
  if (h.nHeight <= 0) throw ISException(IS_ERR_MEMORY);
  RequireEncodedFrame(io, LeastRleBytes(h.nWidth, h.nHeight));
  CISBuffer buffer(ImageBytes(h.nWidth, h.nHeight, outBits));
  if (!buffer) throw ISException(IS_ERR_MEMORY);
  CRleCanvas canvas(buffer.Get(), h.nWidth, h.nHeight, outBits, palette);
  *width = h.nWidth;
  *height = h.nHeight;
  if (!DecodeRle(io, h.nBitCount == 4, canvas)) {
    canvas.FinishTruncated();
    op.SetError(IS_ERR_FILEREAD);
  }
  return buffer.Release();
}

// ---- Reads -------------------------------------------------------------------

// What the 24- and 32-bit reads of an uncompressed or bit-field file need
// before the pixels: the header, the row layout with its palette (entries
// past the file's colours take entry 0, as the 8-bit read gives them), and
// the source standing at the data.
struct CBmpRgbSetup {
  CBmpHeader h;
  CBmpRowLayout layout;
  ISPalEntry palette[IS_PALETTE_SIZE] = {};
};

void ReadRgbSetup(CISIO& io, int64_t start, const CBmpHeader& h, CBmpRgbSetup& s) {
  s.h = h;
  if (h.nCompression == 1 || h.nCompression == 2 || h.nCompression > 3) throw ISException(IS_ERR_NOTBMP);
  s.layout.nBitCount = h.nBitCount;
  s.layout.nCompression = static_cast<int32_t>(h.nCompression);
  int64_t consumed = h.HeaderEnd();
  if (h.nCompression == 3 && h.bMasksInside) {
    std::copy(h.arrMasks, h.arrMasks + 3, s.layout.arrMasks);
  } else if (h.nCompression == 3) {
    // A 40-byte header is followed by its masks.
    uint8_t masks[kMaskBytes];
    if (!io.ReadExactly(masks, sizeof masks)) throw ISException(IS_ERR_FILEREAD);
    for (int c = 0; c < 3; ++c) s.layout.arrMasks[c] = LoadU32LE(masks + 4 * c);
    consumed += sizeof masks;
  }
  s.layout.pPalette = s.palette;
  if (IsIndexed(h.nBitCount)) {
    const uint32_t entries = CappedColourCount(h);
    ReadPalette(io, h, entries, s.palette);
    if (entries > 0) std::fill(s.palette + entries, s.palette + IS_PALETTE_SIZE, s.palette[0]);
    consumed += PaletteBytes(h, entries);
  } else if (h.nBitCount != 16 && h.nBitCount != 24 && h.nBitCount != 32) {
    throw ISException(IS_ERR_NOTBMP);
  }
  if (h.nDataOffset > consumed) {
    SkipToData(io, h, consumed);
  } else if (h.nDataOffset < consumed && !io.Seek(start + h.nDataOffset, 0)) {
    throw ISException(IS_ERR_FILEREAD);
  }
}

uint8_t* ReadBmpRgb(CISOperation& op, CISIO& io, int32_t outBits, int32_t* width, int32_t* height) {
  const int64_t start = io.Tell();
  const CBmpHeader h = ReadHeaders(io, true);
  if (h.nWidth <= 0) throw ISException(IS_ERR_NOTBMP);
  if (IsRle(h)) return ReadRle(op, io, start, outBits, width, height);
  CBmpRgbSetup s;
  ReadRgbSetup(io, start, h, s);
  const int64_t stride = ImageStride(h.nWidth, outBits);
  RequireFirstRow(io, h);
  CISBuffer buffer(ImageBytes(h.nWidth, std::abs(int64_t{h.nHeight}), outBits));
  if (!buffer) throw ISException(IS_ERR_MEMORY);
  *width = h.nWidth;
  *height = static_cast<int32_t>(std::min<int64_t>(std::abs(int64_t{h.nHeight}), INT32_MAX));
  ReadStoredRows(op, io, h, buffer.Get(), stride,
                 [&](const uint8_t* row, uint8_t* out) { ConvertBmpRow(s.layout, row, h.nWidth, outBits, out); });
  return buffer.Release();
}

// The 24-bit read handed over row by row, top row first: the stored rows lie
// at fixed places, so bottom-up files are read from their last row back.
// Run-length files are refused (error 7), and data that ends early ends the
// read with error 3 (the whole read keeps what it got).
void ReadBmpRgbRows(CISOperation& op, CISIO& io, CRowHandover& rows) {
  const int64_t start = io.Tell();
  const CBmpHeader h = ReadHeaders(io, true);
  if (h.nWidth <= 0) throw ISException(IS_ERR_NOTBMP);
  if (IsRle(h)) throw ISException(IS_ERR_BMPRLE);
  CBmpRgbSetup s;
  ReadRgbSetup(io, start, h, s);
  RequireFirstRow(io, h);
  const int64_t height = std::abs(int64_t{h.nHeight});
  if (ImageBytes(h.nWidth, height, 24) == 0 || height > INT32_MAX) throw ISException(IS_ERR_MEMORY);
  const int64_t stored = BmpStoredRowBytes(h.nWidth, h.nBitCount);
  const int64_t dataAt = io.Tell();
  if (dataAt < 0 || io.Size() < 0 || dataAt + stored * height > io.Size()) throw ISException(IS_ERR_FILEREAD);
  rows.Begin(uint32_t(h.nWidth), uint32_t(height));
  std::vector<uint8_t> row(static_cast<size_t>(stored));
  for (int64_t y = 0; y < height; ++y) {
    const int64_t i = h.nHeight > 0 ? height - 1 - y : y;
    if (!io.Seek(dataAt + i * stored, 0) || !io.ReadExactly(row.data(), row.size())) throw ISException(IS_ERR_FILEREAD);
    ConvertBmpRow(s.layout, row.data(), h.nWidth, 24, rows.Row());
    rows.Deliver();
    if (!op.Progress(static_cast<int32_t>(y), static_cast<int32_t>(height))) return;
  }
}

uint8_t* ReadBmpIndexed(CISOperation& op, CISIO& io, int32_t outBits, ISPalEntry* palette, int32_t* width,
                        int32_t* height) {
  const int64_t start = io.Tell();
  const CBmpHeader h = ReadHeaders(io, true);
  if (h.nBitCount > 8 || h.nBitCount > outBits) throw ISException(IS_ERR_DEPTH);
  if (!IsIndexed(h.nBitCount)) throw ISException(IS_ERR_NOTBMP);
  const uint32_t count = CappedColourCount(h);
  std::memset(palette, 0, sizeof(ISPalEntry) * IS_PALETTE_SIZE);
  ReadPalette(io, h, count, palette);
  std::fill(palette + count, palette + IS_PALETTE_SIZE, palette[0]);
  if (IsRle(h)) return ReadRle(op, io, start, 8, width, height);
  if (h.nCompression != 0) throw ISException(IS_ERR_NOTBMP);
  SkipToData(io, h, h.HeaderEnd() + PaletteBytes(h, count));

  const int64_t stride = ImageStride(h.nWidth, outBits);
  const int64_t rows = std::abs(int64_t{h.nHeight});
  if (rows == 0) throw ISException(IS_ERR_MEMORY);
  RequireFirstRow(io, h);
  CISBuffer buffer(ImageBytes(h.nWidth, rows, outBits));
  if (!buffer) throw ISException(IS_ERR_MEMORY);
  *width = h.nWidth;
  *height = static_cast<int32_t>(std::min<int64_t>(rows, INT32_MAX));
  ReadStoredRows(op, io, h, buffer.Get(), stride, [&](const uint8_t* row, uint8_t* out) {
    if (outBits == 1) {
      std::memcpy(out, row, static_cast<size_t>(stride));
    } else {
      ExpandBmpIndices(row, h.nWidth, h.nBitCount, out);
    }
  });
  return buffer.Release();
}

}  // namespace
}  // namespace qv::codec

using qv::codec::CISIO;
using qv::codec::CISOperation;

int32_t ISGetBMPDims(HISSRC source, int32_t* width, int32_t* height, int32_t* bitCount, ISResolution* resolution) {
  CISOperation op;
  if (!op.Ok()) return 0;
  if (!width || !height || !bitCount) return op.Fail(IS_ERR_BADPARAM, 0);
  CISIO io;
  if (!op.Attach(source, io)) return 0;
  return op.Run<int32_t>(0, [&] {
    const auto h = qv::codec::ReadHeaders(io, false);
    *width = h.nWidth;
    *height = h.nHeight;
    *bitCount = h.nBitCount;
    if (resolution) {
      resolution->x = h.nXPelsPerMeter / 100;
      resolution->y = h.nYPelsPerMeter / 100;
      resolution->unit = 1;
    }
    return 1;
  });
}

int32_t ISGetBMPPalette(HISSRC source, int32_t* count, ISPalEntry* palette) {
  CISOperation op;
  if (!op.Ok()) return 0;
  if (!count) return op.Fail(IS_ERR_BADPARAM, 0);
  CISIO io;
  if (!op.Attach(source, io)) return 0;
  return op.Run<int32_t>(0, [&] {
    const auto h = qv::codec::ReadHeaders(io, true);
    if (!qv::codec::IsIndexed(h.nBitCount)) throw qv::codec::ISException(IS_ERR_DEPTH);
    if (!palette) throw qv::codec::ISException(IS_ERR_BADPARAM);
    const uint32_t entries = qv::codec::CappedColourCount(h);
    qv::codec::ReadPalette(io, h, entries, palette);
    *count = static_cast<int32_t>(entries);
    return 1;
  });
}

uint8_t* ISReadBMP(HISSRC source, int32_t* width, int32_t* height, int32_t bitsPerPixel, ISPalEntry* palette,
                   uint32_t /*flags*/) {
  CISOperation op;
  if (!op.Ok()) return nullptr;
  const bool indexed = bitsPerPixel == 1 || bitsPerPixel == 8;
  if (!width || !height || (!indexed && bitsPerPixel != 24 && bitsPerPixel != 32) || (indexed && !palette))
    return op.Fail<uint8_t*>(IS_ERR_BADPARAM, nullptr);
  CISIO io;
  if (!op.Attach(source, io)) return nullptr;
  return op.Run<uint8_t*>(nullptr, [&] {
    return indexed ? qv::codec::ReadBmpIndexed(op, io, bitsPerPixel, palette, width, height)
                   : qv::codec::ReadBmpRgb(op, io, bitsPerPixel, width, height);
  });
}

int32_t ISReadBMPRows(HISSRC source, ISRowReceiver* receiver) {
  return qv::codec::RunRowRead(source, receiver, [](CISOperation& op, CISIO& io, qv::codec::CRowHandover& rows) {
    qv::codec::ReadBmpRgbRows(op, io, rows);
    return 1;
  });
}
