#include "show/show_image_formats.h"

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

constexpr CHolderFormat kFormats[] = {
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
  int32_t w = 0, h = 0, bits = 0;
  switch (type) {
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
    default:
      return false;
  }
}

int32_t ReadHolderMetafile(const std::string&, uint8_t*& bits, int32_t&, int32_t&) {
  bits = nullptr;
  return IS_ERR_BADPARAM;
}

}  // namespace qv
