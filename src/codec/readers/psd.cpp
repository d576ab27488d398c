// PSD reader: the merged image of a layered document (version 1), raw or
// PackBits, in bitmap, greyscale, indexed, duotone, RGB and CMYK modes.
// Dimension query (with the stored resolution), palette query and read at 8
// or 24 bits (a 32-bit request gets the same 3-byte pixels).
#include <algorithm>
#include <cstring>
#include <vector>

#include "codec/codec_internal.h"

namespace qv::codec {
namespace {

enum : uint16_t {
  kModeBitmap = 0,
  kModeGrey = 1,
  kModeIndexed = 2,
  kModeRgb = 3,
  kModeCmyk = 4,
  kModeDuotone = 8,
};

constexpr uint32_t kResolutionResource = 1005;
constexpr size_t kTableBytes = 768;  // 256 red values, 256 green, 256 blue

struct CPsdHeader {
  uint16_t nChannels = 0;
  uint32_t nHeight = 0;
  uint32_t nWidth = 0;
  uint16_t nDepth = 0;
  uint16_t nMode = 0;
};

// Signature and version (error 46), then the rest of the fixed header.
CPsdHeader ReadHeader(CISIO& io) {
  CISByteCursor cursor(io);
  uint8_t signature[4];
  cursor.Read(signature, sizeof signature);
  const uint16_t version = cursor.U16BE();
  if (!cursor.Ok() || std::memcmp(signature, "8BPS", 4) != 0 || version != 1) throw ISException(IS_ERR_NOTPSD);
  cursor.Skip(6);
  CPsdHeader h;
  h.nChannels = cursor.U16BE();
  h.nHeight = cursor.U32BE();
  h.nWidth = cursor.U32BE();
  h.nDepth = cursor.U16BE();
  h.nMode = cursor.U16BE();
  if (!cursor.Ok()) throw ISException(IS_ERR_FILEREAD);
  return h;
}

uint64_t Remaining(CISIO& io) { return CISByteCursor(io).Remaining(); }

// Moves over a section of the given length; false for one that runs past the
// end of the file.
bool SkipSection(CISIO& io, uint64_t length) {
  return length <= Remaining(io) && io.Seek(static_cast<int64_t>(length), 1);
}

void FillGreyRamp(ISPalEntry* palette) {
  for (int i = 0; i < IS_PALETTE_SIZE; ++i) {
    const auto v = static_cast<uint8_t>(i);
    palette[i] = ISPalEntry{v, v, v, 0};
  }
}

// The colour mode data into a 256-entry palette the caller has zeroed. The
// section is always consumed by its length, so what follows stays in step.
void ReadColourModeData(CISIO& io, const CPsdHeader& h, ISPalEntry* palette) {
  CISByteCursor cursor(io);
  const uint32_t length = cursor.U32BE();
  if (!cursor.Ok()) throw ISException(IS_ERR_FILEREAD);
  uint64_t skip = length;
  if (h.nMode == kModeBitmap) {
    palette[0] = ISPalEntry{255, 255, 255, 0};
    palette[1] = ISPalEntry{0, 0, 0, 0};
  } else if (h.nMode == kModeGrey || h.nMode == kModeIndexed || h.nMode == kModeDuotone) {
    FillGreyRamp(palette);
    if (h.nMode != kModeDuotone && length >= kTableBytes) {
      uint8_t table[kTableBytes];
      if (!cursor.Read(table, sizeof table)) throw ISException(IS_ERR_FILEREAD);
      for (int i = 0; i < IS_PALETTE_SIZE; ++i) palette[i] = ISPalEntry{table[512 + i], table[256 + i], table[i], 0};
      skip -= kTableBytes;
    }
  }
  if (!SkipSection(io, skip)) throw ISException(IS_ERR_FILEREAD);
}

// The image resources section, whole (empty when its length is 0 or less).
std::vector<uint8_t> ReadResources(CISIO& io) {
  CISByteCursor cursor(io);
  const auto length = static_cast<int32_t>(cursor.U32BE());
  if (!cursor.Ok()) throw ISException(IS_ERR_FILEREAD);
  if (length <= 0) return {};
  if (static_cast<uint64_t>(length) > Remaining(io)) throw ISException(IS_ERR_FILEREAD);
  std::vector<uint8_t> data(static_cast<size_t>(length));
  if (!cursor.Read(data.data(), data.size())) throw ISException(IS_ERR_FILEREAD);
  return data;
}

void SkipLayers(CISIO& io) {
  CISByteCursor cursor(io);
  const uint32_t length = cursor.U32BE();
  if (!cursor.Ok()) throw ISException(IS_ERR_FILEREAD);
  if (!SkipSection(io, length)) {
    Trace(2, "read %d. layersLen %d\n", 4, static_cast<int32_t>(length));
    throw ISException(IS_ERR_FILEREAD);
  }
}

// Everything before the image data: the palette (from the colour mode data),
// the resources (read and dropped), the layers (skipped) and the compression.
bool ReadToImageData(CISIO& io, const CPsdHeader& h, ISPalEntry* palette) {
  ReadColourModeData(io, h, palette);
  ReadResources(io);
  SkipLayers(io);
  CISByteCursor cursor(io);
  const uint16_t compression = cursor.U16BE();
  if (!cursor.Ok() || compression > 1) throw ISException(IS_ERR_FILEREAD);
  return compression == 1;
}

// ---- Resolution --------------------------------------------------------------

struct CResourceScan {
  int32_t nBlocks = 0;                   // blocks parsed
  const uint8_t* pResolution = nullptr;  // data of the first block 1005 of at least 16 bytes
};

// Walks the resource blocks: "8BIM", ID, padded name, size (padded to even),
// data. Bytes before a signature are passed over one at a time.
CResourceScan ScanResources(const std::vector<uint8_t>& data) {
  CResourceScan scan;
  const size_t size = data.size();
  size_t pos = 0;
  while (size - pos >= 4) {
    if (std::memcmp(data.data() + pos, "8BIM", 4) != 0) {
      ++pos;
      continue;
    }
    pos += 4;
    if (size - pos < 3) break;
    const uint32_t id = LoadU16BE(data.data() + pos);
    pos += 2;
    const size_t nameBytes = (size_t{data[pos]} + 2) & ~size_t{1};
    if (size - pos < nameBytes + 4) break;
    pos += nameBytes;
    const uint32_t length = LoadU32BE(data.data() + pos);
    pos += 4;
    if (length > size - pos) {
      Trace(2, "Found bad IPTC data resource (len exceeds block end). ID=%d\n", static_cast<int32_t>(id));
      break;
    }
    ++scan.nBlocks;
    if (id == kResolutionResource && length >= 16 && !scan.pResolution) scan.pResolution = data.data() + pos;
    pos += std::min<size_t>(length + (length & 1u), size - pos);
  }
  return scan;
}

// Eight 16-bit values: horizontal resolution (integer, fraction), its unit, the
// width unit, then the same for the vertical direction.
ISResolution DecodeResolution(const uint8_t* p) {
  ISResolution r{};
  r.x = LoadU16BE(p);
  r.y = LoadU16BE(p + 8);
  const uint32_t horizontalUnit = LoadU16BE(p + 4);
  const uint32_t verticalUnit = LoadU16BE(p + 12);
  if (horizontalUnit == 1) {
    r.unit = 1;
    if (verticalUnit == 2) r.y = static_cast<int32_t>(r.y * 0.39370079);
  } else if (horizontalUnit == 2) {
    r.unit = 2;
    if (verticalUnit == 1) r.y = static_cast<int32_t>(r.y * 2.539999983236);
  }
  return r;
}

int32_t GetDims(CISOperation& op, CISIO& io, int32_t* width, int32_t* height, int32_t* mode, ISResolution* resolution) {
  const CPsdHeader h = ReadHeader(io);
  *width = static_cast<int32_t>(h.nWidth);
  *height = static_cast<int32_t>(h.nHeight);
  *mode = h.nMode;
  ISPalEntry scratch[IS_PALETTE_SIZE] = {};
  ReadColourModeData(io, h, scratch);
  const std::vector<uint8_t> resources = ReadResources(io);
  if (!resolution) return 1;
  *resolution = ISResolution{};
  const CResourceScan scan = ScanResources(resources);
  if (scan.nBlocks == 0) op.SetError(IS_ERR_PSDRESOURCES);
  if (scan.pResolution) *resolution = DecodeResolution(scan.pResolution);
  return 1;
}

int32_t GetPalette(CISIO& io, int32_t* count, ISPalEntry* palette) {
  *count = 0;
  const CPsdHeader h = ReadHeader(io);
  if (!palette) throw ISException(IS_ERR_BADPARAM);
  std::memset(palette, 0, sizeof(ISPalEntry) * IS_PALETTE_SIZE);
  if (h.nDepth != 1 && h.nDepth != 8) throw ISException(IS_ERR_PSDFORMAT);
  if (h.nMode != kModeBitmap && h.nMode != kModeGrey && h.nMode != kModeIndexed && h.nMode != kModeDuotone)
    throw ISException(IS_ERR_DEPTH);
  ReadColourModeData(io, h, palette);
  *count = IS_PALETTE_SIZE;
  return 1;
}

// ---- Image data --------------------------------------------------------------

// Gives the stored bytes of each row in turn: raw rows of a fixed length, or
// run-length rows of the lengths in the byte-count table.
class CPsdRowFeed {
 public:
  CPsdRowFeed(CISIO& io, const CPsdHeader& h, bool runLength) : m_io(io), m_h(h), m_bRunLength(runLength) {}

