// The holder's scaled-down load: a picture whose reader hands over its rows
// one at a time is folded into the exact area average as it is decoded, and
// only the part the crop keeps is stored, so the picture never exists at full
// size. The result, the holder's state and the result code are those of Load,
// Resize (method 2) and Crop in turn.
#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <utility>

#include "codec/jpeg.h"
#include "codec/ops/ops.h"
#include "codec/png.h"
#include "codec/source_handle.h"
#include "codec/tiff.h"
#include "show/show_image.h"
#include "show/show_image_formats.h"

namespace qv {

namespace {

// The picture's size as its reader will deliver it (a TIFF turned by its
// orientation is caught when the rows begin).
bool QueryJpegSize(HISSRC s, int32_t& w, int32_t& h) {
  int32_t bits = 0;
  return ISGetJPGDims(s, &w, &h, &bits, nullptr) != 0;
}
bool QueryPngSize(HISSRC s, int32_t& w, int32_t& h) {
  int32_t bits = 0, colourType = 0, interlace = 0;
  return ISGetPNGDims(s, &w, &h, &bits, &colourType, &interlace, nullptr) != 0;
}
bool QueryTiffSize(HISSRC s, int32_t& w, int32_t& h) {
  int32_t bits = 0;
  return ISGetTIFFDims(s, 0, &w, &h, &bits, nullptr) != 0;
}
// A top-down BMP gives its height negative; the read, the rows from the top.
bool QueryBmpSize(HISSRC s, int32_t& w, int32_t& h) {
  int32_t bits = 0;
  if (!ISGetBMPDims(s, &w, &h, &bits, nullptr)) return false;
  if (h < 0 && h != INT32_MIN) h = -h;
  return true;
}
bool QueryPcxSize(HISSRC s, int32_t& w, int32_t& h) {
  int32_t bits = 0;
  return ISGetPCXDims(s, &w, &h, &bits) != 0;
}
bool QueryTgaSize(HISSRC s, int32_t& w, int32_t& h) {
  int32_t bits = 0;
  return ISGetTGADims(s, &w, &h, &bits) != 0;
}
// An 8-bit TGA with a colour map: the 8-bit load takes it as it is. Others
// (greyscale) may be refused by the 8-bit read and loaded at 24 bits as
// another type: they are loaded whole, so that the type comes out alike.
bool QueryMappedTgaSize(HISSRC s, int32_t& w, int32_t& h) {
  std::array<ISPalEntry, IS_PALETTE_SIZE> palette{};
  int32_t count = 0;
  if (!ISGetTGAPalette(s, &count, palette.data())) return false;
  ISSeekSource(s, 0, 0);
  return QueryTgaSize(s, w, h);
}
bool QueryPsdSize(HISSRC s, int32_t& w, int32_t& h) {
  int32_t mode = 0;
  return ISGetPSDDims(s, &w, &h, &mode, nullptr) != 0;
}
int32_t ReadTiffRows(HISSRC s, ISRowReceiver* r) { return ISReadTIFFRows(s, 0, r); }

// A reader that hands over its rows. Rows that a damaged file lacks: some
// readers hand them over as zeros as their whole read leaves them (kept when
// worth it, as a whole load keeps them); the others end the read, and the
// picture is loaded whole so that it comes out as a whole load makes it.
struct CRowReader {
  int32_t type;
  bool (*querySize)(HISSRC, int32_t&, int32_t&);
  int32_t (*readRows)(HISSRC, ISRowReceiver*);
  bool bZeroRows;
};

constexpr CRowReader kRowReaders[] = {
    {kTypeJpeg, QueryJpegSize, ISReadJPGRows, true}, {kTypeJpegGrey, QueryJpegSize, ISReadJPGRows, true},
    {kTypePng, QueryPngSize, ISReadPNGRows, true},   {kTypeTiff, QueryTiffSize, ReadTiffRows, true},
    {kTypePcx, QueryPcxSize, ISReadPCXRows, true},   {kTypePcx8, QueryPcxSize, ISReadPCXRows, true},
    {kTypePsd, QueryPsdSize, ISReadPSDRows, false},  {kTypePsd8, QueryPsdSize, ISReadPSDRows, false},
    {kTypeTga, QueryTgaSize, ISReadTGARows, false},  {kTypeTga8, QueryMappedTgaSize, ISReadTGARows, false},
    {kTypeBmp, QueryBmpSize, ISReadBMPRows, false},  {kTypeBmp8, QueryBmpSize, ISReadBMPRows, false},
    {kTypeBmp1, QueryBmpSize, ISReadBMPRows, false},
};

const CRowReader* FindRowReader(int32_t type) {
  for (const auto& reader : kRowReaders) {
    if (reader.type == type) return &reader;
  }
  return nullptr;
}

// Takes the decoded rows into the area average, which writes the kept part
// into the holder's own buffer. A picture of another size than expected, or a
// kept part that cannot be set up, is refused before the first row.
class CShrinkingReceiver : public ISRowReceiver {
 public:
  CShrinkingReceiver(CShowImage& image, int32_t expectedWidth, int32_t expectedHeight, int32_t width, int32_t height,
                     const ISRect& keep)
      : m_image(image),
        m_nExpectedWidth(expectedWidth),
        m_nExpectedHeight(expectedHeight),
        m_nWidth(width),
        m_nHeight(height),
        m_keep(keep) {}

