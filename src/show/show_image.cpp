#include "show/show_image.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <utility>

#include "codec/jpeg.h"
#include "codec/ops/ops.h"
#include "codec/source_handle.h"
#include "platform/global_memory.h"
#include "platform/text.h"
#include "show/show_image_formats.h"

namespace qv {

namespace {

bool IsTiffType(int32_t type) { return type == kTypeTiff || type == kTypeTiff8 || type == kTypeTiff1; }

}  // namespace

CShowImage::~CShowImage() { CShowImage::Free(); }

void CShowImage::Free() {
  if (m_bCodecBuffer && m_pCodecBits) GlobalMemFree(m_pCodecBits);
  if (!m_bCodecBuffer && m_pOwnBits) delete[] m_pOwnBits;
  m_pCodecBits = nullptr;
  m_pOwnBits = nullptr;
  m_nWidth = m_nHeight = m_nBitsPerPixel = m_nPaletteCount = 0;
}

int32_t CShowImage::RowBytes(int32_t width, int32_t bits) {
  switch (bits) {
    case 1:
      return static_cast<int32_t>((static_cast<int64_t>(width) + 7) / 8);
    case 8:
      return width;
    case 24:
      return static_cast<int32_t>(std::min<int64_t>(static_cast<int64_t>(width) * 3, INT32_MAX));
    default:
      return 0;
  }
}

int64_t CShowImage::BufferSize(int32_t width, int32_t height, int32_t bits) {
  if (width < 0 || height < 0) return -1;
  if (bits == 1) return ((static_cast<int64_t>(width) + 7) / 8) * height;
  if (bits != 8 && bits != 24) return -1;
  return static_cast<int64_t>(bits / 8) * width * height;
}

// ---- Loading -----------------------------------------------------------------

int32_t CShowImage::Load(const std::string& path, int32_t type, int32_t page) {
  Free();
  if (path.empty()) return IS_ERR_FILEOPEN;
  if (type == kTypeNone) {
    type = DetectType(path);
    if (type == kTypeNone) return IS_ERR_BADPARAM;
  }
  if (type == kTypeWmf || type == kTypeEmf) return LoadMetafile(path, type);

  HISSRC source = ISOpenFileSource(path.c_str());
  if (!source) return ISGetLastError();
  const CISSourceHandle closer(source);
  int32_t result = LoadFromSource(source, type, page);
  // The 8-bit TGA read refuses run-length greyscale pictures that the type
  // test sends to it; the 24-bit read takes them.
  if (IsEmpty() && type == kTypeTga8 && result == IS_ERR_DEPTH) {
    ISSeekSource(source, 0, 0);
    result = LoadFromSource(source, kTypeTga, page);
  }
  m_strPath = path;
  return result;
}

int32_t CShowImage::LoadMetafile(const std::string& path, int32_t type) {
  uint8_t* bits = nullptr;
  int32_t width = 0, height = 0;
  const int32_t result = ReadHolderMetafile(path, bits, width, height);
  if (!bits) return result == IS_ERR_OK ? IS_ERR_BADPARAM : result;
  m_nBitsPerPixel = 24;
  Adopt(bits, width, height, type);
  m_strPath = path;
  m_nPage = 0;
  return result;
}

int32_t CShowImage::DetectType(const std::string& path) {
  HISSRC source = ISOpenFileSource(path.c_str());
  if (!source) return kTypeNone;
  const CISSourceHandle closer(source);
  return ClassifySource(source, path);
}

int32_t CShowImage::ClassifySource(HISSRC source, const std::string& path) {
  int32_t type = TypeFromGuess(ISGuessFileType(source));
  if (type == kTypeNone) type = TypeFromExtension(path);
  ISSeekSource(source, 0, 0);
  return RefineTypeByDims(source, type);
}

int32_t CShowImage::TypeFromExtension(const std::string& path) {
  struct Extension {
    const char* text;
    int32_t type;
  };
  static constexpr Extension kExtensions[] = {
      {".bmp", kTypeBmp},  {".wbmp", kTypeWbmp}, {".wbm", kTypeWbmp},  {".tga", kTypeTga}, {".jpeg", kTypeJpeg},
      {".jpg", kTypeJpeg}, {".tif", kTypeTiff},  {".tiff", kTypeTiff}, {".pcx", kTypePcx}, {".png", kTypePng},
      {".wmf", kTypeWmf},  {".emf", kTypeEmf},   {".psd", kTypePsd},
  };
  // Lower-casing first keeps a multibyte character's trail byte from passing
  // for the dot (the code page's own rules decide what a character is).
  const std::string lower = LowerCaseAnsi(path);
  const auto dot = lower.find_last_of('.');
  if (dot == std::string::npos) return kTypeNone;
  const std::string ext = lower.substr(dot);
  for (const auto& e : kExtensions) {
    if (ext == e.text) return e.type;
  }
  return kTypeNone;
}

void CShowImage::Adopt(uint8_t* codecBits, int32_t width, int32_t height, int32_t type) {
  // A holder read into again still holds its last picture: release it the way
  // Free does, keeping the depth and palette count the read has just set.
  if (codecBits != GetBits()) {
    const int32_t bits = m_nBitsPerPixel;
    const int32_t paletteCount = m_nPaletteCount;
    Free();
    m_nBitsPerPixel = bits;
    m_nPaletteCount = paletteCount;
  }
  m_bCodecBuffer = 1;
  m_pCodecBits = codecBits;
  m_pOwnBits = nullptr;
  m_nWidth = width;
  m_nHeight = height;
  m_nType = type;
}

int32_t CShowImage::LoadFromSource(HISSRC source, int32_t type, int32_t page) {
  const CHolderFormat* format = FindHolderFormat(type);
  if (!format) {
    // Metafiles and codes beyond the table read nothing; a raster type whose
    // reader is not built cannot be decoded.
    return (type == kTypeWmf || type == kTypeEmf || type > kTypePcd) ? IS_ERR_OK : IS_ERR_BADPARAM;
  }
  int32_t width = 0, height = 0;
  ISPalEntry* palette = format->bits <= 8 ? m_Palette.data() : nullptr;
  uint8_t* bits = format->read(source, &width, &height, format->bits, palette, page);
  const int32_t result = ISGetLastError();
  if (format->palette == EHolderPalette::kNone) {
    m_nBitsPerPixel = 24;
    m_nPaletteCount = 0;
  }
  if (IsTiffType(type)) m_nPage = page;

  switch (format->palette) {
    case EHolderPalette::kNone:
      break;
    case EHolderPalette::kQuery: {
      if (!bits) return result;
      // The read has already filled the palette; a query that fails (a
      // greyscale TGA has no colour map to report) must not wipe it. The
      // query gives the file's own entries only: past them the read's entries
      // stay (copies of entry 0), so an index beyond the file's colours shows
      // the colour the 8-bit read gives it rather than black.
      ISSeekSource(source, 0, 0);
      std::array<ISPalEntry, IS_PALETTE_SIZE> queried{};
      int32_t count = 0;
      if (format->queryPalette(source, &count, queried.data()) && count > 0) {
        m_nPaletteCount = std::min(count, IS_PALETTE_SIZE);
        std::copy_n(queried.begin(), m_nPaletteCount, m_Palette.begin());
      } else {
        m_nPaletteCount = IS_PALETTE_SIZE;
      }
      m_nBitsPerPixel = format->bits;
      break;
    }
    case EHolderPalette::kGreyRamp:
      for (int i = 0; i < IS_PALETTE_SIZE; ++i) {
        const auto v = static_cast<uint8_t>(i);
        m_Palette[static_cast<size_t>(i)] = ISPalEntry{v, v, v, v};
      }
      m_nPaletteCount = 256;
      m_nBitsPerPixel = format->bits;
      break;
    case EHolderPalette::kFromRead256:
      m_nPaletteCount = 256;
      m_nBitsPerPixel = format->bits;
      break;
    case EHolderPalette::kFromRead2:
      m_nPaletteCount = 2;
      m_nBitsPerPixel = format->bits;
      break;
    case EHolderPalette::kFixedMono:
      m_Palette[0].red = m_Palette[0].green = m_Palette[0].blue = 255;
      m_Palette[1].red = m_Palette[1].green = m_Palette[1].blue = 0;
      m_nPaletteCount = 2;
      m_nBitsPerPixel = format->bits;
      break;
  }
  if (bits && result != IS_ERR_OK && !PartialWorthKeeping(source, width, height)) {
    qv::GlobalMemFree(bits);
    bits = nullptr;
  }
  if (!bits) {
    m_nBitsPerPixel = 0;
    m_nPaletteCount = 0;
    return result;
  }
  ReadResolution(source, type);
  Adopt(bits, width, height, type);
  if (type == kTypeTiff || type == kTypeTiff8) CorrectTiffAspect();
  // A picture that cannot become 24 bits would reach the show without its
  // palette: it counts as not loaded.
  const int32_t converted = ConvertTo24();
  if (converted != IS_ERR_OK) {
    Free();
    return result != IS_ERR_OK ? result : converted;
  }
  if (m_bAutoRotate && (type == kTypeJpeg || type == kTypeJpegGrey)) TurnUpright(source);
  return result;
}

void CShowImage::TurnUpright(HISSRC source) {
  ISSeekSource(source, 0, 0);
  const int32_t orientation = ISGetJPGOrientation(source);
  if (orientation < 2 || orientation > 8) return;
  const bool exchanged = orientation >= 5;
  CShowImage turned;
  // Without the memory for a second picture it stays as stored.
  if (turned.Allocate(exchanged ? m_nHeight : m_nWidth, exchanged ? m_nWidth : m_nHeight, 24) != IS_ERR_OK) return;
  if (!ISOrientImage(GetBits(), m_nWidth, m_nHeight, 3, orientation, turned.GetBits())) return;
  turned.CopyAttributes(*this);
  TakeOver(turned);
}

namespace {
// A partial picture (a short or damaged file) is kept when converting and
// scaling it costs no more than its data justifies: a 24-bit picture of up to
// this size always, a larger one only up to 64 times the bytes in the file.
// Anything larger is a big frame around a little data, mostly rows the file
// never had; a real picture cut short that far is not worth a slide either.
constexpr int64_t kPartialFloorBytes = int64_t{16} << 20;
constexpr int64_t kPartialExpansion = 64;
}  // namespace

bool CShowImage::PartialWorthKeeping(HISSRC source, int32_t width, int32_t height) {
  const int64_t frame = BufferSize(width, height, 24);  // every picture becomes 24 bits
  if (frame >= 0 && frame <= kPartialFloorBytes) return true;
  const int64_t fileBytes = ISGetSourceSize(source);
  return frame >= 0 && fileBytes > 0 && frame / kPartialExpansion <= fileBytes;
}

void CShowImage::ReadResolution(HISSRC source, int32_t type) {
  const bool formatOwn = type == kTypeJpeg || type == kTypeJpegGrey || type == kTypeBmp || type == kTypeBmp8 ||
                         type == kTypeBmp1 || type == kTypePng || type == kTypePngPalette || type == kTypePng1 ||
                         IsTiffType(type);
  if (formatOwn) {
    ISSeekSource(source, 0, 0);
    int32_t x = 0, y = 0, unit = 1;
    if (QueryFormatResolution(source, type, x, y, unit)) {
      m_nXRes = x;
      m_nYRes = y;
      m_nResUnit = unit;
    }
    return;
  }
  m_nXRes = m_nYRes = 300;
  m_nResUnit = 1;
}

namespace {
constexpr double kMaxPixelAspect = 16.0;
}  // namespace

int32_t CShowImage::CorrectTiffAspect() {
  if (m_nXRes == m_nYRes || m_nXRes == 0) return IS_ERR_OK;
  const double q = static_cast<double>(m_nYRes) / static_cast<double>(m_nXRes);
  if (q == 0.0 || std::fabs(1.0 - q) <= 0.25) return IS_ERR_OK;
  // No scanner or fax makes pixels more than 16 times as tall as wide (or
  // wide as tall): a ratio beyond that is a damaged field, and stretching a
  // small picture by it would cost seconds and gigabytes for nothing.
  if (q > kMaxPixelAspect || q < 1.0 / kMaxPixelAspect) return IS_ERR_OK;
  const double newHeight = static_cast<double>(static_cast<uint32_t>(m_nHeight)) / q;
  // A height the 32-bit geometry cannot hold (or a negative ratio) is left as stored.
  if (!(newHeight >= 1.0 && newHeight < 2147483648.0)) return IS_ERR_BADPARAM;
  CShowImage scaled;
  const int32_t result = scaled.ResizeFrom(*this, m_nWidth, static_cast<int32_t>(newHeight), 0);
  if (result != IS_ERR_OK) return result;
  return TakeOver(scaled);
}

// ---- Conversion --------------------------------------------------------------

int32_t CShowImage::ConvertTo24() {
  if (IsEmpty()) return IS_ERR_BADPARAM;
  if (m_nBitsPerPixel == 24) return IS_ERR_OK;
  CShowImage converted;
  const int32_t result = ConvertTo24Into(converted);
  if (result == IS_ERR_OK) return TakeOver(converted);
  return result;
}

int32_t CShowImage::ConvertTo24Into(CShowImage& target) const {
  if (IsEmpty()) return IS_ERR_BADPARAM;
  if (m_nBitsPerPixel == 24) return target.Duplicate(*this);
  int32_t result = target.Allocate(m_nWidth, m_nHeight, 24);
  if (result != IS_ERR_OK) return result;
  if (m_nBitsPerPixel == 1) {
    CShowImage expanded;
    result = ExpandTo8Into(expanded);
    if (result == IS_ERR_OK) return expanded.ConvertTo24Into(target);
    target.CopyInfo(*this);
    return result;
  }
  if (m_nBitsPerPixel == 8) {
    ISPaletteToRGB(GetBits(), m_nWidth, m_nHeight, RowBytes(), target.GetBits(), target.RowBytes(), m_nPaletteCount,
                   m_Palette.data(), 0);
    result = ISGetLastError();
  } else {
    result = IS_ERR_BADPARAM;
  }
  target.CopyInfo(*this);
  return result;
}

int32_t CShowImage::ExpandTo8Into(CShowImage& target) const {
  if (IsEmpty()) return IS_ERR_BADPARAM;
  if (m_nBitsPerPixel == 8) return target.Duplicate(*this);
  int32_t result = target.Allocate(m_nWidth, m_nHeight, 8);
  if (result != IS_ERR_OK) return result;
  const int32_t sourceRow = RowBytes();
  result = IS_ERR_OK;
  for (int32_t i = 0; i < m_nHeight && result == IS_ERR_OK; ++i) {
    ISUnpackBits(GetBits() + static_cast<int64_t>(i) * sourceRow, m_nWidth, 1, 1,
                 target.GetBits() + static_cast<int64_t>(i) * m_nWidth);
    result = ISGetLastError();
  }
  // The whole palette goes along: a 1-bit picture with one colour in its file
  // shows its other index as the entry its read put past the count.
  target.m_nPaletteCount = 256;
  target.m_Palette = m_Palette;
  target.CopyInfo(*this);
  return result;
}

// ---- Resampling and cropping -------------------------------------------------

int32_t CShowImage::Resize(int32_t width, int32_t height, int32_t method) {
  if (IsEmpty()) return IS_ERR_BADPARAM;
  CShowImage scaled;
  const int32_t result = scaled.ResizeFrom(*this, width, height, method);
  if (result != IS_ERR_OK) return result;
  return TakeOver(scaled);
}

namespace {

// The arguments every resampling call shares: source and destination buffers
// with their sizes and row lengths.
struct CResizeCall {
  CResizeCall(const CShowImage& s, CShowImage& d)
      : sb(s.GetBits()),
        sw(s.m_nWidth),
        sh(s.m_nHeight),
        ss(s.RowBytes()),
        db(d.GetBits()),
        dw(d.m_nWidth),
        dh(d.m_nHeight),
        ds(d.RowBytes()),
        enlarging(dw > sw || dh > sh) {}
  const uint8_t* sb;
  int32_t sw, sh, ss;
  uint8_t* db;
  int32_t dw, dh, ds;
  bool enlarging;  // wider or taller than the source
};

int32_t Resize24(const CResizeCall& c, int32_t method) {
  switch (method) {
    case 1:
      return ISResizeBicubic(c.sb, c.sw, c.sh, c.ss, c.db, c.dw, c.dh, c.ds, 3);
    case 2:
      return c.enlarging ? ISResizeBilinear(c.sb, c.sw, c.sh, c.ss, c.db, c.dw, c.dh, c.ds, 3)
                         : ISResizeAreaAverage(c.sb, c.sw, c.sh, c.ss, c.db, c.dw, c.dh, c.ds, 3, 1);
    case 3:
      return c.enlarging ? ISResizeBicubic(c.sb, c.sw, c.sh, c.ss, c.db, c.dw, c.dh, c.ds, 3)
                         : ISResizeAreaAverage(c.sb, c.sw, c.sh, c.ss, c.db, c.dw, c.dh, c.ds, 3, 1);
    case 4:
      return ISResizeNearest(c.sb, c.sw, c.sh, c.ss, c.db, c.dw, c.dh, c.ds, 3);
    case 5:
      return ISResizeFiltered(c.sb, c.sw, c.sh, c.ss, c.db, c.dw, c.dh, c.ds, 3, IS_FILTER_LANCZOS);
    case 6:
      return ISResizeFiltered(c.sb, c.sw, c.sh, c.ss, c.db, c.dw, c.dh, c.ds, 3, IS_FILTER_CATMULLROM);
    case 7:
      return ISResizeFiltered(c.sb, c.sw, c.sh, c.ss, c.db, c.dw, c.dh, c.ds, 3, IS_FILTER_MITCHELL);
    default:
      return ISResizeBilinear(c.sb, c.sw, c.sh, c.ss, c.db, c.dw, c.dh, c.ds, 3);
  }
}

int32_t Resize8(const CResizeCall& c, const CShowImage& s, int32_t method) {
  if (method == 2 && !c.enlarging)
    return ISResizeAreaAverage8(c.sb, c.sw, c.sh, c.ss, c.db, c.dw, c.dh, c.ds, s.m_Palette.data(), s.m_nPaletteCount);
  if (method == 4) return ISResizeNearest(c.sb, c.sw, c.sh, c.ss, c.db, c.dw, c.dh, c.ds, 1);
  return ISResizeBilinear8(c.sb, c.sw, c.sh, c.ss, c.db, c.dw, c.dh, c.ds, s.m_nPaletteCount, s.m_Palette.data());
}

int32_t Resize1(const CResizeCall& c, int32_t method) {
  if (method == 2 && !c.enlarging) {
    // Thin strokes survive a shrink: the threshold favours the rarer value.
    uint64_t counts[2] = {0, 0};
    if (!ISCount1BitPixels(c.sb, c.sw, c.sh, c.ss, counts)) return 0;
    return ISResize1BitThreshold(c.sb, c.sw, c.sh, c.ss, c.db, c.dw, c.dh, c.ds, counts[1] < counts[0] ? 64 : 192);
  }
  return ISResize1Bit(c.sb, c.sw, c.sh, c.ss, c.db, c.dw, c.dh, c.ds);
}

}  // namespace

int32_t CShowImage::ResizeFrom(const CShowImage& source, int32_t width, int32_t height, int32_t method) {
  if (source.IsEmpty()) return IS_ERR_BADPARAM;
  if (width == source.m_nWidth && height == source.m_nHeight) return Duplicate(source);
  int32_t result = Allocate(width, height, source.m_nBitsPerPixel);
  if (result != IS_ERR_OK) {
    Free();
    return result;
  }
  const CResizeCall call(source, *this);
  const int32_t ok = source.m_nBitsPerPixel == 24  ? Resize24(call, method)
                     : source.m_nBitsPerPixel == 8 ? Resize8(call, source, method)
                                                   : Resize1(call, method);
  if (!ok) {
    result = ISGetLastError();
    Free();
    return result == IS_ERR_OK ? IS_ERR_BADPARAM : result;
  }
  m_Palette = source.m_Palette;
  m_nPaletteCount = source.m_nPaletteCount;
  m_nType = source.m_nType;
  m_nXRes = source.m_nXRes;
  m_nYRes = source.m_nYRes;
  m_nResUnit = source.m_nResUnit;
  return IS_ERR_OK;
}

void CShowImage::ResizeAndCrop(int32_t width, int32_t height, bool crop, const ISRect& keep) {
  const ISRect part = crop ? keep : ISRect{0, 0, width, height};
  const bool shrinks = m_nBitsPerPixel == 24 && !IsEmpty() && width >= 1 && height >= 1 && width <= m_nWidth &&
                       height <= m_nHeight && (width != m_nWidth || height != m_nHeight);
  const bool inside = part.left >= 0 && part.top >= 0 && part.left < part.right && part.top < part.bottom &&
                      part.right <= width && part.bottom <= height;
  if (shrinks && inside) {
    CShowImage kept;
    ISRowAverager averager;
    const int32_t keptWidth = part.right - part.left;
    if (kept.Allocate(keptWidth, part.bottom - part.top, 24) == IS_ERR_OK &&
        averager.Start(m_nWidth, m_nHeight, width, height, 3, part, kept.GetBits(), keptWidth * 3)) {
      bool added = true;
      for (int32_t y = 0; y < m_nHeight && added; ++y)
        added = averager.AddRow(GetBits() + int64_t{y} * RowBytes()) != 0;
      if (added) {
        // The state Resize leaves, then the one a crop gives its fresh copy.
        if (crop) {
          kept.CopyAttributes(*this);
        } else {
          kept.m_Palette = m_Palette;
          kept.m_nPaletteCount = m_nPaletteCount;
          kept.CopyInfo(*this);
        }
        TakeOver(kept);
        return;
      }
    }
  }
  Resize(width, height, 2);
  if (crop) Crop(keep.left, keep.top, keep.right, keep.bottom);
}

int32_t CShowImage::Crop(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  if (IsEmpty()) return IS_ERR_BADPARAM;
  if (right < left) std::swap(left, right);
  if (bottom < top) std::swap(top, bottom);
  const int64_t width = static_cast<int64_t>(right) - left;
  const int64_t height = static_cast<int64_t>(bottom) - top;
  if (width > INT32_MAX || height > INT32_MAX) return IS_ERR_BADPARAM;
  CShowImage cropped;
  int32_t result = cropped.Allocate(static_cast<int32_t>(width), static_cast<int32_t>(height), m_nBitsPerPixel);
  if (result != IS_ERR_OK) return result;
  cropped.CopyAttributes(*this);
  const ISRect rect{left, top, right, bottom};
  int32_t ok = 0;
  if (m_nBitsPerPixel == 1) {
    ok = ISCrop1Bit(GetBits(), m_nWidth, m_nHeight, RowBytes(), cropped.GetBits(), cropped.RowBytes(), rect);
  } else {
    ok = ISCropImage(GetBits(), m_nWidth, m_nHeight, RowBytes(), cropped.GetBits(), cropped.RowBytes(), rect,
                     m_nBitsPerPixel / 8);
  }
  if (!ok) return ISGetLastError();
  return TakeOver(cropped);
}

// ---- Buffers -------------------------------------------------------------------

int32_t CShowImage::Allocate(int32_t width, int32_t height, int32_t bits) {
  Free();
  const int64_t size = BufferSize(width, height, bits);
  // The codec's own ceiling on one image buffer applies to the holder too.
  if (size < 0 || size > 0x7FFDEFFE) return IS_ERR_MEMORY;
  uint8_t* buffer = new (std::nothrow) uint8_t[size > 0 ? static_cast<size_t>(size) : 1];
  if (!buffer) return IS_ERR_MEMORY;
  m_pOwnBits = buffer;
  m_pCodecBits = nullptr;
  m_bCodecBuffer = 0;
  m_nBitsPerPixel = bits;
  m_nWidth = width;
  m_nHeight = height;
  return IS_ERR_OK;
}

int32_t CShowImage::TakeOver(CShowImage& source) {
  if (&source == this) return IsEmpty() ? IS_ERR_BADPARAM : IS_ERR_OK;
  Free();
  if (source.IsEmpty()) return IS_ERR_BADPARAM;
  m_bCodecBuffer = source.m_bCodecBuffer;
  m_pCodecBits = std::exchange(source.m_pCodecBits, nullptr);
  m_pOwnBits = std::exchange(source.m_pOwnBits, nullptr);
  m_nWidth = source.m_nWidth;
  m_nHeight = source.m_nHeight;
  m_nBitsPerPixel = source.m_nBitsPerPixel;
  m_Palette = source.m_Palette;
  m_nPaletteCount = source.m_nPaletteCount;
  m_nType = source.m_nType;
  m_nXRes = source.m_nXRes;
  m_nYRes = source.m_nYRes;
  m_nResUnit = source.m_nResUnit;
  source.m_nWidth = source.m_nHeight = source.m_nBitsPerPixel = source.m_nPaletteCount = 0;
  return IS_ERR_OK;
}

int32_t CShowImage::Duplicate(const CShowImage& source) {
  if (&source == this) return IsEmpty() ? IS_ERR_BADPARAM : IS_ERR_OK;
  Free();
  if (source.IsEmpty()) return IS_ERR_BADPARAM;
  const int32_t result = Allocate(source.m_nWidth, source.m_nHeight, source.m_nBitsPerPixel);
  if (result != IS_ERR_OK) return result;
  const int64_t size = BufferSize(m_nWidth, m_nHeight, m_nBitsPerPixel);
  if (size > 0) std::memcpy(GetBits(), source.GetBits(), static_cast<size_t>(size));
  CopyAttributes(source);
  return IS_ERR_OK;
}

void CShowImage::CopyAttributes(const CShowImage& source) {
  const int32_t count = std::clamp(source.m_nPaletteCount, 0, IS_PALETTE_SIZE);
  std::copy_n(source.m_Palette.begin(), count, m_Palette.begin());
  m_nPaletteCount = source.m_nPaletteCount;
  m_nBitsPerPixel = source.m_nBitsPerPixel;
  CopyInfo(source);
}

void CShowImage::CopyInfo(const CShowImage& source) {
  m_nXRes = source.m_nXRes;
  m_nYRes = source.m_nYRes;
  m_nResUnit = source.m_nResUnit;
  m_strPath = source.m_strPath;
  m_nPage = source.m_nPage;
  m_nType = source.m_nType;
}

}  // namespace qv
