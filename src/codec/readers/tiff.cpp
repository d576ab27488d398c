// TIFF reader: libtiff over the library's source through client procedures,
// with silent error handlers; a 1-bit and an 8-bit reader of our own with their
// palettes, 24- and 32-bit reads through libtiff's RGBA interface (RGB pages of
// fewer than 8 bits per sample, which it cannot take, through a reader of our
// own), and one orientation post-processing for all of them.
#include "codec/tiff.h"

#include <tiffio.h>

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "codec/codec_internal.h"
#include "codec/ops/ops.h"

namespace qv::codec {
namespace {

// ---- client procedures over the library's I/O object ----

CISIO& IoOf(thandle_t handle) { return *static_cast<CISIO*>(handle); }

tmsize_t ReadProc(thandle_t handle, void* buffer, tmsize_t size) {
  if (size <= 0) return 0;
  return static_cast<tmsize_t>(IoOf(handle).Read(buffer, static_cast<size_t>(size)));
}

// Sources are opened for reading: nothing is ever written.
tmsize_t WriteProc(thandle_t, void*, tmsize_t) { return 0; }

toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
  const int origin = whence == SEEK_CUR ? 1 : whence == SEEK_END ? 2 : 0;
  CISIO& io = IoOf(handle);
  if (!io.Seek(static_cast<int64_t>(offset), origin)) return 0;
  const int64_t position = io.Tell();
  return position < 0 ? 0 : static_cast<toff_t>(position);
}

// The caller owns the source: closing the TIFF leaves it open.
int CloseProc(thandle_t) { return 1; }

toff_t SizeProc(thandle_t handle) {
  const int64_t size = IoOf(handle).Size();
  return size < 0 ? 0 : static_cast<toff_t>(size);
}

int MapProc(thandle_t, void**, toff_t*) { return 0; }
void UnmapProc(thandle_t, void*, toff_t) {}

int SilentHandler(TIFF*, void*, const char*, const char*, va_list) { return 1; }

// Tags registered with every opened file.
char kXmpName[] = "XMP Data";
char kExifName[] = "EXIF Offset";
char kAnnotationsName[] = "Annotations";
const TIFFFieldInfo kExtraTags[] = {
    {700, TIFF_VARIABLE, TIFF_VARIABLE, TIFF_BYTE, FIELD_CUSTOM, 1, 1, kXmpName},
    {34665, 1, 1, TIFF_LONG, FIELD_CUSTOM, 1, 0, kExifName},
    {32932, TIFF_VARIABLE, TIFF_VARIABLE, TIFF_BYTE, FIELD_CUSTOM, 1, 1, kAnnotationsName},
};

// A libtiff handle over a source, positioned on one page; closed with the object.
class CTiffFile {
 public:
  CTiffFile(CISIO& io, int32_t page) {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (!options) throw ISException(IS_ERR_MEMORY);
    TIFFOpenOptionsSetErrorHandlerExtR(options, SilentHandler, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, SilentHandler, nullptr);
    // libtiff's own buffers obey the same ceiling as the library's.
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, static_cast<tmsize_t>(kMaxBufferBytes));
    m_tif = TIFFClientOpenExt(io.Path().c_str(), "r", &io, ReadProc, WriteProc, SeekProc, CloseProc, SizeProc, MapProc,
                              UnmapProc, options);
    TIFFOpenOptionsFree(options);
    if (!m_tif) throw ISException(IS_ERR_TIFF);
    TIFFMergeFieldInfo(m_tif, kExtraTags, sizeof kExtraTags / sizeof kExtraTags[0]);
    if (page < 0 || !TIFFSetDirectory(m_tif, static_cast<tdir_t>(page))) {
      TIFFClose(m_tif);
      throw ISException(IS_ERR_BADPARAM);
    }
  }
  ~CTiffFile() { TIFFClose(m_tif); }
  CTiffFile(const CTiffFile&) = delete;
  CTiffFile& operator=(const CTiffFile&) = delete;

  TIFF* Get() const { return m_tif; }

 private:
  TIFF* m_tif = nullptr;
};

// A tag's value, or fallback when the page does not have it.
template <class T>
T Field(TIFF* tif, uint32_t tag, T fallback = T{}) {
  T value = fallback;
  return TIFFGetField(tif, tag, &value) ? value : fallback;
}

// A tag's value, or the value libtiff holds for the page when it is absent.
template <class T>
T Defaulted(TIFF* tif, uint32_t tag) {
  T value{};
  TIFFGetFieldDefaulted(tif, tag, &value);
  return value;
}

int32_t TruncateResolution(float value) {
  if (!(value > -2147483648.0f && value < 2147483648.0f)) return 0;  // also NaN
  return static_cast<int32_t>(value);
}

// Width and height of the page; sizes the library cannot hand out are refused.
void PageSize(TIFF* tif, uint32_t& width, uint32_t& height) {
  width = Field<uint32_t>(tif, TIFFTAG_IMAGEWIDTH);
  height = Field<uint32_t>(tif, TIFFTAG_IMAGELENGTH);
  if (width == 0 || height == 0 || width > INT32_MAX || height > INT32_MAX) throw ISException(IS_ERR_MEMORY);
}

// ---- orientation post-processing ----

// A picture in memory during post-processing: rows x cols pixels of `bits`
// bits (1, 8, 24 or 32), rows packed, inside a block of `capacity` bytes.
struct CRaster {
  uint8_t* pData;
  uint64_t nCapacity;
  uint32_t nRows;
  uint32_t nCols;
  int nBits;

  uint64_t Stride() const { return nBits == 1 ? (uint64_t{nCols} + 7) / 8 : uint64_t{nCols} * (nBits / 8); }
  uint8_t* Row(uint32_t y) const { return pData + y * Stride(); }
};

bool GetBit(const uint8_t* row, uint64_t x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }
void SetBit(uint8_t* row, uint64_t x, bool on) {
  const uint8_t mask = static_cast<uint8_t>(0x80u >> (x & 7));
  row[x >> 3] = on ? static_cast<uint8_t>(row[x >> 3] | mask) : static_cast<uint8_t>(row[x >> 3] & ~mask);
}

