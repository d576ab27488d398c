// Image operations of the codec library: resampling, crop, pixel-format
// conversion, colour reduction and the packed device-independent bitmap.
//
// Every operation takes the source (buffer, width, height, stride) and the
// destination (buffer, width, height, stride) separately and never allocates
// the output image. Results are 1 on success and 0 on failure; the outcome is
// the calling thread's last error (ISGetLastError). Argument checks come first:
// a failed check gives IS_ERR_BADPARAM and leaves the destination untouched.
// Dimensions, strides and counts are signed 32-bit; a negative one is refused.
// Long operations report progress through the thread's callback and stop with
// IS_ERR_CANCELLED when it returns 0 (what was written so far stays).
//
// The device-bitmap operations (Windows only) are in codec/ops/device_bitmap.h.
#pragma once

#include <cstdint>
#include <memory>

#include "codec/codec.h"

// left, top, right, bottom; width = right - left and height = bottom - top,
// taken as unsigned values.
struct ISRect {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
};

// ---- Resampling of whole-byte pixels (1..n bytes per pixel) ------------------

// Bilinear; enlarging steps use (source - step) / destination. Same-size copy.
int32_t ISResizeBilinear(const uint8_t* source, int32_t sourceWidth, int32_t sourceHeight, int32_t sourceStride,
                         uint8_t* dest, int32_t destWidth, int32_t destHeight, int32_t destStride, int32_t channels);

// Shrinking only. mode bit 0: 1 = exact area average, 0 = block average.
int32_t ISResizeAreaAverage(const uint8_t* source, int32_t sourceWidth, int32_t sourceHeight, int32_t sourceStride,
                            uint8_t* dest, int32_t destWidth, int32_t destHeight, int32_t destStride, int32_t channels,
                            uint32_t mode);

// Nearest neighbour, filled channel by channel (progress per channel).
int32_t ISResizeNearest(const uint8_t* source, int32_t sourceWidth, int32_t sourceHeight, int32_t sourceStride,
                        uint8_t* dest, int32_t destWidth, int32_t destHeight, int32_t destStride, int32_t channels);

// Cubic convolution (parameter -1), rounded and clamped to 0..255.
int32_t ISResizeBicubic(const uint8_t* source, int32_t sourceWidth, int32_t sourceHeight, int32_t sourceStride,
                        uint8_t* dest, int32_t destWidth, int32_t destHeight, int32_t destStride, int32_t channels);

// Filter codes of ISResizeFiltered.
inline constexpr int32_t IS_FILTER_BOX = 0;
inline constexpr int32_t IS_FILTER_TRIANGLE = 1;
inline constexpr int32_t IS_FILTER_HAMMING = 2;
inline constexpr int32_t IS_FILTER_GAUSSIAN = 3;
inline constexpr int32_t IS_FILTER_QUADRATIC = 4;
inline constexpr int32_t IS_FILTER_BSPLINE = 5;
inline constexpr int32_t IS_FILTER_HERMITE = 6;
inline constexpr int32_t IS_FILTER_BSPLINE2 = 7;
inline constexpr int32_t IS_FILTER_LANCZOS = 8;
inline constexpr int32_t IS_FILTER_MITCHELL = 9;
inline constexpr int32_t IS_FILTER_SINC = 10;
inline constexpr int32_t IS_FILTER_HERMITE2 = 11;
inline constexpr int32_t IS_FILTER_HANNING = 12;
inline constexpr int32_t IS_FILTER_CATMULLROM = 13;
inline constexpr int32_t IS_FILTER_COUNT = 14;

// Separable filter with a support-scaled kernel; processed column by column
// (progress per destination column). IS_ERR_FILTERSIZE when the destination is
// smaller than the kernel's support rounded up.
int32_t ISResizeFiltered(const uint8_t* source, int32_t sourceWidth, int32_t sourceHeight, int32_t sourceStride,
                         uint8_t* dest, int32_t destWidth, int32_t destHeight, int32_t destStride, int32_t channels,
                         int32_t filter);

// ---- Resampling of 8-bit indexed and 1-bit images ----------------------------

// Bilinear on the palette colours, mapped back to the palette by nearest colour.
int32_t ISResizeBilinear8(const uint8_t* source, int32_t sourceWidth, int32_t sourceHeight, int32_t sourceStride,
                          uint8_t* dest, int32_t destWidth, int32_t destHeight, int32_t destStride,
                          int32_t paletteCount, const ISPalEntry* palette);

// Exact area average on the palette colours (shrinking only). Note the
// argument order: palette before its entry count.
int32_t ISResizeAreaAverage8(const uint8_t* source, int32_t sourceWidth, int32_t sourceHeight, int32_t sourceStride,
                             uint8_t* dest, int32_t destWidth, int32_t destHeight, int32_t destStride,
                             const ISPalEntry* palette, int32_t paletteCount);

// Bilinear on bits: a destination bit is set when the weighted sum exceeds 0.5.
int32_t ISResize1Bit(const uint8_t* source, int32_t sourceWidth, int32_t sourceHeight, int32_t sourceStride,
                     uint8_t* dest, int32_t destWidth, int32_t destHeight, int32_t destStride);

// Area coverage of set bits on 0..255 (shrinking only); a bit is set when
// threshold < coverage.
int32_t ISResize1BitThreshold(const uint8_t* source, int32_t sourceWidth, int32_t sourceHeight, int32_t sourceStride,
                              uint8_t* dest, int32_t destWidth, int32_t destHeight, int32_t destStride,
                              int32_t threshold);

// counts[0] = number of 0 pixels, counts[1] = number of 1 pixels.
int32_t ISCount1BitPixels(const uint8_t* source, int32_t width, int32_t height, int32_t stride, uint64_t counts[2]);