  // Reads the byte-count table (run-length data); false when the file cannot hold it.
  bool Begin() {
    if (!m_bRunLength) return true;
    const uint64_t bytes = uint64_t{m_h.nChannels} * m_h.nHeight * 2;
    if (bytes > Remaining(m_io)) return false;
    std::vector<uint8_t> table(static_cast<size_t>(bytes));
    if (!m_io.ReadExactly(table.data(), table.size())) return false;
    m_arrCounts.resize(table.size() / 2);
    for (size_t i = 0; i < m_arrCounts.size(); ++i) m_arrCounts[i] = LoadU16BE(table.data() + 2 * i);
    return true;
  }

  // The next row of channel / row number index (channel * height + row); a raw
  // row is rawBytes long. False when the file ends first.
  bool Next(uint64_t index, uint64_t rawBytes) {
    const uint64_t bytes = m_bRunLength ? m_arrCounts[static_cast<size_t>(index)] : rawBytes;
    if (bytes > Remaining(m_io)) return false;
    m_row.resize(static_cast<size_t>(bytes));
    return m_io.ReadExactly(m_row.data(), m_row.size());
  }

  const std::vector<uint8_t>& Row() const { return m_row; }

 private:
  CISIO& m_io;
  const CPsdHeader& m_h;
  bool m_bRunLength;
  std::vector<uint16_t> m_arrCounts;
  std::vector<uint8_t> m_row;
};

// PackBits into samples bytes written step apart (only those below keep are
// stored). False when the input ends inside a packet.
bool UnpackRow(const std::vector<uint8_t>& in, uint8_t* out, uint64_t samples, uint64_t step, uint64_t keep) {
  size_t pos = 0;
  uint64_t done = 0;
  bool lastLiteral = false;
  const auto put = [&](uint8_t v) {
    if (done < keep) out[done * step] = v;
    ++done;
  };
  while (done < samples && pos < in.size()) {
    const auto n = static_cast<int8_t>(in[pos++]);
    if (n >= 0) {
      const size_t literal = static_cast<size_t>(n) + 1;
      const size_t have = std::min(literal, in.size() - pos);
      for (size_t i = 0; i < have && done < samples; ++i) put(in[pos + i]);
      if (have < literal) return false;
      pos += literal;
      lastLiteral = true;
    } else if (n != -128) {
      if (pos >= in.size()) return false;
      const uint8_t v = in[pos++];
      for (int i = 0; i < 1 - n && done < samples; ++i) put(v);
      lastLiteral = false;
    }
  }
  if (done >= samples && pos < in.size())
    Trace(3, lastLiteral ? "RLE Row Size Mismatch in PSD decode [1].\n" : "RLE Row Size Mismatch in PSD decode [2].\n");
  return true;
}

// How far a decode got: whether it read every row, and how many leading rows
// of the picture it has written to (every row once a second channel began).
struct CPsdDecoded {
  bool bComplete = false;
  uint64_t nRows = 0;
};

// Channels 0 to planes - 1, sample of channel c at byte c of each step-byte
// pixel. Stops at the first row the file cannot give; the rows before stay.
CPsdDecoded DecodePlanes(CISIO& io, const CPsdHeader& h, bool runLength, uint32_t planes, uint8_t* out, uint64_t step) {
  CPsdRowFeed feed(io, h, runLength);
  if (!feed.Begin()) return {};
  const uint64_t width = h.nWidth;
  const uint64_t sampleBytes = h.nDepth == 16 ? 2 : 1;
  for (uint32_t c = 0; c < planes; ++c) {
    for (uint64_t r = 0; r < h.nHeight; ++r) {
      const CPsdDecoded partial{false, c == 0 ? r : h.nHeight};
      if (!feed.Next(uint64_t{c} * h.nHeight + r, width * sampleBytes)) return partial;
      uint8_t* target = out + r * width * step + c;
      const std::vector<uint8_t>& row = feed.Row();
      if (runLength) {
        if (!UnpackRow(row, target, width, step, width)) return {false, partial.nRows + (c == 0 ? 1 : 0)};
      } else if (sampleBytes == 2) {
        for (uint64_t i = 0; i < width; ++i)
          target[i * step] = static_cast<uint8_t>(uint32_t{LoadU16BE(row.data() + 2 * i)} * 255 / 65535);
      } else {
        for (uint64_t i = 0; i < width; ++i) target[i * step] = row[i];
      }
    }
  }
  return {true, h.nHeight};
}

// The one-bit plane of a bitmap document, one byte (1 or 0) per pixel.
CPsdDecoded DecodeBitmap(CISIO& io, const CPsdHeader& h, bool runLength, uint8_t* out) {
  CPsdRowFeed feed(io, h, runLength);
  if (!feed.Begin()) return {};
  const uint64_t width = h.nWidth;
  const uint64_t packed = (width + 7) / 8;
  std::vector<uint8_t> bits(static_cast<size_t>(packed));
  for (uint64_t r = 0; r < h.nHeight; ++r) {
    if (!feed.Next(r, packed)) return {false, r};
    if (runLength) {
      std::fill(bits.begin(), bits.end(), uint8_t{0});
      if (!UnpackRow(feed.Row(), bits.data(), width, 1, packed)) return {false, r};
    } else {
      bits = feed.Row();
    }
    uint8_t* target = out + r * width;
    for (uint64_t x = 0; x < width; ++x) target[x] = (bits[static_cast<size_t>(x >> 3)] >> (7 - (x & 7))) & 1;
  }
  return {true, h.nHeight};
}

bool SingleChannelMode(uint16_t mode) { return mode == kModeGrey || mode == kModeIndexed || mode == kModeDuotone; }

// Planes a mode decodes; 0 for a mode the reader does not handle at this depth
// of output. A bitmap must be 1 bit deep and every other mode 8 or 16.
uint32_t PlanesFor(const CPsdHeader& h, bool rgbOutput) {
  uint32_t planes = 0;
  if (h.nMode == kModeBitmap || SingleChannelMode(h.nMode)) planes = 1;
  if (rgbOutput && h.nMode == kModeRgb) planes = 3;
  if (rgbOutput && h.nMode == kModeCmyk) planes = 4;
  if ((h.nMode == kModeBitmap) != (h.nDepth == 1)) return 0;
  return planes;
}

// Error 1 for a picture whose buffer of width x height x bytes could never be had.
void AdmitImage(const CPsdHeader& h, uint64_t bytesPerPixel) {
  const uint64_t pixels = uint64_t{h.nWidth} * h.nHeight;  // both below 2^32: no overflow
  if (h.nWidth == 0 || pixels > kMaxBufferBytes / bytesPerPixel) throw ISException(IS_ERR_MEMORY);
}

// A buffer of width x height x bytes, or error 1 when it cannot be had.
CISBuffer AllocImage(const CPsdHeader& h, uint64_t bytesPerPixel) {
  AdmitImage(h, bytesPerPixel);
  CISBuffer buffer(uint64_t{h.nWidth} * h.nHeight * bytesPerPixel);
  if (!buffer) throw ISException(IS_ERR_MEMORY);
  return buffer;
}

// Checks what the decoders need before anything is allocated: a mode and
// depth they handle, enough stored channels, and 8-bit samples for run-length
// channel data.
uint32_t CheckDecodable(const CPsdHeader& h, bool runLength, bool rgbOutput) {
  const uint32_t planes = PlanesFor(h, rgbOutput);
  if (planes == 0 || h.nChannels < planes) throw ISException(IS_ERR_PSDFORMAT);
  if (runLength && h.nDepth == 16) throw ISException(IS_ERR_PSDFORMAT);
  return planes;
}

// Refuses a frame the rest of the file cannot hold: raw data needs its first
// row; run-length data its row-length table and, for every row of every plane
// decoded, a packet of two bytes per 128 samples.
void RequireImageData(CISIO& io, const CPsdHeader& h, bool runLength, uint32_t planes) {
  const uint64_t samples = h.nMode == kModeBitmap ? (uint64_t{h.nWidth} + 7) / 8 : h.nWidth;
  if (!runLength) {
    RequireFrameData(io, samples * (h.nDepth == 16 ? 2 : 1));
    return;
  }
  RequireFrameData(io, uint64_t{h.nChannels} * h.nHeight * 2);
  RequireEncodedFrame(io, uint64_t{planes} * h.nHeight * (2 + (samples + 127) / 128 * 2));
}

uint8_t* Read8(CISOperation& op, CISIO& io, ISPalEntry* palette, int32_t* width, int32_t* height) {
  const CPsdHeader h = ReadHeader(io);
  if (!palette) throw ISException(IS_ERR_BADPARAM);
  std::memset(palette, 0, sizeof(ISPalEntry) * IS_PALETTE_SIZE);
  if (h.nDepth != 1 && h.nDepth != 8 && h.nDepth != 16) throw ISException(IS_ERR_PSDFORMAT);
  const bool runLength = ReadToImageData(io, h, palette);
  RequireImageData(io, h, runLength, CheckDecodable(h, runLength, false));
  CISBuffer buffer = AllocImage(h, 1);
  CPsdDecoded decoded;
  if (h.nMode == kModeBitmap) {
    palette[0] = ISPalEntry{255, 255, 255, 255};
    palette[1] = ISPalEntry{0, 0, 0, 0};
    decoded = DecodeBitmap(io, h, runLength, buffer.Get());
  } else {
    decoded = DecodePlanes(io, h, runLength, 1, buffer.Get(), 1);
  }
  if (!decoded.bComplete) op.SetError(IS_ERR_FILEREAD);
  *width = static_cast<int32_t>(h.nWidth);
  *height = static_cast<int32_t>(h.nHeight);
  return buffer.Release();
}

// Turns one byte per pixel (palette indices) at the start of the buffer into
// red, green, blue, working from the end so nothing is overwritten unread.
void ExpandThroughPalette(uint8_t* data, uint64_t pixels, const ISPalEntry* palette) {
  for (uint64_t i = pixels; i-- > 0;) {
    const ISPalEntry& e = palette[data[i]];
    uint8_t* p = data + i * 3;
    p[0] = e.red, p[1] = e.green, p[2] = e.blue;
  }
}

// C, M, Y, K (255 = no ink) to red, green, blue, packed to 3 bytes per pixel.
void CmykToRgb(uint8_t* data, uint64_t pixels) {
  for (uint64_t i = 0; i < pixels; ++i) {
    const uint8_t* s = data + i * 4;
    const uint32_t k = s[3];
    const auto r = static_cast<uint8_t>(s[0] * k / 255), g = static_cast<uint8_t>(s[1] * k / 255),
               b = static_cast<uint8_t>(s[2] * k / 255);
    uint8_t* d = data + i * 3;
    d[0] = r, d[1] = g, d[2] = b;
  }
  // What is left of the moved pixels' old bytes is cleared to the 0 beyond them.
  std::fill(data + pixels * 3, data + pixels * 4, uint8_t{0});
}

// What the 24-bit reads know before the image data: the header, the palette
// of single-channel modes, the compression and the planes decoded; the frame
// admitted as the whole read admits it.
struct CPsdRgbSetup {
  CPsdHeader h;
  ISPalEntry palette[IS_PALETTE_SIZE] = {};
  bool bRunLength = false;
  uint32_t nPlanes = 0;
};

void ReadRgbSetup(CISIO& io, CPsdRgbSetup& s) {
  s.h = ReadHeader(io);
  const CPsdHeader& h = s.h;
  if (h.nDepth != 1 && h.nDepth != 8 && h.nDepth != 16) throw ISException(IS_ERR_PSDFORMAT);
  s.bRunLength = ReadToImageData(io, h, s.palette);
  s.nPlanes = CheckDecodable(h, s.bRunLength, true);
  RequireImageData(io, h, s.bRunLength, s.nPlanes);
  AdmitImage(h, h.nMode == kModeCmyk ? 4 : 3);
}

uint8_t* ReadRgb(CISOperation& op, CISIO& io, int32_t* width, int32_t* height) {
  CPsdRgbSetup s;
  ReadRgbSetup(io, s);
  const CPsdHeader& h = s.h;
  ISPalEntry* palette = s.palette;
  const bool runLength = s.bRunLength;
  const uint32_t planes = s.nPlanes;
  CISBuffer buffer = AllocImage(h, h.nMode == kModeCmyk ? 4 : 3);
  // Only the rows a decode has written to are converted: the rest stay 0.
  CPsdDecoded decoded;
  if (h.nMode == kModeRgb || h.nMode == kModeCmyk) {
    decoded = DecodePlanes(io, h, runLength, planes, buffer.Get(), planes);
    if (h.nMode == kModeCmyk) CmykToRgb(buffer.Get(), decoded.nRows * h.nWidth);
  } else if (h.nMode == kModeBitmap) {
    decoded = DecodeBitmap(io, h, runLength, buffer.Get());
    const ISPalEntry blackOnWhite[2] = {{255, 255, 255, 0}, {0, 0, 0, 0}};
    std::copy_n(blackOnWhite, 2, palette);
    ExpandThroughPalette(buffer.Get(), decoded.nRows * h.nWidth, palette);
  } else {
    decoded = DecodePlanes(io, h, runLength, 1, buffer.Get(), 1);
    ExpandThroughPalette(buffer.Get(), decoded.nRows * h.nWidth, palette);
  }
  if (!decoded.bComplete) op.SetError(IS_ERR_FILEREAD);
  *width = static_cast<int32_t>(h.nWidth);
  *height = static_cast<int32_t>(h.nHeight);
  return buffer.Release();
}

// ---- Row by row ----------------------------------------------------------------

// Where each stored row of the first planes channels lies: raw rows follow
// one another at a fixed length; run-length rows at the lengths of the
// byte-count table. Error 3 when the file cannot hold every row.
class CPsdRowIndex {
 public:
  CPsdRowIndex(CISIO& io, const CPsdHeader& h, bool runLength, uint64_t rawBytes) : m_nHeight(h.nHeight) {
    const int64_t tableAt = io.Tell();
    const uint64_t entries = uint64_t{h.nChannels} * h.nHeight;
    std::vector<uint8_t> table;
    if (runLength) {
      table.resize(static_cast<size_t>(entries * 2));
      if (tableAt < 0 || table.size() > Remaining(io) || !io.ReadExactly(table.data(), table.size()))
        throw ISException(IS_ERR_FILEREAD);
    }
    uint64_t at = static_cast<uint64_t>(tableAt) + table.size();
    m_arrRows.reserve(static_cast<size_t>(entries));
    for (uint64_t i = 0; i < entries; ++i) {
      const uint64_t bytes = runLength ? LoadU16BE(table.data() + 2 * i) : rawBytes;
      m_arrRows.push_back({at, bytes});
      at += bytes;
    }
    const int64_t size = io.Size();
    if (size < 0 || at > static_cast<uint64_t>(size)) throw ISException(IS_ERR_FILEREAD);
  }