// Rotation A sends memory row y, column x to row x, column rows - 1 - y;
// rotation B to row cols - 1 - x, column y. Both exchange width and height.
void Rotate(CRaster& r, bool rotationA) {
  CISBuffer temp(r.nCapacity);
  if (!temp) throw ISException(IS_ERR_MEMORY);
  CRaster out{temp.Get(), r.nCapacity, r.nCols, r.nRows, r.nBits};
  const uint64_t bytes = static_cast<uint64_t>(r.nBits / 8);
  for (uint32_t y = 0; y < r.nRows; ++y) {
    const uint8_t* in = r.Row(y);
    for (uint32_t x = 0; x < r.nCols; ++x) {
      const uint32_t toRow = rotationA ? x : r.nCols - 1 - x;
      const uint32_t toCol = rotationA ? r.nRows - 1 - y : y;
      if (r.nBits == 1) {
        SetBit(out.Row(toRow), toCol, GetBit(in, x));
      } else {
        std::memcpy(out.Row(toRow) + toCol * bytes, in + x * bytes, bytes);
      }
    }
  }
  std::memcpy(r.pData, temp.Get(), r.nCapacity);
  r.nRows = out.nRows;
  r.nCols = out.nCols;
}

void ReverseRows(CRaster& r) {
  const uint64_t stride = r.Stride();
  for (uint32_t top = 0, bottom = r.nRows - 1; top < bottom; ++top, --bottom)
    std::swap_ranges(r.Row(top), r.Row(top) + stride, r.Row(bottom));
}

void MirrorRows(CRaster& r) {
  if (r.nBits != 1) {
    const uint64_t bytes = static_cast<uint64_t>(r.nBits / 8);
    for (uint32_t y = 0; y < r.nRows; ++y) {
      uint8_t* row = r.Row(y);
      for (uint32_t left = 0, right = r.nCols - 1; left < right; ++left, --right)
        std::swap_ranges(row + left * bytes, row + (left + 1) * bytes, row + right * bytes);
    }
    return;
  }
  std::vector<uint8_t> copy(r.Stride());
  for (uint32_t y = 0; y < r.nRows; ++y) {
    uint8_t* row = r.Row(y);
    std::copy_n(row, copy.size(), copy.begin());
    for (uint32_t x = 0; x < r.nCols; ++x) SetBit(row, x, GetBit(copy.data(), r.nCols - 1 - x));
  }
}

// The buffer holds the page's stored rows bottom-up (last stored row first);
// this brings it upright as the Orientation tag says (0 or unknown: as 1).
void ApplyOrientation(CRaster& r, uint16_t orientation) {
  int rotation = 0;  // 1 = A, 2 = B
  bool reverse = true;
  bool mirror = false;
  switch (orientation) {
    case 2:
      mirror = true;
      break;
    case 3:
      reverse = false, mirror = true;
      break;
    case 4:
      reverse = false;
      break;
    case 5:
      rotation = 1, reverse = false;
      break;
    case 6:
      rotation = 2;
      break;
    case 7:
      rotation = 2, reverse = false;
      break;
    case 8:
      rotation = 2, reverse = false, mirror = true;
      break;
    default:
      break;
  }
  if (rotation) Rotate(r, rotation == 1);
  if (reverse) ReverseRows(r);
  if (mirror) MirrorRows(r);
}

uint16_t OrientationOf(TIFF* tif, uint32_t flags) {
  return (flags & IS_TIFF_IGNORE_ORIENTATION) ? 1 : Field<uint16_t>(tif, TIFFTAG_ORIENTATION, 0);
}

// ---- RGB pages with fewer than 8 bits per sample ----
// libtiff's RGBA interface takes RGB samples of 8 and 16 bits only, so these
// pages are unpacked here: contiguous or planar, strips or tiles. Each sample
// is scaled to 8 bits (2 bits: v x 85, 4 bits: v x 17).

struct CLowBitRgb {
  uint16_t nBits;      // bits per sample, 1 to 7
  uint16_t nSamples;   // samples per pixel in the file
  uint16_t nChannels;  // samples taken from each pixel: red, green, blue(, alpha)
  bool bPlanar;        // each sample in a plane of its own
};

bool IsLowBitRgb(TIFF* tif) {
  const uint16_t bits = Defaulted<uint16_t>(tif, TIFFTAG_BITSPERSAMPLE);
  return Field<uint16_t>(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE) == PHOTOMETRIC_RGB && bits >= 1 && bits < 8;
}

// The layout of such a page; one without three colour samples is refused with
// refusal. channels: 3, or 4 to take alpha too where the page has it.
CLowBitRgb LowBitRgbLayout(TIFF* tif, uint16_t channels, int32_t refusal) {
  CLowBitRgb f{Defaulted<uint16_t>(tif, TIFFTAG_BITSPERSAMPLE), Defaulted<uint16_t>(tif, TIFFTAG_SAMPLESPERPIXEL), 3,
               Defaulted<uint16_t>(tif, TIFFTAG_PLANARCONFIG) == PLANARCONFIG_SEPARATE};
  if (f.nSamples < 3) throw ISException(refusal);
  uint16_t extraCount = 0;
  uint16_t* extraTypes = nullptr;
  TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extraTypes);
  const bool alpha = f.nSamples > 3 && extraCount > 0 && extraTypes &&
                     (extraTypes[0] == EXTRASAMPLE_ASSOCALPHA || extraTypes[0] == EXTRASAMPLE_UNASSALPHA);
  if (channels == 4 && alpha) f.nChannels = 4;
  return f;
}

// A sample of `bits` bits (1 to 7) at sample index i of a packed row; it
// reaches into the next byte only when it ends there.
uint8_t PackedSample(const uint8_t* row, uint64_t i, uint16_t bits) {
  const uint64_t bit = i * bits;
  const uint32_t shift = static_cast<uint32_t>(bit & 7);
  uint32_t window = uint32_t{row[bit >> 3]} << 8;
  if (shift + bits > 8) window |= row[(bit >> 3) + 1];
  return static_cast<uint8_t>((window >> (16 - shift - bits)) & ((1u << bits) - 1));
}

