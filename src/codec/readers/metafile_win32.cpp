// Metafile rendering over GDI: obtain an enhanced metafile from the file (as
// an enhanced metafile, as a plain metafile, or from the file's own bytes with
// or without the placeable header), size it, play it onto a bitmap and copy
// the bitmap out through a packed device-independent bitmap. Every handle
// lives in an owner below, so each failure releases what was obtained so far.
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "codec/bmp_rows.h"
#include "codec/codec_internal.h"
#include "codec/metafile.h"
#include "platform/win/gdi.h"

namespace qv::codec {

namespace {

constexpr size_t kPlaceableBytes = 22;
constexpr LONG kPlainMetafileExtent = 1000;  // 0.01 mm, so 10 mm by 10 mm
constexpr uint64_t kReadSlack = 1024;        // zero bytes after the file's own
constexpr UINT kEnhHeaderBytes = 100;
// Placeable units of 0.01 mm per inch, times this, give inches.
constexpr double kHundredthsMmToInch = 0.00039368528798078815;

// ---- Handle owners -----------------------------------------------------------

using win::CBitmapHandle;
using win::CBrushHandle;
using win::CEnhMetafileHandle;
using win::CMemoryDC;
using win::CMetafileHandle;
using win::CPaletteHandle;
using win::CSelectObject;
using win::CSelectPalette;
using win::CWindowDC;

// Closes a codec source at the end.
class CSourceCloser {
 public:
  explicit CSourceCloser(HISSRC source) : m_h(source) {}
  ~CSourceCloser() { ISCloseSource(m_h); }
  CSourceCloser(const CSourceCloser&) = delete;
  CSourceCloser& operator=(const CSourceCloser&) = delete;

 private:
  HISSRC m_h;
};

// ---- Obtaining the enhanced metafile -------------------------------------------

// The first bytes of the file when the renderer read it itself; zero otherwise.
struct CRendererState {
  uint8_t arrSaved[kPlaceableBytes] = {};