  int32_t Begin(int32_t width, int32_t height) override {
    m_bRefused = true;
    if (width != m_nExpectedWidth || height != m_nExpectedHeight) return IS_ERR_BADPARAM;
    const int32_t keptWidth = m_keep.right - m_keep.left;
    int32_t result = m_image.Allocate(keptWidth, m_keep.bottom - m_keep.top, 24);
    if (result != IS_ERR_OK) return result;
    if (!m_averager.Start(width, height, m_nWidth, m_nHeight, 3, m_keep, m_image.GetBits(), keptWidth * 3))
      return ISGetLastError();
    m_bRefused = false;
    return IS_ERR_OK;
  }

  int32_t Row(int32_t, const uint8_t* pixels) override {
    return m_averager.AddRow(pixels) ? IS_ERR_OK : ISGetLastError();
  }

  // Begin refused: the picture is to be loaded whole instead.
  bool Refused() const { return m_bRefused; }

 private:
  CShowImage& m_image;
  int32_t m_nExpectedWidth, m_nExpectedHeight;
  int32_t m_nWidth, m_nHeight;
  ISRect m_keep;
  ISRowAverager m_averager;
  bool m_bRefused = false;
};

}  // namespace

namespace {

// What the header of a row-readable picture says: its type and stored size,
// the camera orientation of a JPEG picture and whether a TIFF picture's
// pixels are square (else it is stretched after a whole load).
struct CHeaderSize {
  int32_t type = kTypeNone;
  int32_t width = 0;
  int32_t height = 0;
  int32_t orientation = 1;
  bool squarePixels = true;
};

std::optional<CHeaderSize> ReadHeaderSize(CShowImage& holder, const std::string& path) {
  HISSRC source = ISOpenFileSource(path.c_str());
  if (!source) return std::nullopt;
  const CISSourceHandle closer(source);
  CHeaderSize header;
  header.type = holder.ClassifySource(source, path);
  const CRowReader* reader = FindRowReader(header.type);
  if (!reader) return std::nullopt;
  ISSeekSource(source, 0, 0);
  if (!reader->querySize(source, header.width, header.height) || header.width < 1 || header.height < 1)
    return std::nullopt;
  ISSeekSource(source, 0, 0);
  if (header.type == kTypeJpeg || header.type == kTypeJpegGrey) header.orientation = ISGetJPGOrientation(source);
  int32_t x = 0, y = 0, unit = 1;
  if (header.type == kTypeTiff)
    header.squarePixels = QueryFormatResolution(source, header.type, x, y, unit) && (x == y || x == 0);
  return header;
}

}  // namespace

bool CShowImage::ProbeRowRead(const std::string& path, int32_t& type, int32_t& width, int32_t& height) {
  const std::optional<CHeaderSize> header = ReadHeaderSize(*this, path);
  if (!header) return false;
  type = header->type;
  width = header->width;
  height = header->height;
  // A picture to be turned upright is turned whole.
  return header->squarePixels && (!m_bAutoRotate || header->orientation == 1);
}

bool CShowImage::QueryShownSize(const std::string& path, int32_t& width, int32_t& height) {
  const std::optional<CHeaderSize> header = ReadHeaderSize(*this, path);
  if (!header || !header->squarePixels) return false;
  width = header->width;
  height = header->height;
  // Orientations 5 to 8 turn the picture a quarter.
  if (m_bAutoRotate && header->orientation >= 5 && header->orientation <= 8) std::swap(width, height);
  return true;
}

int32_t CShowImage::LoadScaledDown(const std::string& path, int32_t type, int32_t pictureWidth, int32_t pictureHeight,
                                   int32_t width, int32_t height, const ISRect& keep, bool& refused) {
  refused = false;
  Free();
  HISSRC source = ISOpenFileSource(path.c_str());
  if (!source) return ISGetLastError();
  const CISSourceHandle closer(source);
  const CRowReader* reader = FindRowReader(type);
  if (!reader) {
    refused = true;
    return IS_ERR_BADPARAM;
  }
  CShrinkingReceiver receiver(*this, pictureWidth, pictureHeight, width, height, keep);
  const int32_t read = reader->readRows(source, &receiver);
  if (type == kTypeTiff) m_nPage = 0;
  const int32_t result = ISGetLastError();
  m_strPath = path;
  // A reader that ends at damage leaves the picture to the whole load.
  const bool damaged = result != IS_ERR_OK && result != IS_ERR_CANCELLED;
  if (receiver.Refused() || (damaged && !reader->bZeroRows)) {
    refused = true;
    Free();
    return result;
  }
  if (!read || (result != IS_ERR_OK && !PartialWorthKeeping(source, pictureWidth, pictureHeight))) {
    Free();
    return result;
  }
  m_nType = type;
  m_nPaletteCount = 0;
  // The whole-picture path leaves the palette of a fresh holder where it
  // converts (a picture read at 8 bits), copies (same size) or crops.
  const bool whole = keep.left == 0 && keep.top == 0 && keep.right == width && keep.bottom == height;
  const CHolderFormat* format = FindHolderFormat(type);
  const bool converted = format && format->bits <= 8;
  if (converted || !whole || (width == pictureWidth && height == pictureHeight)) m_Palette.fill(ISPalEntry{});
  ReadResolution(source, type);
  return result;
}

}  // namespace qv