uint8_t ScaleSample(uint32_t v, uint16_t bits) {
  const uint32_t max = (1u << bits) - 1;
  return static_cast<uint8_t>((v * 255 + max / 2) / max);
}

// Reads the page a band of rows at a time (a strip, or a row of tiles) and
// hands each stored row on, top first, as put(row index, samples): nChannels
// unscaled samples a pixel. Progress is reported after each band.
template <class Put>
void ReadLowBitRgbRows(CISOperation& op, TIFF* tif, uint32_t w, uint32_t h, const CLowBitRgb& f, Put&& put) {
  const bool tiled = TIFFIsTiled(tif);
  const uint32_t across = tiled ? Field<uint32_t>(tif, TIFFTAG_TILEWIDTH) : w;
  const uint32_t down = tiled ? Field<uint32_t>(tif, TIFFTAG_TILELENGTH)
                              : std::max<uint32_t>(1, Defaulted<uint32_t>(tif, TIFFTAG_ROWSPERSTRIP));
  const tmsize_t chunkSize = tiled ? TIFFTileSize(tif) : TIFFStripSize(tif);
  const tmsize_t rowSize = tiled ? TIFFTileRowSize(tif) : TIFFScanlineSize(tif);
  const uint64_t perPixel = f.bPlanar ? 1 : f.nSamples;
  if (across == 0 || down == 0 || rowSize <= 0 ||
      static_cast<uint64_t>(rowSize) * 8 < uint64_t{across} * perPixel * f.nBits)
    throw ISException(IS_ERR_TIFF);
  const uint32_t bandRows = std::min(down, h);
  CISBuffer chunk(chunkSize > 0 ? static_cast<uint64_t>(chunkSize) : 0);
  CISBuffer band(uint64_t{w} * bandRows * f.nChannels);
  if (!chunk || !band) throw ISException(IS_ERR_MEMORY);
  const uint16_t planes = f.bPlanar ? f.nChannels : 1;
  for (uint64_t top = 0; top < h; top += down) {
    const uint32_t rows = static_cast<uint32_t>(std::min<uint64_t>(down, h - top));
    const uint64_t wanted = uint64_t{rows} * static_cast<uint64_t>(rowSize);
    for (uint64_t left = 0; left < w; left += across) {
      const uint64_t cols = std::min<uint64_t>(across, w - left);
      for (uint16_t plane = 0; plane < planes; ++plane) {
        const tmsize_t got =
            tiled ? TIFFReadTile(tif, chunk.Get(), static_cast<uint32_t>(left), static_cast<uint32_t>(top), 0, plane)
                  : TIFFReadEncodedStrip(tif, TIFFComputeStrip(tif, static_cast<uint32_t>(top), plane), chunk.Get(),
                                         static_cast<tmsize_t>(std::min<uint64_t>(wanted, chunk.Size())));
        if (got < 0 || static_cast<uint64_t>(got) < wanted) throw ISException(IS_ERR_TIFF);
        const uint16_t first = f.bPlanar ? plane : 0, last = f.bPlanar ? plane + 1 : f.nChannels;
        for (uint32_t i = 0; i < rows; ++i) {
          const uint8_t* in = chunk.Get() + i * static_cast<uint64_t>(rowSize);
          uint8_t* out = band.Get() + (uint64_t{i} * w + left) * f.nChannels;
          for (uint64_t x = 0; x < cols; ++x) {
            for (uint16_t c = first; c < last; ++c)
              out[x * f.nChannels + c] = PackedSample(in, x * perPixel + (f.bPlanar ? 0 : c), f.nBits);
          }
        }
      }
    }
    for (uint32_t i = 0; i < rows; ++i) put(static_cast<uint32_t>(top) + i, band.Get() + uint64_t{i} * w * f.nChannels);
    if (!op.Progress(static_cast<int32_t>(top), static_cast<int32_t>(h))) throw ISException(IS_ERR_CANCELLED);
  }
}

// One row of samples as 24-bit or 32-bit pixels (alpha 255 where the page has none).
void ScaleLowBitRow(const uint8_t* samples, uint32_t w, const CLowBitRgb& f, int32_t depth, uint8_t* out) {
  const uint64_t bytes = static_cast<uint64_t>(depth / 8);
  for (uint64_t x = 0; x < w; ++x) {
    for (uint16_t c = 0; c < 3; ++c) out[x * bytes + c] = ScaleSample(samples[x * f.nChannels + c], f.nBits);
    if (depth == 32) out[x * 4 + 3] = f.nChannels == 4 ? ScaleSample(samples[x * 4 + 3], f.nBits) : 255;
  }
}

// At 24 and 32 bits: the colours as stored; alpha is dropped at 24 bits, not composed.
uint8_t* ReadLowBitRgb(CISOperation& op, TIFF* tif, int32_t depth, uint32_t flags, int32_t* width, int32_t* height) {
  const CLowBitRgb f = LowBitRgbLayout(tif, depth == 32 ? 4 : 3, IS_ERR_TIFF);
  uint32_t w = 0, h = 0;
  PageSize(tif, w, h);
  const uint64_t stride = uint64_t{w} * static_cast<uint64_t>(depth / 8);
  CISBuffer buffer(stride * h);
  if (!buffer) throw ISException(IS_ERR_MEMORY);
  ReadLowBitRgbRows(op, tif, w, h, f, [&](uint32_t row, const uint8_t* samples) {
    ScaleLowBitRow(samples, w, f, depth, buffer.Get() + (h - 1 - row) * stride);
  });
  CRaster r{buffer.Get(), buffer.Size(), h, w, depth};
  ApplyOrientation(r, OrientationOf(tif, flags));
  *width = static_cast<int32_t>(r.nCols);
  *height = static_cast<int32_t>(r.nRows);
  return buffer.Release();
}