  // The stored bytes of row r of channel c.
  void Read(CISIO& io, uint32_t c, uint64_t r, std::vector<uint8_t>& out) const {
    const CRow& row = m_arrRows[static_cast<size_t>(uint64_t{c} * m_nHeight + r)];
    out.resize(static_cast<size_t>(row.nBytes));
    if (!io.Seek(static_cast<int64_t>(row.nAt), 0) || !io.ReadExactly(out.data(), out.size()))
      throw ISException(IS_ERR_FILEREAD);
  }

 private:
  struct CRow {
    uint64_t nAt;
    uint64_t nBytes;
  };
  uint64_t m_nHeight;
  std::vector<CRow> m_arrRows;
};

// The 24-bit read handed over row by row: row r of every decoded channel,
// then its pixels as the whole read converts them. Unlike the whole read,
// which keeps what a damaged file gives, a row that cannot be read or
// decoded ends the read with error 3.
void ReadRgbRows(CISOperation& op, CISIO& io, CRowHandover& rows) {
  CPsdRgbSetup s;
  ReadRgbSetup(io, s);
  const CPsdHeader& h = s.h;
  ISPalEntry* palette = s.palette;
  const bool runLength = s.bRunLength;
  const uint32_t planes = s.nPlanes;
  const bool bitmap = h.nMode == kModeBitmap;
  const uint64_t width = h.nWidth;
  const uint64_t packed = (width + 7) / 8;
  const uint64_t sampleBytes = h.nDepth == 16 ? 2 : 1;
  const CPsdRowIndex index(io, h, runLength, bitmap ? packed : width * sampleBytes);
  if (bitmap) {
    palette[0] = ISPalEntry{255, 255, 255, 0};
    palette[1] = ISPalEntry{0, 0, 0, 0};
  }

  rows.Begin(h.nWidth, h.nHeight);
  std::vector<uint8_t> stored;
  std::vector<uint8_t> samples(static_cast<size_t>(width * planes));
  std::vector<uint8_t> bits(static_cast<size_t>(packed));
  for (uint64_t r = 0; r < h.nHeight; ++r) {
    for (uint32_t c = 0; c < planes; ++c) {
      index.Read(io, c, r, stored);
      uint8_t* target = samples.data() + c;
      if (bitmap) {
        if (runLength) {
          std::fill(bits.begin(), bits.end(), uint8_t{0});
          if (!UnpackRow(stored, bits.data(), width, 1, packed)) throw ISException(IS_ERR_FILEREAD);
        } else {
          bits = stored;
        }
        for (uint64_t x = 0; x < width; ++x) samples[x] = (bits[static_cast<size_t>(x >> 3)] >> (7 - (x & 7))) & 1;
      } else if (runLength) {
        if (!UnpackRow(stored, target, width, planes, width)) throw ISException(IS_ERR_FILEREAD);
      } else if (sampleBytes == 2) {
        for (uint64_t i = 0; i < width; ++i)
          target[i * planes] = static_cast<uint8_t>(uint32_t{LoadU16BE(stored.data() + 2 * i)} * 255 / 65535);
      } else {
        for (uint64_t i = 0; i < width; ++i) target[i * planes] = stored[static_cast<size_t>(i)];
      }
    }
    uint8_t* out = rows.Row();
    if (h.nMode == kModeRgb) {
      std::copy(samples.begin(), samples.end(), out);
    } else if (h.nMode == kModeCmyk) {
      CmykToRgb(samples.data(), width);
      std::copy_n(samples.begin(), width * 3, out);
    } else {
      for (uint64_t x = 0; x < width; ++x) {
        const ISPalEntry& e = palette[samples[static_cast<size_t>(x)]];
        out[x * 3] = e.red, out[x * 3 + 1] = e.green, out[x * 3 + 2] = e.blue;
      }
    }
    rows.Deliver();
    if (!op.Progress(static_cast<int32_t>(r), static_cast<int32_t>(h.nHeight))) return;
  }
}

}  // namespace
}  // namespace qv::codec