  bool Placeable() const { return LoadU32LE(arrSaved) == IS_PLACEABLE_KEY; }
  int32_t Left() const { return static_cast<int16_t>(LoadU16LE(arrSaved + 6)); }
  int32_t Top() const { return static_cast<int16_t>(LoadU16LE(arrSaved + 8)); }
  int32_t Right() const { return static_cast<int16_t>(LoadU16LE(arrSaved + 10)); }
  int32_t Bottom() const { return static_cast<int16_t>(LoadU16LE(arrSaved + 12)); }
  uint32_t UnitsPerInch() const { return LoadU16LE(arrSaved + 14); }
};

// Windows metafile bits into an enhanced metafile for the screen, at the
// picture's mapping mode and extents. lastError is the platform's error code
// right after the conversion.
HENHMETAFILE ConvertBits(UINT size, const uint8_t* bits, LONG extentX, LONG extentY, DWORD& lastError) {
  const METAFILEPICT picture = {MM_ANISOTROPIC, extentX, extentY, nullptr};
  const CWindowDC screen(HWND{nullptr});
  HENHMETAFILE converted = ::SetWinMetaFileBits(size, bits, screen.Get(), &picture);
  lastError = ::GetLastError();
  return converted;
}

CEnhMetafileHandle ConvertPlainMetafile(const CMetafileHandle& plain) {
  const UINT size = ::GetMetaFileBitsEx(plain.Get(), 0, nullptr);
  if (size == 0) throw ISException(IS_ERR_METAFILE);
  CISBuffer bits(size);
  if (!bits) throw ISException(IS_ERR_MEMORY);
  if (::GetMetaFileBitsEx(plain.Get(), size, bits.Get()) != size) throw ISException(IS_ERR_METAFILE);
  DWORD lastError = 0;
  CEnhMetafileHandle converted(ConvertBits(size, bits.Get(), kPlainMetafileExtent, kPlainMetafileExtent, lastError));
  if (!converted) throw ISException(IS_ERR_METAFILE);
  return converted;
}

// The placeable header's extent along one axis in 0.01 mm, in unsigned
// arithmetic as the header's users compute it.
LONG PlaceableExtent(int32_t low, int32_t high, uint32_t unitsPerInch) {
  return static_cast<LONG>(static_cast<uint32_t>(high - low) * 2540u / unitsPerInch);
}

// Reads the whole file and converts its metafile bits, after the placeable
// header when there is one.
CEnhMetafileHandle ConvertFileBits(const char* path, int32_t fallbackWidth, int32_t fallbackHeight,
                                   CRendererState& state) {
  HISSRC source = ISOpenFileSource(path);
  if (!source) throw ISException(IS_ERR_FILEOPEN);
  const CSourceCloser closer(source);
  CISIO io(source);
  const int64_t size = io.Size();
  if (size <= 0) throw ISException(IS_ERR_METAFILE);
  // The slack also covers the placeable header's bytes when the byte count
  // below, the file's size, runs past the file's end.
  CISBuffer data(static_cast<uint64_t>(size) + kReadSlack);
  if (!data) throw ISException(IS_ERR_MEMORY);
  if (!io.ReadExactly(data.Get(), static_cast<size_t>(size))) throw ISException(IS_ERR_FILEREAD);
  std::memcpy(state.arrSaved, data.Get(), kPlaceableBytes);

  LONG extentX = fallbackWidth, extentY = fallbackHeight;
  const uint8_t* bits = data.Get();
  if (state.Placeable()) {
    // A header without units describes no picture size.
    if (state.UnitsPerInch() == 0) throw ISException(IS_ERR_METAFILE);
    extentX = PlaceableExtent(state.Left(), state.Right(), state.UnitsPerInch());
    extentY = PlaceableExtent(state.Top(), state.Bottom(), state.UnitsPerInch());
    bits += kPlaceableBytes;
  }
  DWORD lastError = 0;
  CEnhMetafileHandle converted(ConvertBits(static_cast<UINT>(size), bits, extentX, extentY, lastError));
  if (!converted) {
    Trace(2, "SetWinMetaFileBits failed GetLastError = %d\n", static_cast<int>(lastError));
    throw ISException(IS_ERR_WMFCONVERT);
  }
  return converted;
}

// An enhanced metafile, a plain metafile or the file's own bytes, in that order.
CEnhMetafileHandle ObtainEnhMetafile(const char* path, int32_t fallbackWidth, int32_t fallbackHeight,
                                     CRendererState& state) {
  CEnhMetafileHandle enhanced(::GetEnhMetaFileA(path));
  if (enhanced) return enhanced;
  const CMetafileHandle plain(::GetMetaFileA(path));
  if (plain) return ConvertPlainMetafile(plain);
  return ConvertFileBits(path, fallbackWidth, fallbackHeight, state);
}

// ---- Size ------------------------------------------------------------------------

struct CPixelSize {
  int32_t nWidth = 0;
  int32_t nHeight = 0;
};

// The pixel size of the placeable header's box on the screen.
void PlaceableSize(const CRendererState& state, HDC screen, double& w, double& h) {
  const double dpiX = ::GetDeviceCaps(screen, LOGPIXELSX);
  const double dpiY = ::GetDeviceCaps(screen, LOGPIXELSY);
  const double units = state.UnitsPerInch();
  w = std::trunc(double(state.Right() - state.Left()) * 2540 / units * kHundredthsMmToInch * dpiX);
  h = std::trunc(double(state.Bottom() - state.Top()) * 2540 / units * kHundredthsMmToInch * dpiY);
}

// The pixel size of the frame (0.01 mm) on the metafile's reference device.
void FrameSize(const ENHMETAHEADER& header, double& w, double& h) {
  const RECTL& frame = header.rclFrame;
  const double deviceWidth = header.szlDevice.cx;
  const double widthHundredths = double(header.szlMillimeters.cx) * 100;
  w = std::trunc(frame.right * deviceWidth / widthHundredths) - std::trunc(frame.left * deviceWidth / widthHundredths);
  // The vertical scale is formed in single precision.
  const float factor = 1.0f / static_cast<float>(double(header.szlMillimeters.cy) * 100);
  const float deviceHeight = static_cast<float>(header.szlDevice.cy);
  const float scale = deviceHeight * factor;
  h = std::trunc(double(frame.bottom) * scale) - std::trunc(double(frame.top) * scale);
}

// Checks the size before anything is allocated for it: a size that is no
// number is a broken header, an empty one cannot be a bitmap, and the image
// buffer and the copied-out rows must both be blocks the library may allocate.
CPixelSize CheckedSize(double w, double h, HDC screen) {
  if (!std::isfinite(w) || !std::isfinite(h)) throw ISException(IS_ERR_METAFILE);
  if (w < 1 || h < 1) throw ISException(IS_ERR_BITMAP);
  const double limit = double(kMaxBufferBytes);
  if (w > limit || h > limit) throw ISException(IS_ERR_MEMORY);
  const auto width = static_cast<int64_t>(w), height = static_cast<int64_t>(h);
  const int32_t screenBits = ::GetDeviceCaps(screen, BITSPIXEL) * ::GetDeviceCaps(screen, PLANES);
  const int64_t rowBytes = std::max<int64_t>(BmpStoredRowBytes(width, screenBits), width * 4);
  if (width * 3 > int64_t(kMaxBufferBytes) / height || rowBytes > int64_t(kMaxBufferBytes) / height)
    throw ISException(IS_ERR_MEMORY);
  return {static_cast<int32_t>(width), static_cast<int32_t>(height)};
}

CPixelSize PixelSize(const CRendererState& state, const ENHMETAHEADER& header, HDC screen) {
  double w = 0, h = 0;
  if (state.Placeable()) {
    PlaceableSize(state, screen, w, h);
  } else {
    FrameSize(header, w, h);
  }
  return CheckedSize(w, h, screen);
}

// ---- Copy-out --------------------------------------------------------------------

// A logical palette of the first 255 system palette entries (palette devices).
CPaletteHandle SystemPalette(HDC screen) {
  constexpr UINT kEntries = 255;
  std::vector<uint8_t> block(sizeof(LOGPALETTE) + kEntries * sizeof(PALETTEENTRY));
  auto* logical = reinterpret_cast<LOGPALETTE*>(block.data());
  logical->palVersion = 0x300;
  logical->palNumEntries = static_cast<WORD>(kEntries);
  ::GetSystemPaletteEntries(screen, 0, kEntries, logical->palPalEntry);
  return CPaletteHandle(::CreatePalette(logical));
}

// Header and colour table (or the three colour masks, which need 12 bytes).
uint64_t InfoBytes(int32_t bitCount) {
  const uint64_t colours = bitCount <= 8 ? uint64_t{1} << bitCount : 0;
  return sizeof(BITMAPINFOHEADER) + std::max<uint64_t>(colours * sizeof(RGBQUAD), 3 * sizeof(DWORD));
}

// Fetches the bitmap as a packed device-independent bitmap: the first call
// fills the header and colour table, the second the rows into the grown block.
CISBuffer PackedBitmap(HDC screen, HBITMAP bitmap, HPALETTE palette, uint64_t& infoBytes) {
  BITMAP object = {};
  if (!::GetObjectA(bitmap, sizeof object, &object)) throw ISException(IS_ERR_GETDIBITS);
  const int32_t bitCount = object.bmPlanes * object.bmBitsPixel;
  if (BmpStoredRowBytes(object.bmWidth, bitCount) <= 0 || object.bmHeight < 1) throw ISException(IS_ERR_GETDIBITS);
  infoBytes = InfoBytes(bitCount);
  CISBuffer info(infoBytes);
  if (!info) throw ISException(IS_ERR_MEMORY);
  auto* header = reinterpret_cast<BITMAPINFOHEADER*>(info.Get());
  header->biSize = sizeof(BITMAPINFOHEADER);
  header->biWidth = object.bmWidth;
  header->biHeight = object.bmHeight;
  header->biPlanes = 1;
  header->biBitCount = static_cast<WORD>(bitCount);
  header->biCompression = BI_RGB;

  const CSelectPalette realized(screen, palette);
  const auto lines = static_cast<UINT>(object.bmHeight);
  if (!::GetDIBits(screen, bitmap, 0, lines, nullptr, reinterpret_cast<BITMAPINFO*>(header), DIB_RGB_COLORS))
    throw ISException(IS_ERR_GETDIBITS);
  // The rows are sized from the header as filled, which must still describe
  // the bitmap and a layout the row conversion knows.
  const bool sameShape = header->biWidth == object.bmWidth && header->biHeight == object.bmHeight &&
                         header->biBitCount == bitCount &&
                         (header->biCompression == BI_RGB || header->biCompression == BI_BITFIELDS);
  if (!sameShape) throw ISException(IS_ERR_GETDIBITS);
  const uint64_t rowBytes = static_cast<uint64_t>(BmpStoredRowBytes(object.bmWidth, bitCount));
  CISBuffer grown(infoBytes + rowBytes * lines);
  if (!grown) throw ISException(IS_ERR_MEMORY);
  std::memcpy(grown.Get(), info.Get(), infoBytes);
  auto* grownInfo = reinterpret_cast<BITMAPINFO*>(grown.Get());
  if (::GetDIBits(screen, bitmap, 0, lines, grown.Get() + infoBytes, grownInfo, DIB_RGB_COLORS) != int(lines))
    throw ISException(IS_ERR_GETDIBITS);
  return grown;
}

// The bottom-up rows of the packed bitmap into top-down red, green, blue.
void ConvertPackedRows(const CISBuffer& packed, uint64_t infoBytes, uint8_t* out) {
  const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(packed.Get());
  const uint8_t* table = packed.Get() + sizeof(BITMAPINFOHEADER);
  CBmpRowLayout layout;
  layout.nBitCount = header->biBitCount;
  ISPalEntry palette[IS_PALETTE_SIZE] = {};
  if (layout.nBitCount <= 8) {
    std::memcpy(palette, table, (size_t{1} << layout.nBitCount) * sizeof(ISPalEntry));
  } else if (header->biCompression == BI_BITFIELDS) {
    layout.nCompression = 3;
    for (int c = 0; c < 3; ++c) layout.arrMasks[c] = LoadU32LE(table + 4 * c);
  }
  layout.pPalette = palette;
  const int32_t width = header->biWidth;
  const int64_t height = header->biHeight;
  const int64_t stored = BmpStoredRowBytes(width, layout.nBitCount);
  const uint8_t* rows = packed.Get() + infoBytes;
  for (int64_t y = 0; y < height; ++y)
    ConvertBmpRow(layout, rows + (height - 1 - y) * stored, width, 24, out + y * int64_t{width} * 3);
}

// Copies the rendered bitmap (not selected anywhere) into the image buffer.
void CopyOut(HDC screen, HBITMAP bitmap, const CPixelSize& size, uint8_t* out) {
  const int caps = ::GetDeviceCaps(screen, RASTERCAPS);
  if (!(caps & RC_DI_BITMAP)) throw ISException(IS_ERR_DEVCAPS);
  CPaletteHandle made;
  if (caps & RC_PALETTE) made = SystemPalette(screen);
  const HPALETTE palette = made ? made.Get() : static_cast<HPALETTE>(::GetStockObject(DEFAULT_PALETTE));
  uint64_t infoBytes = 0;
  const CISBuffer packed = PackedBitmap(screen, bitmap, palette, infoBytes);
  const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(packed.Get());
  if (header->biWidth != size.nWidth || header->biHeight != size.nHeight) throw ISException(IS_ERR_GETDIBITS);
  ConvertPackedRows(packed, infoBytes, out);
}

// ---- Rendering -------------------------------------------------------------------

uint8_t* Render(const char* path, int32_t fallbackWidth, int32_t fallbackHeight, COLORREF background, int32_t* width,
                int32_t* height) {
  CRendererState state;
  const CEnhMetafileHandle metafile = ObtainEnhMetafile(path, fallbackWidth, fallbackHeight, state);
  ENHMETAHEADER header = {};
  header.nSize = kEnhHeaderBytes;
  if (!::GetEnhMetaFileHeader(metafile.Get(), kEnhHeaderBytes, &header)) throw ISException(IS_ERR_METAFILE);

  const CWindowDC screen(HWND{nullptr});
  if (!screen.Get()) throw ISException(IS_ERR_GDI);
  const CPixelSize size = PixelSize(state, header, screen.Get());
  const CMemoryDC memory(::CreateCompatibleDC(screen.Get()));
  if (!memory) throw ISException(IS_ERR_GDI);
  const CBitmapHandle bitmap(::CreateCompatibleBitmap(screen.Get(), size.nWidth, size.nHeight));
  if (!bitmap) throw ISException(IS_ERR_BITMAP);
  CSelectObject selected(memory.Get(), bitmap.Get());
  if (!selected.Ok()) throw ISException(IS_ERR_BITMAP);

  const RECT area = {0, 0, size.nWidth, size.nHeight};
  {
    const CBrushHandle brush(::CreateSolidBrush(background));
    if (!brush) throw ISException(IS_ERR_GDI);
    ::FillRect(memory.Get(), &area, brush.Get());
  }
  ::PlayEnhMetaFile(memory.Get(), metafile.Get(), &area);

  CISBuffer image(uint64_t(size.nWidth) * uint64_t(size.nHeight) * 3);
  if (!image) throw ISException(IS_ERR_MEMORY);
  // The bitmap is copied out only once it is no longer selected.
  selected.Restore();
  CopyOut(screen.Get(), bitmap.Get(), size, image.Get());
  *width = size.nWidth;
  *height = size.nHeight;
  return image.Release();
}

}  // namespace

}  // namespace qv::codec

uint8_t* ISReadMetafile(const char* path, int32_t* width, int32_t* height, int32_t fallbackWidth,
                        int32_t fallbackHeight, uint32_t background, uint32_t /*flags*/) {
  qv::codec::CISOperation op;
  if (!op.Ok()) return nullptr;
  if (width) *width = 0;
  if (height) *height = 0;
  if (!path || !width || !height) return op.Fail<uint8_t*>(IS_ERR_BADPARAM, nullptr);
  // Nothing of the metafile interface is touched for a file that is not there.
  if (::GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) return op.Fail<uint8_t*>(IS_ERR_FILEOPEN, nullptr);
  return op.Run<uint8_t*>(nullptr, [&] {
    return qv::codec::Render(path, fallbackWidth, fallbackHeight, static_cast<COLORREF>(background), width, height);
  });
}