// At 8 bits, where every colour has an entry of its own (1 and 2 bits per
// sample: 8 or 64 colours): index = red, green, blue bits from the top.
uint8_t* ReadLowBitRgbIndexed(CISOperation& op, TIFF* tif, ISPalEntry* palette, uint32_t flags, int32_t* width,
                              int32_t* height) {
  const CLowBitRgb f = LowBitRgbLayout(tif, 3, IS_ERR_DEPTH);
  if (f.nBits * 3 > 8) throw ISException(IS_ERR_DEPTH);
  uint32_t w = 0, h = 0;
  PageSize(tif, w, h);
  CISBuffer buffer(uint64_t{w} * h);
  if (!buffer) throw ISException(IS_ERR_MEMORY);
  const uint16_t b = f.nBits;
  ReadLowBitRgbRows(op, tif, w, h, f, [&](uint32_t row, const uint8_t* samples) {
    uint8_t* out = buffer.Get() + uint64_t{h - 1 - row} * w;
    for (uint64_t x = 0; x < w; ++x)
      out[x] = static_cast<uint8_t>(samples[x * 3] << (2 * b) | samples[x * 3 + 1] << b | samples[x * 3 + 2]);
  });
  CRaster r{buffer.Get(), buffer.Size(), h, w, 8};
  ApplyOrientation(r, OrientationOf(tif, flags));
  std::fill_n(palette, IS_PALETTE_SIZE, ISPalEntry{});
  const uint32_t mask = (1u << b) - 1;
  for (uint32_t i = 0; i < (1u << (3 * b)); ++i) {
    palette[i] = ISPalEntry{ScaleSample(i & mask, b), ScaleSample((i >> b) & mask, b), ScaleSample(i >> (2 * b), b), 0};
  }
  *width = static_cast<int32_t>(r.nCols);
  *height = static_cast<int32_t>(r.nRows);
  return buffer.Release();
}

// ---- 24 and 32 bits: libtiff's RGBA interface ----

// The orientation to ask of libtiff so that it only reverses the stored row
// order (the layout the post-processing starts from): libtiff flips rows and
// columns by the difference between the page's orientation and the one asked.
int StoredRowsReversed(uint16_t fileOrientation) {
  switch (fileOrientation) {
    case ORIENTATION_TOPRIGHT:
    case ORIENTATION_RIGHTTOP:
      return ORIENTATION_BOTRIGHT;
    case ORIENTATION_BOTRIGHT:
    case ORIENTATION_RIGHTBOT:
      return ORIENTATION_TOPRIGHT;
    case ORIENTATION_BOTLEFT:
    case ORIENTATION_LEFTBOT:
      return ORIENTATION_TOPLEFT;
    default:
      return ORIENTATION_BOTLEFT;
  }
}

// libtiff packs a pixel as A, B, G, R from the most significant byte down;
// the buffer wants the bytes red, green, blue(, alpha) on every host.
void PackRgba(uint8_t* data, uint64_t pixels, int depth) {
  for (uint64_t i = 0; i < pixels; ++i) {
    uint32_t v;
    std::memcpy(&v, data + i * 4, 4);
    uint8_t* out = data + i * (depth / 8);
    out[0] = static_cast<uint8_t>(TIFFGetR(v));
    out[1] = static_cast<uint8_t>(TIFFGetG(v));
    out[2] = static_cast<uint8_t>(TIFFGetB(v));
    if (depth == 32) out[3] = static_cast<uint8_t>(TIFFGetA(v));
  }
}

// Progress: libtiff offers no hook inside its RGBA reading, so these reads
// report none (the show sets no callback); RGB pages of fewer than 8 bits per
// sample report after each strip or row of tiles.
uint8_t* ReadRgba(CISOperation& op, TIFF* tif, int32_t depth, uint32_t flags, int32_t* width, int32_t* height) {
  if (IsLowBitRgb(tif)) return ReadLowBitRgb(op, tif, depth, flags, width, height);
  char message[1024];
  if (!TIFFRGBAImageOK(tif, message)) throw ISException(IS_ERR_TIFF, message);
  uint32_t w = 0, h = 0;
  PageSize(tif, w, h);
  const uint64_t pixels = uint64_t{w} * h;
  CISBuffer buffer(pixels * 4);
  if (!buffer) throw ISException(IS_ERR_MEMORY);
  const int asked = StoredRowsReversed(Defaulted<uint16_t>(tif, TIFFTAG_ORIENTATION));
  if (!TIFFReadRGBAImageOriented(tif, w, h, reinterpret_cast<uint32_t*>(buffer.Get()), asked, 1))
    throw ISException(IS_ERR_TIFF);
  if (depth == 24 || std::endian::native != std::endian::little) PackRgba(buffer.Get(), pixels, depth);
  // A 24-bit picture keeps the whole block; its pixels fill the front.
  CRaster r{buffer.Get(), buffer.Size(), h, w, depth};
  ApplyOrientation(r, OrientationOf(tif, flags));
  *width = static_cast<int32_t>(r.nCols);
  *height = static_cast<int32_t>(r.nRows);
  return buffer.Release();
}

