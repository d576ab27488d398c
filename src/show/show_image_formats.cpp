#include "show/show_image_formats.h"

#include "codec/jpeg.h"
#include "codec/png.h"
#include "codec/tiff.h"
#include "show/show_image.h"

namespace qv {

namespace {

// ---- BMP, WBMP, PCX ----------------------------------------------------------

uint8_t* ReadBmp(HISSRC s, int32_t* w, int32_t* h, int32_t bits, ISPalEntry* pal, int32_t) {
  return ISReadBMP(s, w, h, bits, bits <= 8 ? pal : nullptr, 0);
}
uint8_t* ReadPcx(HISSRC s, int32_t* w, int32_t* h, int32_t bits, ISPalEntry* pal, int32_t) {
  return ISReadPCX(s, w, h, bits, bits <= 8 ? pal : nullptr, 0);
}
uint8_t* ReadWbmp(HISSRC s, int32_t* w, int32_t* h, int32_t bits, ISPalEntry* pal, int32_t) {
  return ISReadWBMP(s, w, h, pal, bits, 0);
}

// ---- JPEG, PNG ------------------------------------------------------------------

uint8_t* ReadJpeg(HISSRC s, int32_t* w, int32_t* h, int32_t bits, ISPalEntry*, int32_t) {
  return ISReadJPG(s, w, h, bits, 0);
}
uint8_t* ReadPng(HISSRC s, int32_t* w, int32_t* h, int32_t bits, ISPalEntry* pal, int32_t) {
  return ISReadPNG(s, w, h, bits, bits <= 8 ? pal : nullptr, 0);
}
int32_t QueryPngPalette(HISSRC s, int32_t* count, ISPalEntry* pal) {
  ISGetPNGPalette(s, count, pal);
  return ISGetLastError() == IS_ERR_OK;
}

// ---- TIFF ------------------------------------------------------------------------

uint8_t* ReadTiff(HISSRC s, int32_t* w, int32_t* h, int32_t bits, ISPalEntry* pal, int32_t page) {
  return ISReadTIFF(s, w, h, bits, bits <= 8 ? pal : nullptr, page, 0);
}

// ---- TGA, PSD, PhotoCD -------------------------------------------------------------

uint8_t* ReadTga(HISSRC s, int32_t* w, int32_t* h, int32_t bits, ISPalEntry* pal, int32_t) {
  return ISReadTGA(s, w, h, bits, bits <= 8 ? pal : nullptr, 0);
}
uint8_t* ReadPsd(HISSRC s, int32_t* w, int32_t* h, int32_t bits, ISPalEntry* pal, int32_t) {
  return ISReadPSD(s, w, h, bits, bits <= 8 ? pal : nullptr, 0);
}
// The holder always takes the PhotoCD image at its third resolution (768 x 512).
uint8_t* ReadPcd(HISSRC s, int32_t* w, int32_t* h, int32_t, ISPalEntry*, int32_t) { return ISReadPCD(s, w, h, 3, 0); }

constexpr CHolderFormat kFormats[] = {
    {kTypeJpeg, 24, EHolderPalette::kNone, ReadJpeg, nullptr},
    {kTypeJpegGrey, 8, EHolderPalette::kGreyRamp, ReadJpeg, nullptr},
    {kTypePng, 24, EHolderPalette::kNone, ReadPng, nullptr},
    {kTypePngPalette, 8, EHolderPalette::kQuery, ReadPng, QueryPngPalette},
    {kTypePng1, 1, EHolderPalette::kQuery, ReadPng, QueryPngPalette},
    {kTypeTiff, 24, EHolderPalette::kNone, ReadTiff, nullptr},
    {kTypeTiff8, 8, EHolderPalette::kFromRead256, ReadTiff, nullptr},
    {kTypeTiff1, 1, EHolderPalette::kFixedMono, ReadTiff, nullptr},
    {kTypeTga, 24, EHolderPalette::kNone, ReadTga, nullptr},
    {kTypeTga8, 8, EHolderPalette::kQuery, ReadTga, ISGetTGAPalette},
    {kTypePsd, 24, EHolderPalette::kNone, ReadPsd, nullptr},
    {kTypePsd8, 8, EHolderPalette::kQuery, ReadPsd, ISGetPSDPalette},
    {kTypePcd, 24, EHolderPalette::kNone, ReadPcd, nullptr},
    {kTypeBmp, 24, EHolderPalette::kNone, ReadBmp, nullptr},
    {kTypeBmp8, 8, EHolderPalette::kQuery, ReadBmp, ISGetBMPPalette},
    {kTypeBmp1, 1, EHolderPalette::kQuery, ReadBmp, ISGetBMPPalette},
    {kTypePcx, 24, EHolderPalette::kNone, ReadPcx, nullptr},
    {kTypePcx8, 8, EHolderPalette::kQuery, ReadPcx, ISGetPCXPalette},
    {kTypeWbmp, 8, EHolderPalette::kFromRead2, ReadWbmp, nullptr},
};

}  // namespace

const CHolderFormat* FindHolderFormat(int32_t type) {
  for (const auto& format : kFormats) {
    if (format.type == type) return &format;
  }
  return nullptr;
}

int32_t TypeFromGuess(int32_t guess) {
  switch (guess) {
    case IS_FILETYPE_BMP: return kTypeBmp;
    case IS_FILETYPE_JPEG: return kTypeJpeg;
    case IS_FILETYPE_PNG: return kTypePng;
    case IS_FILETYPE_PCX: return kTypePcx;
    case IS_FILETYPE_TIFF: return kTypeTiff;
    case IS_FILETYPE_WMF: return kTypeWmf;
    case IS_FILETYPE_EMF: return kTypeEmf;
    case IS_FILETYPE_PSD: return kTypePsd;
    case IS_FILETYPE_WBMP: return kTypeWbmp;
    case IS_FILETYPE_TGA: return kTypeTga;
    case IS_FILETYPE_PCD: return kTypePcd;
    default: return kTypeNone;
  }
}

int32_t RefineTypeByDims(HISSRC source, int32_t type) {
  int32_t w = 0, h = 0, bits = 0, colourType = 0, interlace = 0, mode = 0;
  switch (type) {
    case kTypeJpeg:
      if (ISGetJPGDims(source, &w, &h, &bits, nullptr) && bits <= 8) return kTypeJpegGrey;
      return type;
    case kTypePng:
      if (!ISGetPNGDims(source, &w, &h, &bits, &colourType, &interlace, nullptr)) return type;
      if (bits == 1) return kTypePng1;  // whatever the colour type
      if (bits <= 8 && colourType == 3) return kTypePngPalette;
      return type;
    case kTypeTiff:
      if (ISGetTIFFDims(source, 0, &w, &h, &bits, nullptr) && bits <= 8) return bits == 1 ? kTypeTiff1 : kTypeTiff8;
      return type;
    case kTypeTga:
      if (ISGetTGADims(source, &w, &h, &bits) && bits <= 8) return kTypeTga8;
      return type;
    case kTypePsd:
      // Bitmap, greyscale, indexed and duotone pictures are read as 8 bits.
      if (ISGetPSDDims(source, &w, &h, &mode, nullptr) && (mode == 0 || mode == 1 || mode == 2 || mode == 8))
        return kTypePsd8;
      return type;
    case kTypeBmp:
      if (ISGetBMPDims(source, &w, &h, &bits, nullptr) && bits <= 8) return bits == 1 ? kTypeBmp1 : kTypeBmp8;
      return type;
    case kTypePcx:
      if (ISGetPCXDims(source, &w, &h, &bits) && bits <= 8) return kTypePcx8;
      return type;
    case kTypeWbmp:
      ISGetWBMPDims(source, &w, &h);  // asked, answer not used
      return type;
    default:
      return type;
  }
}

bool QueryFormatResolution(HISSRC source, int32_t type, int32_t& x, int32_t& y, int32_t& unit) {
  int32_t w = 0, h = 0, bits = 0;
  ISResolution res{};
  switch (type) {
    case kTypeBmp:
    case kTypeBmp8:
    case kTypeBmp1:
      // BMP stores pixels per metre; the query gives whole pixels per centimetre.
      if (!ISGetBMPDims(source, &w, &h, &bits, &res)) return false;
      x = res.x;
      y = res.y;
      unit = 3;
      return true;
    case kTypeJpeg:
    case kTypeJpegGrey:
      // JFIF density: unit 1 dots per inch, 2 per centimetre, 0 aspect only.
      if (!ISGetJPGDims(source, &w, &h, &bits, &res)) return false;
      x = res.x;
      y = res.y;
      unit = res.unit == 1 ? 2 : res.unit == 2 ? 3 : 1;
      return true;
    case kTypeTiff:
    case kTypeTiff8:
    case kTypeTiff1:
      if (!ISGetTIFFDims(source, 0, &w, &h, &bits, &res)) return false;
      x = res.x;
      y = res.y;
      unit = res.unit == 2 || res.unit == 3 ? res.unit : 1;
      return true;
    case kTypePng:
    case kTypePngPalette:
    case kTypePng1: {
      // pHYs: unit 1 is pixels per metre, kept as whole pixels per centimetre.
      int32_t colourType = 0, interlace = 0;
      if (!ISGetPNGDims(source, &w, &h, &bits, &colourType, &interlace, &res)) return false;
      x = res.unit == 1 ? res.x / 100 : res.x;
      y = res.unit == 1 ? res.y / 100 : res.y;
      unit = res.unit == 1 ? 3 : 1;
      return true;
    }
    default:
      return false;
  }
}

}  // namespace qv
