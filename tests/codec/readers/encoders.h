// Test files made with the libraries' own encoders, and the libraries' own
// decodes of them to compare the readers with.
#pragma once

#include <cstdio>  // before jpeglib.h

#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "codec/codec_test_support.h"

namespace qv::test {

// Deterministic picture content: smooth gradients with a little noise.
Bytes Pattern(uint32_t width, uint32_t height, uint32_t channels, uint32_t seed);
// Deterministic random bytes.
Bytes Noise(size_t count, uint32_t seed);

// ---- JPEG ----
struct CJpegLayout {
  int width = 0;
  int height = 0;
  int components = 3;
  J_COLOR_SPACE colorSpace = JCS_RGB;  // of the pixels given
  J_COLOR_SPACE storeAs = JCS_UNKNOWN;  // JCS_UNKNOWN: libjpeg's choice (CMYK pixels: CMYK)
  int quality = 90;
  bool jfif = true;
  uint8_t densityUnit = 0;
  uint16_t xDensity = 1;
  uint16_t yDensity = 1;
  bool chroma420 = true;
  bool progressive = false;
  std::vector<std::string> comments = {};
  std::vector<std::pair<int, Bytes>> appMarkers = {};  // (1..14, data)
};
Bytes EncodeJpeg(const CJpegLayout& layout, const Bytes& pixels);

struct CReference {
  uint32_t width = 0;
  uint32_t height = 0;
  Bytes pixels = {};
};
// libjpeg's own decode into the given output colour space.
CReference DecodeJpeg(const Bytes& file, J_COLOR_SPACE out);

// ---- PNG ----
struct CPngLayout {
  uint32_t width = 0;
  uint32_t height = 0;
  int bitDepth = 8;
  int colorType = PNG_COLOR_TYPE_RGB;
  bool interlaced = false;
  std::vector<png_color> palette = {};
  std::vector<uint8_t> trnsAlpha = {};  // palette images
  bool hasTrnsColor = false;
  png_color_16 trnsColor{};
  bool hasBackground = false;
  png_color_16 background{};
  double gamma = 0;   // gAMA chunk when above 0
  bool srgb = false;  // sRGB chunk (perceptual intent)
  std::vector<std::pair<std::string, std::string>> texts = {};
  bool hasPhys = false;
  uint32_t physX = 0, physY = 0;
};
// rows: the stored rows, packed as in the file (16-bit samples big-endian).
Bytes EncodePng(const CPngLayout& layout, const Bytes& rows);
// Bytes per stored row of a layout.
size_t PngRowBytes(const CPngLayout& layout);
// libpng's simplified decode into format (PNG_FORMAT_...).
CReference DecodePng(const Bytes& file, uint32_t format);

// ---- TIFF ----
struct CTiffPage {
  uint32_t width = 0;
  uint32_t height = 0;
  uint16_t bits = 8;
  uint16_t samples = 1;
  uint16_t photometric = PHOTOMETRIC_MINISBLACK;
  bool writePhotometric = true;
  bool planar = false;  // each sample in a plane of its own
  uint16_t compression = COMPRESSION_NONE;
  uint16_t orientation = 0;  // 0: no tag
  uint32_t tile = 0;         // tile width and length; 0: strips
  uint32_t rowsPerStrip = 0;  // 0: libtiff's default
  std::vector<uint16_t> red = {}, green = {}, blue = {};  // ColorMap
  float xResolution = 0, yResolution = 0;  // 0: no tag
  uint16_t resolutionUnit = 0;
  Bytes rows = {};  // stored rows, packed as in the file (planar: as a contiguous page holds them)
};
size_t TiffRowBytes(const CTiffPage& page);
// The same picture stored contiguously in strips at 8 bits per sample, each
// sample of 1, 2 or 4 bits raised as v x 255 / (2^bits - 1).
CTiffPage TiffAtEightBits(const CTiffPage& page);
void WriteTiff(const std::string& path, const std::vector<CTiffPage>& pages);
// libtiff's RGBA decode of a page, top row first, 4 bytes per pixel.
CReference DecodeTiffRgba(const std::string& path, int page);

}  // namespace qv::test