// The 24-bit read handed over row by row. Upright strip pages are decoded a
// strip at a time, asked of libtiff top row first (and upright RGB pages of
// fewer than 8 bits per sample a strip or row of tiles at a time); other
// layouts (tiles, or an orientation that turns or mirrors the picture) are
// read whole first. Progress is reported after each strip.
void ReadRgbaRows(CISOperation& op, TIFF* tif, CRowHandover& rows) {
  const uint16_t orientation = OrientationOf(tif, 0);
  const bool upright = orientation == 0 || orientation == ORIENTATION_TOPLEFT;
  if (upright && IsLowBitRgb(tif)) {
    const CLowBitRgb f = LowBitRgbLayout(tif, 3, IS_ERR_TIFF);
    uint32_t w = 0, h = 0;
    PageSize(tif, w, h);
    // The whole-picture read would take 3 bytes a pixel: refused alike.
    if (uint64_t{w} * h * 3 > kMaxBufferBytes) throw ISException(IS_ERR_MEMORY);
    rows.Begin(w, h);
    ReadLowBitRgbRows(op, tif, w, h, f, [&](uint32_t, const uint8_t* samples) {
      ScaleLowBitRow(samples, w, f, 24, rows.Row());
      rows.Deliver();
    });
    return;
  }
  char message[1024];
  if (!IsLowBitRgb(tif) && !TIFFRGBAImageOK(tif, message)) throw ISException(IS_ERR_TIFF, message);
  uint32_t w = 0, h = 0;
  PageSize(tif, w, h);
  if (TIFFIsTiled(tif) || !upright) {
    int32_t width = 0, height = 0;
    CISBuffer whole;
    {
      uint8_t* bits = ReadRgba(op, tif, 24, 0, &width, &height);
      whole = CISBuffer::Adopt(bits, uint64_t(width) * uint64_t(height) * 3);
    }
    rows.Begin(uint32_t(width), uint32_t(height));
    for (int32_t y = 0; y < height; ++y) rows.Deliver(whole.Get() + uint64_t(y) * uint64_t(width) * 3);
    return;
  }
  // The whole-picture read would take 4 bytes a pixel: refused alike.
  if (uint64_t{w} * h * 4 > kMaxBufferBytes) throw ISException(IS_ERR_MEMORY);
  const uint32_t band = std::clamp<uint32_t>(Defaulted<uint32_t>(tif, TIFFTAG_ROWSPERSTRIP), 1, h);
  CISBuffer raster(uint64_t{w} * band * 4);
  if (!raster) throw ISException(IS_ERR_MEMORY);
  TIFFRGBAImage image{};
  if (!TIFFRGBAImageBegin(&image, tif, 1, message)) throw ISException(IS_ERR_TIFF, message);
  struct CEnd {
    TIFFRGBAImage& image;
    ~CEnd() { TIFFRGBAImageEnd(&image); }
  } end{image};
  image.req_orientation = ORIENTATION_TOPLEFT;
  rows.Begin(w, h);
  for (uint32_t top = 0; top < h; top += band) {
    const uint32_t count = std::min(band, h - top);
    image.row_offset = static_cast<int>(top);
    image.col_offset = 0;
    if (!TIFFRGBAImageGet(&image, reinterpret_cast<uint32_t*>(raster.Get()), w, count)) throw ISException(IS_ERR_TIFF);
    PackRgba(raster.Get(), uint64_t{w} * count, 24);
    for (uint32_t i = 0; i < count; ++i) rows.Deliver(raster.Get() + uint64_t{i} * w * 3);
    if (!op.Progress(static_cast<int32_t>(top), static_cast<int32_t>(h))) throw ISException(IS_ERR_CANCELLED);
  }
}

// ---- 8 bits ----

// How the rows of a strip or tile hold their samples.
struct CSampleLayout {
  uint16_t nBits;     // bits per sample
  uint16_t nSamples;  // samples per pixel within one row (1 for separate planes)
  bool bGrey16;       // 16-bit grey, scaled to 8 bits
};

// One byte per pixel from a stored row, taking each pixel's first sample.
void RowToBytes(const uint8_t* in, uint32_t width, const CSampleLayout& f, uint8_t* out) {
  if (f.bGrey16) {
    for (uint32_t x = 0; x < width; ++x) {
      uint16_t v;
      std::memcpy(&v, in + uint64_t{x} * f.nSamples * 2, 2);
      out[x] = static_cast<uint8_t>(v * 255u / 65535u);
    }
  } else if (f.nSamples == 1) {
    if (!ISUnpackBits(in, static_cast<int32_t>(width), 1, f.nBits, out)) throw ISException(ISGetLastError());
  } else if (f.nBits == 8) {
    for (uint32_t x = 0; x < width; ++x) out[x] = in[uint64_t{x} * f.nSamples];
  } else {
    // Packed samples: only each pixel's first sample is read, so a row of
    // thousands of samples per pixel costs no more than its pixels.
    if (f.nBits < 1 || f.nBits > 8) throw ISException(IS_ERR_BADPARAM);
    const uint64_t pixelBits = uint64_t{f.nSamples} * f.nBits;
    const uint64_t rowBytes = (pixelBits * width + 7) / 8;
    const uint32_t mask = (1u << f.nBits) - 1;
    for (uint32_t x = 0; x < width; ++x) {
      const uint64_t bit = x * pixelBits;
      const uint64_t byte = bit >> 3;
      uint32_t window = uint32_t(in[byte]) << 8;
      if (byte + 1 < rowBytes) window |= in[byte + 1];
      out[x] = static_cast<uint8_t>((window >> (16 - (bit & 7) - f.nBits)) & mask);
    }
  }
}

// Grey pages: white at the top of the ramp for min-is-black, at entry 0 for min-is-white.
void GreyPalette(ISPalEntry* palette, uint16_t bits, bool minIsWhite) {
  auto grey = [&](int i, int level) {
    const uint8_t v = static_cast<uint8_t>(level);
    palette[i] = ISPalEntry{v, v, v, 0};
  };
  if (bits == 1) {
    grey(minIsWhite ? 0 : 1, 255);
  } else if (bits >= 2 && bits <= 7) {
    const int count = 1 << bits;
    const int step = 255 / (count - 1);
    for (int i = 0; i < count; ++i) grey(i, (minIsWhite ? count - 1 - i : i) * step);
  } else if (bits == 8 || bits == 16) {
    for (int i = 0; i < 256; ++i) grey(i, minIsWhite ? 255 - i : i);
  }
}

// Palette pages: the ColorMap, scaled down when it holds 16-bit values.
void ColorMapPalette(TIFF* tif, uint16_t bits, ISPalEntry* palette) {
  if (bits > 8) throw ISException(IS_ERR_BADPARAM);
  uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
  if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue) || !red || !green || !blue)
    throw ISException(IS_ERR_TIFF);
  const int count = 1 << bits;
  bool wide = false;
  for (int i = 0; i < count; ++i) wide = wide || red[i] > 255 || green[i] > 255 || blue[i] > 255;
  auto scale = [&](uint16_t v) { return static_cast<uint8_t>(wide ? v * 255u / 65535u : v); };
  for (int i = 0; i < count; ++i) palette[i] = ISPalEntry{scale(blue[i]), scale(green[i]), scale(red[i]), 0};
}

