// detect and decode: the codec's format detection and readers.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_args.h"
#include "cli/cli_commands.h"
#include "cli/cli_ppm.h"
#include "codec/codec.h"
#include "codec/jpeg.h"
#include "codec/png.h"
#include "codec/source_handle.h"
#include "codec/tiff.h"
#include "platform/global_memory.h"
#include "platform/text.h"
#include "show/show_image_formats.h"

namespace qv::cli {

namespace {

const char* const kFileTypeNames[] = {"UNKNOWN", "BMP",          "GIF", "JPEG", "PNG", "PCX",     "TIFF",
                                      "WMF",     "EMF",          "PAX", "PSD",  "TLA", "TLAU",    "WBMP",
                                      "TGA",     "PCD_OVERVIEW", "PCD", "JP2",  "J2K", "COMPOUND"};

const char* FileTypeName(int32_t code) {
  const int32_t count = static_cast<int32_t>(sizeof kFileTypeNames / sizeof kFileTypeNames[0]);
  return code >= 0 && code < count ? kFileTypeNames[code] : "UNKNOWN";
}

// One reader of the decode command. read fills the palette for 1 and 8 bits
// unless palette is set, which is then asked after the read (source rewound).
// Metafiles are rendered from the path instead, at 24 bits (readPath gives the
// result code).
struct CReaderEntry {
  int32_t nFileType;
  const char* extensions;  // ";"-separated, lower case, with the dot
  uint8_t* (*read)(HISSRC source, int32_t* width, int32_t* height, int32_t bits, ISPalEntry* palette);
  int32_t (*palette)(HISSRC source, int32_t* count, ISPalEntry* palette);
  int32_t (*readPath)(const std::string& path, uint8_t*& bits, int32_t& width, int32_t& height) = nullptr;
};

const CReaderEntry kReaders[] = {
    {IS_FILETYPE_BMP, ".bmp;",
     [](HISSRC s, int32_t* w, int32_t* h, int32_t b, ISPalEntry* p) { return ISReadBMP(s, w, h, b, p, 0); }, nullptr},
    {IS_FILETYPE_PCX, ".pcx;",
     [](HISSRC s, int32_t* w, int32_t* h, int32_t b, ISPalEntry* p) { return ISReadPCX(s, w, h, b, p, 0); }, nullptr},
    {IS_FILETYPE_WBMP, ".wbmp;.wbm;",
     [](HISSRC s, int32_t* w, int32_t* h, int32_t b, ISPalEntry* p) { return ISReadWBMP(s, w, h, p, b, 0); }, nullptr},
    {IS_FILETYPE_TGA, ".tga;",
     [](HISSRC s, int32_t* w, int32_t* h, int32_t b, ISPalEntry* p) { return ISReadTGA(s, w, h, b, p, 0); }, nullptr},
    // A 32-bit PSD read gives 3-byte pixels, so 32 is passed on as 0 and refused (error 5).
    {IS_FILETYPE_PSD, ".psd;",
     [](HISSRC s, int32_t* w, int32_t* h, int32_t b, ISPalEntry* p) {
       return ISReadPSD(s, w, h, b == 32 ? 0 : b, p, 0);
     },
     nullptr},
    // PhotoCD: the base image (resolution 3) at 24 bits; other depths are refused (no width: error 5).
    {IS_FILETYPE_PCD, ".pcd;",
     [](HISSRC s, int32_t* w, int32_t* h, int32_t b, ISPalEntry*) {
       return ISReadPCD(s, b == 24 ? w : nullptr, h, 3, 0);
     },
     nullptr},
    // JPEG: a grey file read at 8 bits shows through a grey ramp, as in the image holder.
    {IS_FILETYPE_JPEG, ".jpg;.jpeg;",
     [](HISSRC s, int32_t* w, int32_t* h, int32_t b, ISPalEntry* p) {
       for (int32_t i = 0; p && i < IS_PALETTE_SIZE; ++i) p[i] = ISPalEntry{uint8_t(i), uint8_t(i), uint8_t(i), 0};
       return ISReadJPG(s, w, h, b, 0);
     },
     nullptr},
    {IS_FILETYPE_PNG, ".png;",
     [](HISSRC s, int32_t* w, int32_t* h, int32_t b, ISPalEntry* p) { return ISReadPNG(s, w, h, b, p, 0); }, nullptr},
    {IS_FILETYPE_TIFF, ".tif;.tiff;",
     [](HISSRC s, int32_t* w, int32_t* h, int32_t b, ISPalEntry* p) { return ISReadTIFF(s, w, h, b, p, 0, 0); },
     nullptr},
    // WMF and EMF through the image holder's metafile hook (error 5 where metafiles are not built).
    {IS_FILETYPE_WMF, ".wmf;", nullptr, nullptr, ReadHolderMetafile},
    {IS_FILETYPE_EMF, ".emf;", nullptr, nullptr, ReadHolderMetafile},
};

const CReaderEntry* ReaderForType(int32_t type) {
  for (const auto& entry : kReaders)
    if (entry.nFileType == type) return &entry;
  return nullptr;
}

const CReaderEntry* ReaderForExtension(const std::string& path) {
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos) return nullptr;
  const std::string ext = LowerCaseAnsi(path.substr(dot)) + ";";
  for (const auto& entry : kReaders)
    if (std::string(entry.extensions).find(ext) != std::string::npos) return &entry;
  return nullptr;
}

}  // namespace