// ---- Exact area average of rows as they arrive ----------------------------------

namespace qv::codec::ops {
class CAreaEngine;
}

// The exact area average of ISResizeAreaAverage (mode 1) for a source that
// arrives one row at a time from the top, so that the whole source never has
// to exist. Only the destination part `keep` is computed, into dest at its
// top left; its bytes equal that part of the whole-picture call's result.
class ISRowAverager {
 public:
  ISRowAverager();
  ~ISRowAverager();
  ISRowAverager(const ISRowAverager&) = delete;
  ISRowAverager& operator=(const ISRowAverager&) = delete;

  // 1 when ready. 0 with IS_ERR_BADPARAM for sizes ISResizeAreaAverage refuses,
  // an empty keep rectangle or one not inside the destination, or a stride
  // that does not hold its rows; IS_ERR_MEMORY.
  int32_t Start(int32_t sourceWidth, int32_t sourceHeight, int32_t destWidth, int32_t destHeight, int32_t channels,
                ISRect keep, uint8_t* dest, int32_t destStride);
  // Folds in the next source row (sourceWidth x channels bytes); 0 with
  // IS_ERR_BADPARAM when not started or every row has been taken, or with
  // IS_ERR_MEMORY.
  int32_t AddRow(const uint8_t* row);
  // Source rows taken so far; the kept part is complete when all have been.
  int32_t RowsAdded() const { return m_nRowsAdded; }

 private:
  std::unique_ptr<qv::codec::ops::CAreaEngine> m_pEngine;
  int32_t m_nSourceHeight = 0;
  int32_t m_nRowsAdded = 0;
};

// ---- Crop and conversion -----------------------------------------------------

// Copies the rectangle (which must lie inside the image) to the destination.
int32_t ISCropImage(const uint8_t* source, int32_t sourceWidth, int32_t sourceHeight, int32_t sourceStride,
                    uint8_t* dest, int32_t destStride, ISRect rect, int32_t bytesPerPixel);
// Turns or mirrors a picture (rows packed, bytesPerPixel bytes a pixel) by a
// camera orientation code 1 to 8 (see ISGetJPGOrientation) into dest, which
// must not be the source; codes 5 to 8 exchange width and height.
int32_t ISOrientImage(const uint8_t* source, int32_t width, int32_t height, int32_t bytesPerPixel, int32_t orientation,
                      uint8_t* dest);
// The same for 1-bit rows; destination bits past the width keep their values.
int32_t ISCrop1Bit(const uint8_t* source, int32_t sourceWidth, int32_t sourceHeight, int32_t sourceStride,
                   uint8_t* dest, int32_t destStride, ISRect rect);

// width x height pixels of 1..8 bits as one continuous stream (most significant
// bits first, no row padding) into one byte per pixel.
int32_t ISUnpackBits(const uint8_t* source, int32_t width, int32_t height, int32_t bitsPerPixel, uint8_t* dest);

// flags bit 0 of ISPaletteToRGB: copy entry bytes 0, 1, 2 as they are (blue
// first) instead of red, green, blue.
inline constexpr uint32_t IS_PAL2RGB_KEEPORDER = 1;

// 8-bit indices to 24-bit colour through the palette.
int32_t ISPaletteToRGB(const uint8_t* source, int32_t width, int32_t height, int32_t sourceStride, uint8_t* dest,
                       int32_t destStride, int32_t paletteCount, const ISPalEntry* palette, uint32_t flags);

// Flags of ISQuantizeRGB and ISMapRGBToPalette.
inline constexpr uint32_t IS_QUANT_SWAPRB = 1;  // source pixels are blue, green, red (the palette's order)
inline constexpr uint32_t IS_QUANT_32BIT = 2;   // 4 bytes per source pixel
inline constexpr uint32_t IS_QUANT_OCTREE = 8;  // octree palette builder instead of the colour tree

// Builds a palette of at most colorCount (1..256) entries for a 24-bit image
// and maps the image to it. builtCount, when given, receives the number of
// palette entries the builder produced.
int32_t ISQuantizeRGB(const uint8_t* source, int32_t width, int32_t height, int32_t sourceStride, uint8_t* dest,
                      int32_t destStride, int32_t colorCount, ISPalEntry* palette, int32_t dither, int32_t ditherLevel,
                      uint32_t flags, int32_t* builtCount = nullptr);

// Maps a 24-bit image to the first paletteCount entries of palette, with
// Floyd-Steinberg dithering (dither != 0) or a one-pixel carry, each error
// limited to +-ditherLevel.
int32_t ISMapRGBToPalette(const uint8_t* source, int32_t width, int32_t height, int32_t sourceStride, uint8_t* dest,
                          int32_t destStride, int32_t paletteCount, const ISPalEntry* palette, int32_t dither,
                          int32_t ditherLevel, uint32_t flags);

// ---- Packed device-independent bitmap ----------------------------------------

// Bytes of the bitmap header at the start of a packed bitmap.
inline constexpr uint32_t IS_DIB_HEADER_SIZE = 40;

// Bytes per row of a 24-bit device-independent bitmap (padded to 4 bytes).
inline constexpr int64_t ISDIBRowSize(int64_t width) { return ((width * 24 + 31) / 32) * 4; }

// A packed 24-bit bitmap of the image (40-byte header, rows bottom-up, blue
// first, each row padded): a global-memory block the caller frees with
// qv::GlobalMemFree. size, when given, receives its length. Null with
// IS_ERR_BADPARAM (null image, width or height below 1) or IS_ERR_MEMORY.
uint8_t* ISMakePackedDIB(const uint8_t* image, int32_t width, int32_t height, uint64_t* size);
