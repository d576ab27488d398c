// The holder's scaled-down load: a picture whose reader hands over its rows
// one at a time (JPEG, PNG, TIFF) is folded into the exact area average as it
// is decoded, and only the part the crop keeps is stored, so the picture never
// exists at full size. The result, the holder's state and the result code are
// those of Load, Resize (method 2) and Crop in turn.
#include <algorithm>

#include "codec/jpeg.h"
#include "codec/ops/ops.h"
#include "codec/png.h"
#include "codec/source_handle.h"
#include "codec/tiff.h"
#include "show/show_image.h"
#include "show/show_image_formats.h"

namespace qv {

namespace {

bool HasRowRead(int32_t type) {
  return type == kTypeJpeg || type == kTypeJpegGrey || type == kTypePng || type == kTypeTiff;
}

// The picture's size as its reader will deliver it (a TIFF turned by its
// orientation is caught when the rows begin).
bool QuerySize(HISSRC source, int32_t type, int32_t& width, int32_t& height) {
  int32_t bits = 0, colourType = 0, interlace = 0;
  switch (type) {
    case kTypeJpeg:
    case kTypeJpegGrey:
      return ISGetJPGDims(source, &width, &height, &bits, nullptr) != 0;
    case kTypePng:
      return ISGetPNGDims(source, &width, &height, &bits, &colourType, &interlace, nullptr) != 0;
    case kTypeTiff:
      return ISGetTIFFDims(source, 0, &width, &height, &bits, nullptr) != 0;
    default:
      return false;
  }
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

bool CShowImage::ProbeRowRead(const std::string& path, int32_t& type, int32_t& width, int32_t& height) {
  HISSRC source = ISOpenFileSource(path.c_str());
  if (!source) return false;
  const CISSourceHandle closer(source);
  type = ClassifySource(source, path);
  if (!HasRowRead(type)) return false;
  ISSeekSource(source, 0, 0);
  if (!QuerySize(source, type, width, height) || width < 1 || height < 1) return false;
  if (type == kTypeJpeg || type == kTypeJpegGrey) {
    // A picture to be turned upright is turned whole.
    ISSeekSource(source, 0, 0);
    return !m_bAutoRotate || ISGetJPGOrientation(source) == 1;
  }
  if (type != kTypeTiff) return true;
  // Pixels that are not square are stretched after a whole load.
  int32_t x = 0, y = 0, unit = 1;
  ISSeekSource(source, 0, 0);
  return QueryFormatResolution(source, type, x, y, unit) && (x == y || x == 0);
}

int32_t CShowImage::LoadScaledDown(const std::string& path, int32_t type, int32_t pictureWidth, int32_t pictureHeight,
                                   int32_t width, int32_t height, const ISRect& keep, bool& refused) {
  refused = false;
  Free();
  HISSRC source = ISOpenFileSource(path.c_str());
  if (!source) return ISGetLastError();
  const CISSourceHandle closer(source);
  CShrinkingReceiver receiver(*this, pictureWidth, pictureHeight, width, height, keep);
  int32_t read = 0;
  if (type == kTypePng) {
    read = ISReadPNGRows(source, &receiver);
  } else if (type == kTypeTiff) {
    read = ISReadTIFFRows(source, 0, &receiver);
    m_nPage = 0;
  } else {
    read = ISReadJPGRows(source, &receiver);
  }
  const int32_t result = ISGetLastError();
  m_strPath = path;
  if (receiver.Refused() || !read ||
      (result != IS_ERR_OK && !PartialWorthKeeping(source, pictureWidth, pictureHeight))) {
    refused = receiver.Refused();
    Free();
    return result;
  }
  m_nType = type;
  m_nPaletteCount = 0;
  // The whole-picture path leaves the palette of a fresh holder where it
  // converts (greyscale JPEG), copies (same size) or crops.
  const bool whole = keep.left == 0 && keep.top == 0 && keep.right == width && keep.bottom == height;
  if (type == kTypeJpegGrey || !whole || (width == pictureWidth && height == pictureHeight))
    m_Palette.fill(ISPalEntry{});
  ReadResolution(source, type);
  return result;
}

}  // namespace qv