void ReadStrips8(CISOperation& op, TIFF* tif, uint8_t* image, uint32_t w, uint32_t h, const CSampleLayout& f) {
  const tmsize_t stripSize = TIFFStripSize(tif);
  const tmsize_t scanline = TIFFScanlineSize(tif);
  CISBuffer strip(stripSize > 0 ? static_cast<uint64_t>(stripSize) : 0);
  if (!strip) throw ISException(IS_ERR_MEMORY);
  if (scanline <= 0) throw ISException(IS_ERR_TIFF);
  const uint32_t perStrip = std::max<uint32_t>(1, Defaulted<uint32_t>(tif, TIFFTAG_ROWSPERSTRIP));
  for (uint32_t row = 0; row < h;) {
    const uint32_t rows = std::min(perStrip, h - row);
    const uint64_t wanted = uint64_t{rows} * static_cast<uint64_t>(scanline);
    const tmsize_t got = TIFFReadEncodedStrip(tif, TIFFComputeStrip(tif, row, 0), strip.Get(),
                                              static_cast<tmsize_t>(std::min<uint64_t>(wanted, strip.Size())));
    // A strip that decodes to fewer rows than it should fails the read.
    if (got < 0 || static_cast<uint64_t>(got) < wanted) throw ISException(IS_ERR_TIFF);
    for (uint32_t i = 0; i < rows; ++i)
      RowToBytes(strip.Get() + i * static_cast<uint64_t>(scanline), w, f, image + uint64_t{h - 1 - (row + i)} * w);
    if (!op.Progress(static_cast<int32_t>(row), static_cast<int32_t>(h))) throw ISException(IS_ERR_CANCELLED);
    row += rows;
  }
}

void ReadTiles8(CISOperation& op, TIFF* tif, uint8_t* image, uint32_t w, uint32_t h, const CSampleLayout& f) {
  const uint32_t tw = Field<uint32_t>(tif, TIFFTAG_TILEWIDTH);
  const uint32_t th = Field<uint32_t>(tif, TIFFTAG_TILELENGTH);
  const tmsize_t tileSize = TIFFTileSize(tif);
  const tmsize_t tileRow = TIFFTileRowSize(tif);
  if (tw == 0 || th == 0 || tileRow <= 0) throw ISException(IS_ERR_TIFF);
  CISBuffer tile(tileSize > 0 ? static_cast<uint64_t>(tileSize) : 0);
  CISBuffer line(tw);
  if (!tile || !line) throw ISException(IS_ERR_MEMORY);
  for (uint64_t ty = 0; ty < h; ty += th) {
    const uint32_t rows = static_cast<uint32_t>(std::min<uint64_t>(th, h - ty));
    for (uint64_t tx = 0; tx < w; tx += tw) {
      const tmsize_t got = TIFFReadTile(tif, tile.Get(), static_cast<uint32_t>(tx), static_cast<uint32_t>(ty), 0, 0);
      if (got < 0 || static_cast<uint64_t>(got) < uint64_t{rows} * static_cast<uint64_t>(tileRow))
        throw ISException(IS_ERR_TIFF);
      const uint64_t cols = std::min<uint64_t>(tw, w - tx);
      for (uint32_t i = 0; i < rows; ++i) {
        RowToBytes(tile.Get() + i * static_cast<uint64_t>(tileRow), tw, f, line.Get());
        std::memcpy(image + (h - 1 - (ty + i)) * uint64_t{w} + tx, line.Get(), cols);
      }
    }
    if (!op.Progress(static_cast<int32_t>(ty), static_cast<int32_t>(h))) throw ISException(IS_ERR_CANCELLED);
  }
}

