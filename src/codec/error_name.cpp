// Names of the codec's error codes, for messages and tools.
#include "codec/codec.h"

const char* ISErrorName(int32_t code) {
  switch (code) {
    case IS_ERR_OK:
      return "IS_ERR_OK";
    case IS_ERR_MEMORY:
      return "IS_ERR_MEMORY";
    case IS_ERR_FILEOPEN:
      return "IS_ERR_FILEOPEN";
    case IS_ERR_FILEREAD:
      return "IS_ERR_FILEREAD";
    case IS_ERR_BADPARAM:
      return "IS_ERR_BADPARAM";
    case IS_ERR_NOTBMP:
      return "IS_ERR_NOTBMP";
    case IS_ERR_BMPRLE:
      return "IS_ERR_BMPRLE";
    case IS_ERR_JPEG:
      return "IS_ERR_JPEG";
    case IS_ERR_GDI:
      return "IS_ERR_GDI";
    case IS_ERR_CANCELLED:
      return "IS_ERR_CANCELLED";
    case IS_ERR_PNG:
      return "IS_ERR_PNG";
    case IS_ERR_PNGINIT:
      return "IS_ERR_PNGINIT";
    case IS_ERR_OUTDEPTH:
      return "IS_ERR_OUTDEPTH";
    case IS_ERR_TIFF:
      return "IS_ERR_TIFF";
    case IS_ERR_NOTPCX:
      return "IS_ERR_NOTPCX";
    case IS_ERR_BITMAP:
      return "IS_ERR_BITMAP";
    case IS_ERR_PCXEND:
      return "IS_ERR_PCXEND";
    case IS_ERR_GETDIBITS:
      return "IS_ERR_GETDIBITS";
    case IS_ERR_DEVCAPS:
      return "IS_ERR_DEVCAPS";
    case IS_ERR_METAFILE:
      return "IS_ERR_METAFILE";
    case IS_ERR_DEPTH:
      return "IS_ERR_DEPTH";
    case IS_ERR_BLIT:
      return "IS_ERR_BLIT";
    case IS_ERR_NOTTGA:
      return "IS_ERR_NOTTGA";
    case IS_ERR_MAKEBITMAP:
      return "IS_ERR_MAKEBITMAP";
    case IS_ERR_SELECTBITMAP:
      return "IS_ERR_SELECTBITMAP";
    case IS_ERR_BADSOURCE:
      return "IS_ERR_BADSOURCE";
    case IS_ERR_WMFCONVERT:
      return "IS_ERR_WMFCONVERT";
    case IS_ERR_NOTPSD:
      return "IS_ERR_NOTPSD";
    case IS_ERR_PSDFORMAT:
      return "IS_ERR_PSDFORMAT";
    case IS_ERR_NOTWBMP:
      return "IS_ERR_NOTWBMP";
    case IS_ERR_NOSTATE:
      return "IS_ERR_NOSTATE";
    case IS_ERR_NOTPCD:
      return "IS_ERR_NOTPCD";
    case IS_ERR_PCDOVERVIEW:
      return "IS_ERR_PCDOVERVIEW";
    case IS_ERR_PSDRESOURCES:
      return "IS_ERR_PSDRESOURCES";
    case IS_ERR_FILTERSIZE:
      return "IS_ERR_FILTERSIZE";
    default:
      return "unknown error";
  }
}