int CmdDetect(const Words& words) {
  const CArgs args(words, {});
  if (!args.Ok() || !args.OnlyKnown({}) || args.Positional().size() != 1) return Usage();
  const std::string& path = args.Positional()[0];
  const CISSourceHandle source(path);
  if (!source.Get()) return Fail("cannot open " + path);
  const int32_t code = ISGuessFileType(source.Get());
  std::printf("code %d %s\n", code, FileTypeName(code));
  return 0;
}

int CmdDecode(const Words& words) {
  const CArgs args(words, {});
  int64_t bits = 0;
  if (!args.Ok() || !args.OnlyKnown({"bpp"}) || args.Positional().size() != 2 || !args.Has("bpp") ||
      !IntOption(args, "bpp", 1, 64, 24, bits))
    return Usage();
  const std::string& path = args.Positional()[0];
  const std::string& out = args.Positional()[1];
  const CISSourceHandle source(path);
  if (!source.Get()) return Fail("cannot open " + path);
  const CReaderEntry* reader = ReaderForType(ISGuessFileType(source.Get()));
  if (!reader) reader = ReaderForExtension(path);
  if (!reader) return Fail("no reader for " + path);

  ISSeekSource(source.Get(), 0, 0);
  ISPalEntry palette[IS_PALETTE_SIZE] = {};
  int32_t width = 0, height = 0;
  const int32_t depth = static_cast<int32_t>(bits);
  uint8_t* pixels = nullptr;
  int32_t error = IS_ERR_BADPARAM;
  if (reader->readPath) {
    if (depth == 24) error = reader->readPath(path, pixels, width, height);
  } else {
    pixels = reader->read(source.Get(), &width, &height, depth, depth <= 8 ? palette : nullptr);
    error = ISGetLastError();
  }
  if (pixels && error == IS_ERR_OK && depth <= 8 && reader->palette) {
    int32_t count = 0;
    ISSeekSource(source.Get(), 0, 0);
    if (!reader->palette(source.Get(), &count, palette)) error = ISGetLastError();
  }
  std::printf("size %d %d bpp %d error %d\n", width, height, depth, error);
  bool written = true;
  if (pixels) written = WritePicture(out, pixels, width, height, depth, palette);
  qv::GlobalMemFree(pixels);
  if (!written) return Fail("cannot write " + out);
  if (error != IS_ERR_OK)
    return Fail("decoding " + path + " failed with error " + std::to_string(error) + " (" + ISErrorName(error) + ")");
  return 0;
}

}  // namespace qv::cli
