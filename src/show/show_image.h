// CShowImage: the show's picture object. It loads a picture file (format from
// its contents, else from its extension), holds the decoded pixels with their
// palette and resolution, and converts, resamples and crops them for the
// slide. Every picture ends a load at 24 bits per pixel.
//
// Result codes: 0 success; 1 the holder's own allocation failed; 2 empty path
// given to Load; 5 the holder (or its source) is empty or the type cannot be
// determined; any other code is the codec library's last error.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "codec/codec.h"
#include "codec/ops/ops.h"

namespace qv {

// The holder's type codes (not those of ISGuessFileType).
enum EShowImageType : int32_t {
  kTypeJpeg = 0,
  kTypeJpegGrey = 1,
  kTypeBmp = 2,
  kTypeBmp8 = 3,
  kTypePcx = 4,
  kTypePcx8 = 5,
  kTypePng = 6,
  kTypePngPalette = 7,
  kTypeTiff = 8,
  kTypeTiff8 = 9,
  kTypeTga = 10,
  kTypeTga8 = 11,
  kTypeWmf = 12,
  kTypeEmf = 13,
  kTypePsd = 14,
  kTypePsd8 = 15,
  kTypeWbmp = 16,
  kTypeTiff1 = 17,
  kTypePng1 = 18,
  kTypeBmp1 = 19,
  kTypePcd = 20,
  kTypeNone = 21,  // nothing loaded; as an argument: detect
};

class CShowImage {
 public:
  CShowImage() = default;
  CShowImage(const CShowImage&) = delete;
  CShowImage& operator=(const CShowImage&) = delete;
  virtual ~CShowImage();
  // Releases the pixels; resolution, type, path and page stay.
  virtual void Free();

  // Used by the show.
  int32_t Load(const std::string& path, int32_t type, int32_t page);
  int32_t Resize(int32_t width, int32_t height, int32_t method);
  int32_t Crop(int32_t left, int32_t top, int32_t right, int32_t bottom);
  uint8_t* GetBits() const { return m_bCodecBuffer ? m_pCodecBits : m_pOwnBits; }
  bool IsEmpty() const { return GetBits() == nullptr; }

  // The slide of a big picture without the picture at full size: whether
  // path can be read row by row (its type, detected as Load does, and the
  // size it loads at), and the load itself, scaled down to width x height by
  // the exact area average and cropped to keep. Holder state and result are
  // those of Load, Resize(width, height, 2) and Crop(keep); refused is set
  // (and the holder left empty) when the picture must be loaded whole.
  bool ProbeRowRead(const std::string& path, int32_t& type, int32_t& width, int32_t& height);
  // The size path would load at, turned upright as Load turns it, read from
  // the file's header without decoding; false when its reader cannot say
  // (or the picture would be stretched after its load).
  bool QueryShownSize(const std::string& path, int32_t& width, int32_t& height);
  int32_t LoadScaledDown(const std::string& path, int32_t type, int32_t pictureWidth, int32_t pictureHeight,
                         int32_t width, int32_t height, const ISRect& keep, bool& refused);

  // Resize(width, height, 2), then Crop(keep) when crop is set: the same
  // result, state and pixels, but a picture that shrinks is folded straight
  // into the part the crop keeps, so no more is scaled than is kept.
  void ResizeAndCrop(int32_t width, int32_t height, bool crop, const ISRect& keep);

  // The steps behind them.
  int32_t DetectType(const std::string& path);
  int32_t ClassifySource(HISSRC source, const std::string& path);
  static int32_t TypeFromExtension(const std::string& path);
  int32_t LoadFromSource(HISSRC source, int32_t type, int32_t page);
  // Whether a read that failed part-way left a picture worth converting.
  static bool PartialWorthKeeping(HISSRC source, int32_t width, int32_t height);
  void ReadResolution(HISSRC source, int32_t type);
  int32_t ConvertTo24();
  int32_t ConvertTo24Into(CShowImage& target) const;
  int32_t ExpandTo8Into(CShowImage& target) const;
  int32_t ResizeFrom(const CShowImage& source, int32_t width, int32_t height, int32_t method);
  int32_t Allocate(int32_t width, int32_t height, int32_t bits);
  int32_t TakeOver(CShowImage& source);
  int32_t Duplicate(const CShowImage& source);
  void CopyAttributes(const CShowImage& source);
  void CopyInfo(const CShowImage& source);

  int32_t RowBytes() const { return RowBytes(m_nWidth, m_nBitsPerPixel); }
  static int32_t RowBytes(int32_t width, int32_t bits);
  // Bytes of a width x height picture at bits per pixel, in 64 bits; -1 when
  // the size is negative or the depth unknown.
  static int64_t BufferSize(int32_t width, int32_t height, int32_t bits);

  int32_t m_nXRes = 0;
  int32_t m_nYRes = 0;
  int32_t m_nResUnit = 0;  // 1 no unit, 2 per inch, 3 per centimetre
  int32_t m_nWidth = 0;
  int32_t m_nHeight = 0;
  int32_t m_nBitsPerPixel = 0;  // 1, 8 or 24; 0 when empty
  int32_t m_nPaletteCount = 0;
  std::array<ISPalEntry, IS_PALETTE_SIZE> m_Palette{};
  int32_t m_nType = kTypeNone;
  std::string m_strPath;
  int32_t m_nPage = 0;
  uint8_t m_bAutoRotate = 1;   // JPEG pictures are turned upright by their camera orientation
  uint8_t m_bCodecBuffer = 1;  // the buffer in use came from the codec library
  uint8_t* m_pCodecBits = nullptr;
  uint8_t* m_pOwnBits = nullptr;

 private:
  // Takes a codec buffer of the read, with its size and type.
  void Adopt(uint8_t* codecBits, int32_t width, int32_t height, int32_t type);
  int32_t LoadMetafile(const std::string& path, int32_t type);
  int32_t CorrectTiffAspect();
  // Turns a loaded JPEG picture as its camera orientation says.
  void TurnUpright(HISSRC source);
};

}  // namespace qv