uint8_t* Read8(CISOperation& op, TIFF* tif, ISPalEntry* palette, uint32_t flags, int32_t* width, int32_t* height) {
  uint32_t w = 0, h = 0;
  PageSize(tif, w, h);
  const uint16_t samples = Defaulted<uint16_t>(tif, TIFFTAG_SAMPLESPERPIXEL);
  const uint16_t bits = Defaulted<uint16_t>(tif, TIFFTAG_BITSPERSAMPLE);
  const uint16_t photometric = Field<uint16_t>(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
  const uint16_t planar = Defaulted<uint16_t>(tif, TIFFTAG_PLANARCONFIG);
  if (photometric == PHOTOMETRIC_SEPARATED || photometric == PHOTOMETRIC_YCBCR || photometric == PHOTOMETRIC_LOGLUV)
    throw ISException(IS_ERR_DEPTH);
  // RGB only where every colour gets an entry of the palette.
  if (photometric == PHOTOMETRIC_RGB) {
    if (bits == 0 || bits * 3 > 8) throw ISException(IS_ERR_DEPTH);
    return ReadLowBitRgbIndexed(op, tif, palette, flags, width, height);
  }
  const bool grey = photometric == PHOTOMETRIC_MINISWHITE || photometric == PHOTOMETRIC_MINISBLACK;
  const CSampleLayout layout{bits, planar == PLANARCONFIG_SEPARATE ? uint16_t{1} : samples, grey && bits == 16};
  if (samples == 0 || bits == 0 || (bits > 8 && !layout.bGrey16)) throw ISException(IS_ERR_BADPARAM);

  ISPalEntry pal[IS_PALETTE_SIZE] = {};
  if (grey) {
    GreyPalette(pal, bits, photometric == PHOTOMETRIC_MINISWHITE);
  } else if (photometric == PHOTOMETRIC_PALETTE) {
    ColorMapPalette(tif, bits, pal);
  }
  CISBuffer buffer(uint64_t{w} * h);
  if (!buffer) throw ISException(IS_ERR_MEMORY);
  if (TIFFIsTiled(tif)) {
    ReadTiles8(op, tif, buffer.Get(), w, h, layout);
  } else {
    ReadStrips8(op, tif, buffer.Get(), w, h, layout);
  }
  CRaster r{buffer.Get(), buffer.Size(), h, w, 8};
  ApplyOrientation(r, OrientationOf(tif, flags));
  std::copy_n(pal, IS_PALETTE_SIZE, palette);
  *width = static_cast<int32_t>(r.nCols);
  *height = static_cast<int32_t>(r.nRows);
  return buffer.Release();
}

// ---- 1 bit ----

bool IsFaxCompression(uint16_t compression) {
  return compression == COMPRESSION_CCITTRLE || compression == COMPRESSION_CCITTFAX3 ||
         compression == COMPRESSION_CCITTFAX4 || compression == COMPRESSION_CCITTRLEW;
}

// Copies count bits from the start of src to dst from bit position at.
void CopyBits(const uint8_t* src, uint8_t* dst, uint64_t at, uint64_t count) {
  if (at % 8 == 0) {
    std::memcpy(dst + at / 8, src, (count + 7) / 8);
    return;
  }
  for (uint64_t i = 0; i < count; ++i) SetBit(dst, at + i, GetBit(src, i));
}

CISBuffer BilevelBuffer(tmsize_t size) {
  CISBuffer buffer(size > 0 ? static_cast<uint64_t>(size) : 0);
  if (!buffer) {
    Trace(3, "No space for strip buffer\n");
    throw ISException(IS_ERR_MEMORY);
  }
  return buffer;
}

void ReadStrips1(TIFF* tif, CISOperation& op, uint8_t* image, uint32_t h, uint64_t stride) {
  CISBuffer strip = BilevelBuffer(TIFFStripSize(tif));
  const tmsize_t scanline = TIFFScanlineSize(tif);
  if (scanline <= 0 || static_cast<uint64_t>(scanline) < stride) throw ISException(IS_ERR_FILEREAD);
  const uint32_t perStrip = std::max<uint32_t>(1, Defaulted<uint32_t>(tif, TIFFTAG_ROWSPERSTRIP));
  for (uint32_t row = 0; row < h;) {
    const uint32_t rows = std::min(perStrip, h - row);
    const uint64_t wanted = uint64_t{rows} * static_cast<uint64_t>(scanline);
    const tmsize_t got = TIFFReadEncodedStrip(tif, TIFFComputeStrip(tif, row, 0), strip.Get(),
                                              static_cast<tmsize_t>(std::min<uint64_t>(wanted, strip.Size())));
    if (got < 0 || static_cast<uint64_t>(got) < wanted) throw ISException(IS_ERR_FILEREAD);
    for (uint32_t i = 0; i < rows; ++i)
      std::memcpy(image + (h - 1 - (row + i)) * stride, strip.Get() + i * static_cast<uint64_t>(scanline), stride);
    if (!op.Progress(static_cast<int32_t>(row), static_cast<int32_t>(h))) throw ISException(IS_ERR_CANCELLED);
    row += rows;
  }
}

void ReadTiles1(TIFF* tif, CISOperation& op, uint8_t* image, uint32_t w, uint32_t h, uint64_t stride) {
  const uint32_t tw = Field<uint32_t>(tif, TIFFTAG_TILEWIDTH);
  const uint32_t th = Field<uint32_t>(tif, TIFFTAG_TILELENGTH);
  const tmsize_t tileRow = TIFFTileRowSize(tif);
  if (tw == 0 || th == 0 || tileRow <= 0 || static_cast<uint64_t>(tileRow) < (uint64_t{tw} + 7) / 8)
    throw ISException(IS_ERR_FILEREAD);
  CISBuffer tile = BilevelBuffer(TIFFTileSize(tif));
  for (uint64_t ty = 0; ty < h; ty += th) {
    const uint32_t rows = static_cast<uint32_t>(std::min<uint64_t>(th, h - ty));
    for (uint64_t tx = 0; tx < w; tx += tw) {
      const tmsize_t got = TIFFReadTile(tif, tile.Get(), static_cast<uint32_t>(tx), static_cast<uint32_t>(ty), 0, 0);
      if (got < 0 || static_cast<uint64_t>(got) < uint64_t{rows} * static_cast<uint64_t>(tileRow))
        throw ISException(IS_ERR_FILEREAD);
      const uint64_t cols = std::min<uint64_t>(tw, w - tx);
      for (uint32_t i = 0; i < rows; ++i)
        CopyBits(tile.Get() + i * static_cast<uint64_t>(tileRow), image + (h - 1 - (ty + i)) * stride, tx, cols);
    }
    if (!op.Progress(static_cast<int32_t>(ty), static_cast<int32_t>(h))) throw ISException(IS_ERR_CANCELLED);
  }
}

// The photometric of a bilevel page; pages without the tag are min-is-white
// for the fax compressions and min-is-black otherwise.
uint16_t BilevelPhotometric(TIFF* tif, uint16_t samples) {
  uint16_t photometric = 0;
  if (TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric)) return photometric;
  uint16_t extraCount = 0;
  uint16_t* extraTypes = nullptr;
  TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extraTypes);
  if (samples - extraCount != 1) {
    Trace(2, "Can't determine TIFF photometric\n");
    throw ISException(IS_ERR_DEPTH);
  }
  return IsFaxCompression(Defaulted<uint16_t>(tif, TIFFTAG_COMPRESSION)) ? PHOTOMETRIC_MINISWHITE
                                                                         : PHOTOMETRIC_MINISBLACK;
}