using qv::codec::CISIO;
using qv::codec::CISOperation;

int32_t ISGetPSDDims(HISSRC source, int32_t* width, int32_t* height, int32_t* colourMode, ISResolution* resolution) {
  CISOperation op;
  if (!op.Ok()) return 0;
  if (!width || !height || !colourMode) return op.Fail(IS_ERR_BADPARAM, 0);
  CISIO io;
  if (!op.Attach(source, io)) return 0;
  return op.Run<int32_t>(0, [&] { return qv::codec::GetDims(op, io, width, height, colourMode, resolution); });
}

int32_t ISGetPSDPalette(HISSRC source, int32_t* count, ISPalEntry* palette) {
  CISOperation op;
  if (!op.Ok()) return 0;
  if (!count) return op.Fail(IS_ERR_BADPARAM, 0);
  CISIO io;
  if (!op.Attach(source, io)) return 0;
  return op.Run<int32_t>(0, [&] { return qv::codec::GetPalette(io, count, palette); });
}

uint8_t* ISReadPSD(HISSRC source, int32_t* width, int32_t* height, int32_t bitsPerPixel, ISPalEntry* palette,
                   uint32_t /*flags*/) {
  CISOperation op;
  if (!op.Ok()) return nullptr;
  if (!width || !height || (bitsPerPixel != 8 && bitsPerPixel != 24 && bitsPerPixel != 32))
    return op.Fail<uint8_t*>(IS_ERR_BADPARAM, nullptr);
  CISIO io;
  if (!op.Attach(source, io)) return nullptr;
  return op.Run<uint8_t*>(nullptr, [&] {
    return bitsPerPixel == 8 ? qv::codec::Read8(op, io, palette, width, height)
                             : qv::codec::ReadRgb(op, io, width, height);
  });
}

int32_t ISReadPSDRows(HISSRC source, ISRowReceiver* receiver) {
  return qv::codec::RunRowRead(source, receiver, [](CISOperation& op, CISIO& io, qv::codec::CRowHandover& rows) {
    qv::codec::ReadRgbRows(op, io, rows);
    return 1;
  });
}