uint8_t* Read1(CISOperation& op, TIFF* tif, ISPalEntry* palette, uint32_t flags, int32_t* width, int32_t* height) {
  if (Defaulted<uint16_t>(tif, TIFFTAG_BITSPERSAMPLE) != 1) throw ISException(IS_ERR_DEPTH);
  const uint16_t samples = Defaulted<uint16_t>(tif, TIFFTAG_SAMPLESPERPIXEL);
  const uint16_t planar = Defaulted<uint16_t>(tif, TIFFTAG_PLANARCONFIG);
  const uint16_t photometric = BilevelPhotometric(tif, samples);
  uint16_t extraCount = 0;
  uint16_t* extraTypes = nullptr;
  TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extraTypes);
  if (planar == PLANARCONFIG_SEPARATE && samples - extraCount > 1) throw ISException(IS_ERR_DEPTH);
  // Interleaved samples would put other bits between a row's pixels.
  if (planar != PLANARCONFIG_SEPARATE && samples != 1) throw ISException(IS_ERR_DEPTH);
  uint32_t w = 0, h = 0;
  PageSize(tif, w, h);
  const uint64_t stride = (uint64_t{w} + 7) / 8;
  CISBuffer buffer(std::max(stride * h, (uint64_t{h} + 7) / 8 * w));
  if (!buffer) throw ISException(IS_ERR_MEMORY);
  if (TIFFIsTiled(tif)) {
    ReadTiles1(tif, op, buffer.Get(), w, h, stride);
  } else {
    ReadStrips1(tif, op, buffer.Get(), h, stride);
  }
  CRaster r{buffer.Get(), buffer.Size(), h, w, 1};
  ApplyOrientation(r, OrientationOf(tif, flags));
  if (photometric == PHOTOMETRIC_MINISBLACK) {
    for (uint64_t i = 0; i < buffer.Size(); ++i) buffer.Get()[i] = static_cast<uint8_t>(~buffer.Get()[i]);
  }
  palette[0] = ISPalEntry{255, 255, 255, 0};
  palette[1] = ISPalEntry{0, 0, 0, 0};
  *width = static_cast<int32_t>(r.nCols);
  *height = static_cast<int32_t>(r.nRows);
  return buffer.Release();
}

// ---- entries ----

uint8_t* ReadTiff(CISOperation& op, CISIO& io, int32_t* width, int32_t* height, int32_t depth, ISPalEntry* palette,
                  int32_t page, uint32_t flags) {
  if (!io.Rewind()) throw ISException(IS_ERR_FILEREAD);
  CTiffFile file(io, page);
  switch (depth) {
    case 1:
      return Read1(op, file.Get(), palette, flags, width, height);
    case 8:
      return Read8(op, file.Get(), palette, flags, width, height);
    default:
      return ReadRgba(op, file.Get(), depth, flags, width, height);
  }
}

int32_t ReadTiffRows(CISOperation& op, CISIO& io, int32_t page, CRowHandover& rows) {
  if (!io.Rewind()) throw ISException(IS_ERR_FILEREAD);
  CTiffFile file(io, page);
  ReadRgbaRows(op, file.Get(), rows);
  return 1;
}

int32_t GetTiffDims(CISIO& io, int32_t page, int32_t* width, int32_t* height, int32_t* bits, ISResolution* resolution) {
  CTiffFile file(io, page);
  TIFF* tif = file.Get();
  *width = static_cast<int32_t>(std::min<uint32_t>(Field<uint32_t>(tif, TIFFTAG_IMAGEWIDTH), INT32_MAX));
  *height = static_cast<int32_t>(std::min<uint32_t>(Field<uint32_t>(tif, TIFFTAG_IMAGELENGTH), INT32_MAX));
  if (bits) {
    const int64_t product =
        int64_t{Defaulted<uint16_t>(tif, TIFFTAG_BITSPERSAMPLE)} * Defaulted<uint16_t>(tif, TIFFTAG_SAMPLESPERPIXEL);
    *bits = static_cast<int32_t>(std::min<int64_t>(product, INT32_MAX));
  }
  if (resolution) {
    *resolution = ISResolution{TruncateResolution(Field<float>(tif, TIFFTAG_XRESOLUTION)),
                               TruncateResolution(Field<float>(tif, TIFFTAG_YRESOLUTION)),
                               Field<uint16_t>(tif, TIFFTAG_RESOLUTIONUNIT)};
  }
  return 1;
}

}  // namespace
}  // namespace qv::codec

using qv::codec::CISIO;
using qv::codec::CISOperation;

uint8_t* ISReadTIFF(HISSRC source, int32_t* width, int32_t* height, int32_t bitsPerPixel, ISPalEntry* palette,
                    int32_t page, uint32_t flags) {
  CISOperation op;
  if (!op.Ok()) return nullptr;
  const bool indexed = bitsPerPixel == 1 || bitsPerPixel == 8;
  if (!width || !height || (!indexed && bitsPerPixel != 24 && bitsPerPixel != 32) || (indexed && !palette) ||
      (flags & (IS_TIFF_PACKED_DIB | IS_TIFF_ALPHA_OPTION)))
    return op.Fail<uint8_t*>(IS_ERR_BADPARAM, nullptr);
  CISIO io;
  if (!op.Attach(source, io)) return nullptr;
  return op.Run<uint8_t*>(
      nullptr, [&] { return qv::codec::ReadTiff(op, io, width, height, bitsPerPixel, palette, page, flags); });
}

int32_t ISReadTIFFRows(HISSRC source, int32_t page, ISRowReceiver* receiver) {
  return qv::codec::RunRowRead(source, receiver, [page](CISOperation& op, CISIO& io, qv::codec::CRowHandover& rows) {
    return qv::codec::ReadTiffRows(op, io, page, rows);
  });
}

int32_t ISGetTIFFDims(HISSRC source, int32_t page, int32_t* width, int32_t* height, int32_t* bitsPerPixel,
                      ISResolution* resolution) {
  CISOperation op;
  if (!op.Ok()) return 0;
  if (!width || !height) return op.Fail(IS_ERR_BADPARAM, 0);
  *width = *height = 0;
  if (bitsPerPixel) *bitsPerPixel = 0;
  if (resolution) *resolution = ISResolution{0, 0, 0};
  CISIO io;
  if (!op.Attach(source, io)) return 0;
  return op.Run<int32_t>(0, [&] { return qv::codec::GetTiffDims(io, page, width, height, bitsPerPixel, resolution); });
}
