// PNG reader: libpng over the library's source, its errors turned into error
// codes, the transformations for each requested depth, the composition of
// transparent pixels over a background colour, the palette of 1- and 8-bit
// output, and the harvest of text chunks and the background colour into the
// calling thread's state.
#include "codec/png.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "codec/codec_internal.h"

namespace qv::codec {
namespace {

constexpr size_t kMessageSize = 256;

// What libpng's callbacks reach: plain data only, since the error callback
// leaves libpng's frames by longjmp.
struct CPngContext {
  CISIO* io;
  char message[kMessageSize];
};

void ErrorFn(png_structp png, png_const_charp message) {
  auto* context = static_cast<CPngContext*>(png_get_error_ptr(png));
  std::snprintf(context->message, kMessageSize, "%s", message ? message : "");
  png_longjmp(png, 1);
}

void WarningFn(png_structp, png_const_charp message) { Trace(2, "%s\n", message ? message : ""); }

// libpng gives a chunk the buffer its length claims and zero-fills it before
// reading a byte of it, so a short file claiming a huge text chunk would cost
// that much memory. No buffer libpng needs for a picture it accepts (rows are
// at most a million pixels of 8 bytes) comes near this; a refused chunk buffer
// makes libpng skip the chunk.
constexpr png_alloc_size_t kMaxPngBlock = png_alloc_size_t{16} << 20;

png_voidp MallocFn(png_structp, png_alloc_size_t size) { return size <= kMaxPngBlock ? std::malloc(size) : nullptr; }
void FreeFn(png_structp, png_voidp block) { std::free(block); }

void ReadFn(png_structp png, png_bytep data, size_t length) {
  auto* context = static_cast<CPngContext*>(png_get_io_ptr(png));
  if (!context->io->ReadExactly(data, length)) png_error(png, "read Error");
}

// A libpng read and info structure over a source, destroyed with the object.
// Every call that may raise a libpng error runs through Step, whose setjmp
// frame lies outside every C++ object with a destructor: libpng's longjmp then
// crosses only libpng's frames and the step's lambda.
class CPngReader {
 public:
  explicit CPngReader(CISIO& io) : m_context{&io, {}} {
    m_png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, &m_context, ErrorFn, WarningFn, nullptr, MallocFn, FreeFn);
    if (!m_png) throw ISException(IS_ERR_PNGINIT);
    m_info = png_create_info_struct(m_png);
    if (!m_info) {
      png_destroy_read_struct(&m_png, nullptr, nullptr);
      throw ISException(IS_ERR_PNGINIT);
    }
    png_set_read_fn(m_png, &m_context, ReadFn);
  }
  ~CPngReader() { png_destroy_read_struct(&m_png, &m_info, nullptr); }
  CPngReader(const CPngReader&) = delete;
  CPngReader& operator=(const CPngReader&) = delete;

  png_structp Png() const { return m_png; }
  png_infop Info() const { return m_info; }
  CISIO& IO() const { return *m_context.io; }

  // Runs step; a libpng error in it becomes ISException(IS_ERR_PNG, message).
  template <class F>
  void Step(F&& step) {
    if (!Guarded(step)) {
      Trace(3, "DURuz PNG Error : %s\n", m_context.message);
      throw ISException(IS_ERR_PNG, m_context.message);
    }
  }

 private:
  template <class F>
  bool Guarded(F& step) {
    if (setjmp(png_jmpbuf(m_png)) != 0) return false;
    step();
    return true;
  }

  CPngContext m_context;
  png_structp m_png = nullptr;
  png_infop m_info = nullptr;
};

struct CPngHeader {
  png_uint_32 nWidth = 0;
  png_uint_32 nHeight = 0;
  int nBitDepth = 0;
  int nColorType = 0;
  int nInterlace = 0;
};

CPngHeader ReadHeader(CPngReader& r) {
  CPngHeader h;
  r.Step([&] { png_read_info(r.Png(), r.Info()); });
  png_get_IHDR(r.Png(), r.Info(), &h.nWidth, &h.nHeight, &h.nBitDepth, &h.nColorType, &h.nInterlace, nullptr, nullptr);
  return h;
}

bool HasTrns(CPngReader& r) { return png_get_valid(r.Png(), r.Info(), PNG_INFO_tRNS) != 0; }

// Fills all 256 entries: from PLTE for palette images, a grey ramp of
// 2^rampBits levels for grey images; tRNS alphas in the fourth bytes, else
// 255; entries past the count repeat entry 0 with alpha 255. Returns the
// colour count (entries are written only when it is at most 256).
int32_t FillPalette(CPngReader& r, const CPngHeader& h, int rampBits, ISPalEntry* palette) {
  std::fill_n(palette, IS_PALETTE_SIZE, ISPalEntry{});
  int32_t count = 0;
  if (h.nColorType == PNG_COLOR_TYPE_PALETTE) {
    png_colorp colors = nullptr;
    int n = 0;
    if (png_get_PLTE(r.Png(), r.Info(), &colors, &n) && colors) count = std::clamp(n, 0, IS_PALETTE_SIZE);
    for (int32_t i = 0; i < count; ++i) palette[i] = ISPalEntry{colors[i].blue, colors[i].green, colors[i].red, 255};
  } else if (h.nColorType == PNG_COLOR_TYPE_GRAY) {
    count = int32_t{1} << rampBits;
    if (count > IS_PALETTE_SIZE) return count;
    png_color ramp[IS_PALETTE_SIZE];
    png_build_grayscale_palette(rampBits, ramp);
    for (int32_t i = 0; i < count; ++i) palette[i] = ISPalEntry{ramp[i].blue, ramp[i].green, ramp[i].red, 255};
  } else {
    return 0;
  }
  png_bytep alpha = nullptr;
  int alphaCount = 0;
  png_color_16p transparent = nullptr;
  if (count > 0 && png_get_tRNS(r.Png(), r.Info(), &alpha, &alphaCount, &transparent)) {
    if (h.nColorType == PNG_COLOR_TYPE_PALETTE && alpha) {
      for (int32_t i = 0; i < std::min(alphaCount, count); ++i) palette[i].reserved = alpha[i];
    } else if (h.nColorType == PNG_COLOR_TYPE_GRAY && transparent && h.nBitDepth == rampBits &&
               transparent->gray < count) {
      palette[transparent->gray].reserved = 0;
    }
  }
  for (int32_t i = std::max(count, 1); i < IS_PALETTE_SIZE; ++i)
    palette[i] = ISPalEntry{palette[0].blue, palette[0].green, palette[0].red, 255};
  return count;
}

void StoreBackground(CPngReader& r, ISThreadState& state) {
  png_color_16p background = nullptr;
  state.m_pngFileBackground = ISColor16{};
  if (png_get_bKGD(r.Png(), r.Info(), &background) && background) {
    state.m_pngFileBackground =
        ISColor16{background->index, background->red, background->green, background->blue, background->gray};
  }
}

void HarvestTexts(CPngReader& r, ISThreadState& state) {
  png_textp texts = nullptr;
  int count = 0;
  png_get_text(r.Png(), r.Info(), &texts, &count);
  for (int i = 0; i < count && texts; ++i) {
    auto tag = std::make_unique<CFileDataTag>();
    tag->m_strName = texts[i].key ? texts[i].key : "";
    if (texts[i].text) tag->m_data.assign(texts[i].text, texts[i].text + std::strlen(texts[i].text));
    tag->m_data.push_back(0);
    state.m_arrTexts.push_back(std::move(tag));
  }
}

// ---- transformations ----
// These run inside a Step: they call libpng and raise the reader's own
// refusals as ISException, and hold nothing that needs destroying.

// Palette of 1- and 8-bit reads: PLTE for palette images, a grey ramp for grey images.
void WriteReadPalette(CPngReader& r, const CPngHeader& h, ISPalEntry* palette) {
  if (!palette) throw ISException(IS_ERR_DEPTH);
  if (h.nColorType != PNG_COLOR_TYPE_PALETTE && h.nColorType != PNG_COLOR_TYPE_GRAY) throw ISException(IS_ERR_DEPTH);
  FillPalette(r, h, std::min(h.nBitDepth, 8), palette);
}

// Transparent pixels over the file's bKGD colour, else the thread's default
// background; the composition removes the alpha channel.
void ComposeOverBackground(CPngReader& r, const ISThreadState& state) {
  png_color_16p fileBackground = nullptr;
  if (png_get_bKGD(r.Png(), r.Info(), &fileBackground) && fileBackground) {
    png_set_background(r.Png(), fileBackground, PNG_BACKGROUND_GAMMA_FILE, 1, 1.0);
    return;
  }
  const ISColor16& d = state.m_pngDefaultBackground;
  png_color_16 background{d.index, d.red, d.green, d.blue, d.gray};
  png_set_background(r.Png(), &background, PNG_BACKGROUND_GAMMA_SCREEN, 0, 1.0);
}

// 1, 8, 24, 48 and raw 16 bits. The raw 16-bit request delivers the file's
// pixels unchanged, so it is not composed over a background.
void ConfigureComposed(CPngReader& r, const CPngHeader& h, int32_t depth, bool raw16, ISPalEntry* palette,
                       const ISThreadState& state) {
  png_structp png = r.Png();
  const int type = h.nColorType;
  if (depth == 24) {
    if (type == PNG_COLOR_TYPE_PALETTE || (type == PNG_COLOR_TYPE_GRAY && h.nBitDepth < 8)) png_set_expand(png);
    if (type == PNG_COLOR_TYPE_GRAY || type == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
  } else if (depth == 8) {
    WriteReadPalette(r, h, palette);
    if (h.nBitDepth < 8) png_set_packing(png);
  } else if (depth == 1) {
    WriteReadPalette(r, h, palette);
  }
  if (h.nBitDepth == 16) {
    if (depth == 16 || depth == 48) {
      if (type != PNG_COLOR_TYPE_GRAY && type != PNG_COLOR_TYPE_RGB && type != PNG_COLOR_TYPE_RGB_ALPHA)
        throw ISException(IS_ERR_DEPTH);
      png_set_swap(png);
    } else {
      png_set_strip_16(png);
    }
  }
  if (raw16) return;
  // libpng composes a grey or colour key only once it is an alpha channel
  // (otherwise only interlaced files would be composed); a 1-bit read keeps
  // its packed pixels.
  if (depth != 1 && !(type & PNG_COLOR_MASK_PALETTE) && HasTrns(r)) png_set_tRNS_to_alpha(png);
  ComposeOverBackground(r, state);
}

// 16 (grey and alpha), 32 and 64 bits: alpha from the file, from tRNS, or a filler.
void ConfigureWithAlpha(CPngReader& r, const CPngHeader& h, int32_t depth) {
  png_structp png = r.Png();
  const int type = h.nColorType;
  if (depth == 16 && (type & PNG_COLOR_MASK_COLOR)) throw ISException(IS_ERR_DEPTH);
  if (type == PNG_COLOR_TYPE_PALETTE || (type == PNG_COLOR_TYPE_GRAY && h.nBitDepth < 8)) png_set_expand(png);
  if (depth != 16 && !(type & PNG_COLOR_MASK_COLOR)) png_set_gray_to_rgb(png);
  if (h.nBitDepth == 16) {
    if (depth == 64) {
      png_set_swap(png);
    } else {
      png_set_strip_16(png);
    }
  }
  if (!(type & PNG_COLOR_MASK_ALPHA)) {
    if (HasTrns(r)) {
      png_set_expand(png);
    } else {
      png_set_filler(png, depth == 64 ? 0xFFFF : 0xFF, PNG_FILLER_AFTER);
    }
  }
}

// An sRGB chunk needs no correction (setting its intent again on a read
// structure changes nothing in the decoded rows). Otherwise, only when asked,
// from the file's gamma to the screen gamma.
//
// Without a correction the stored values are delivered as they are, and
// transparent pixels are composed over the background in those same values.
// libpng would compose in linear light whenever the file declares a gamma
// (gAMA other than 1, or sRGB), so the file's gamma and the screen's are both
// set to 1: nothing is converted, and composition is straight.
void ConfigureGamma(CPngReader& r, const ISThreadState& state, uint32_t flags) {
  int intent = 0;
  if ((flags & IS_PNG_GAMMA) && !png_get_sRGB(r.Png(), r.Info(), &intent)) {
    double fileGamma = 0;
    if (!png_get_gAMA(r.Png(), r.Info(), &fileGamma))
      fileGamma = state.m_fScreenGamma != 0 ? 1.0 / state.m_fScreenGamma : 0.45455;
    png_set_gamma(r.Png(), state.m_fScreenGamma, fileGamma);
    return;
  }
  png_set_gamma(r.Png(), 1.0, 1.0);
}

// Deflate turns at most 258 bytes into one bit-pair of a length code: about
// 1032 filtered bytes per compressed byte is the most any encoder achieves.
uint64_t LeastEncodedBytes(const CPngHeader& h) {
  const int channels = h.nColorType == PNG_COLOR_TYPE_RGB          ? 3
                       : h.nColorType == PNG_COLOR_TYPE_RGB_ALPHA  ? 4
                       : h.nColorType == PNG_COLOR_TYPE_GRAY_ALPHA ? 2
                                                                   : 1;
  const uint64_t rowBits = uint64_t{h.nWidth} * channels * static_cast<uint64_t>(h.nBitDepth);
  return uint64_t{h.nHeight} * (1 + (rowBits + 7) / 8) / 1032;
}

uint64_t ExpectedRowBytes(png_uint_32 width, int32_t depth) {
  return depth == 1 ? (uint64_t{width} + 7) / 8 : uint64_t(depth / 8) * width;
}

// ---- read ----

// Decodes into buffer, or with rows hands each row on as it is decoded (24
// bits, no flags); an interlaced picture still fills the buffer first, since
// its rows are complete only after the last pass. A failure after the buffer
// exists (or the first row is due) leaves what was decoded for the caller.
void DecodeInto(CISOperation& op, CPngReader& r, CISBuffer& buffer, int32_t* width, int32_t* height, int32_t depth,
                ISPalEntry* palette, uint32_t flags, CRowHandover* rows = nullptr) {
  ISThreadState& state = op.State();
  const CPngHeader h = ReadHeader(r);
  const bool raw16 = depth == 16 && (flags & IS_PNG_RAW16);
  const bool composed = depth == 1 || depth == 8 || depth == 24 || depth == 48 || raw16;
  int passes = 1;
  r.Step([&] {
    if (composed) {
      ConfigureComposed(r, h, depth, raw16, palette, state);
    } else {
      ConfigureWithAlpha(r, h, depth);
    }
    ConfigureGamma(r, state, flags);
    passes = png_set_interlace_handling(r.Png());
    png_read_update_info(r.Png(), r.Info());
  });
  StoreBackground(r, state);

  const uint64_t rowBytes = ExpectedRowBytes(h.nWidth, depth);
  if (png_get_rowbytes(r.Png(), r.Info()) != rowBytes) throw ISException(IS_ERR_OUTDEPTH);
  RequireEncodedFrame(r.IO(), LeastEncodedBytes(h));
  const bool whole = !rows || passes > 1;
  std::vector<png_bytep> rowPointers(whole ? h.nHeight : 0);
  if (whole) {
    buffer = CISBuffer(rowBytes * h.nHeight);
    if (!buffer) throw ISException(IS_ERR_MEMORY);
    for (png_uint_32 y = 0; y < h.nHeight; ++y) rowPointers[y] = buffer.Get() + y * rowBytes;
  }
  if (rows) rows->Begin(h.nWidth, h.nHeight);
  *width = static_cast<int32_t>(h.nWidth);
  *height = static_cast<int32_t>(h.nHeight);

  bool cancelled = false;
  r.Step([&] {
    uint64_t done = 0;
    int64_t shown = -1;
    for (int pass = 0; pass < passes; ++pass) {
      for (png_uint_32 y = 0; y < h.nHeight; ++y) {
        png_read_row(r.Png(), whole ? rowPointers[y] : rows->Row(), nullptr);
        if (!whole) rows->Deliver();
        const int64_t index = static_cast<int64_t>(++done / static_cast<uint64_t>(passes));
        if (index == shown) continue;
        shown = index;
        if (!op.Progress(static_cast<int32_t>(index), static_cast<int32_t>(h.nHeight))) {
          cancelled = true;
          return;
        }
      }
    }
    png_read_end(r.Png(), r.Info());
  });
  if (cancelled) throw ISException(IS_ERR_CANCELLED);
  HarvestTexts(r, state);
}

uint8_t* ReadPng(CISOperation& op, CISIO& io, int32_t* width, int32_t* height, int32_t depth, ISPalEntry* palette,
                 uint32_t flags) {
  op.State().m_arrTexts.clear();
  CPngReader r(io);
  CISBuffer buffer;
  try {
    DecodeInto(op, r, buffer, width, height, depth, palette, flags);
  } catch (const ISException& e) {
    if (!buffer) throw;
    op.SetError(e.Code());  // the rows read so far, the rest zero
  }
  return buffer.Release();
}

// The 24-bit read handed over row by row; 1 once every row is handed on.
int32_t ReadPngRows(CISOperation& op, CISIO& io, CRowHandover& rows) {
  op.State().m_arrTexts.clear();
  CPngReader r(io);
  CISBuffer buffer;
  int32_t width = 0, height = 0;
  try {
    DecodeInto(op, r, buffer, &width, &height, 24, nullptr, 0, &rows);
  } catch (const ISException& e) {
    // Refused, or stopped through the progress callback: nothing more is handed over.
    if (!rows.Begun() || rows.Refused() || e.Code() == IS_ERR_CANCELLED) throw;
    op.SetError(e.Code());  // the rows read so far, the rest zero
  }
  for (uint32_t y = rows.Delivered(); buffer && y < uint32_t(height); ++y)
    rows.Deliver(buffer.Get() + uint64_t{y} * uint64_t(width) * 3);
  rows.DeliverZerosToEnd();
  return 1;
}

// The dimension and palette queries.
struct CPngQuery {
  CPngHeader header;
  int32_t nCount = 0;
};

CPngQuery QueryPng(CISOperation& op, CISIO& io, ISPalEntry* palette, ISResolution* resolution) {
  ISThreadState& state = op.State();
  state.m_arrTexts.clear();
  CPngReader r(io);
  CPngQuery q;
  q.header = ReadHeader(r);
  if (palette) q.nCount = FillPalette(r, q.header, q.header.nBitDepth, palette);
  StoreBackground(r, state);
  HarvestTexts(r, state);
  png_uint_32 x = 0, y = 0;
  int unit = 0;
  if (resolution && png_get_pHYs(r.Png(), r.Info(), &x, &y, &unit))
    *resolution = ISResolution{static_cast<int32_t>(x), static_cast<int32_t>(y), unit};
  return q;
}

bool KnownDepth(int32_t depth) {
  switch (depth) {
    case 1:
    case 8:
    case 16:
    case 24:
    case 32:
    case 48:
    case 64:
      return true;
    default:
      return false;
  }
}

}  // namespace
}  // namespace qv::codec

using qv::codec::CISIO;
using qv::codec::CISOperation;

uint8_t* ISReadPNG(HISSRC source, int32_t* width, int32_t* height, int32_t bitsPerPixel, ISPalEntry* palette,
                   uint32_t flags) {
  CISOperation op;
  if (!op.Ok()) return nullptr;
  if (!width || !height || !qv::codec::KnownDepth(bitsPerPixel) || (flags & IS_PNG_PACKED_DIB))
    return op.Fail<uint8_t*>(IS_ERR_BADPARAM, nullptr);
  CISIO io;
  if (!op.Attach(source, io)) return nullptr;
  return op.Run<uint8_t*>(nullptr,
                          [&] { return qv::codec::ReadPng(op, io, width, height, bitsPerPixel, palette, flags); });
}

int32_t ISReadPNGRows(HISSRC source, ISRowReceiver* receiver) {
  return qv::codec::RunRowRead(source, receiver, qv::codec::ReadPngRows);
}

int32_t ISGetPNGDims(HISSRC source, int32_t* width, int32_t* height, int32_t* bitDepth, int32_t* colorType,
                     int32_t* interlace, ISResolution* resolution) {
  CISOperation op;
  if (!op.Ok()) return 0;
  if (!width || !height) return op.Fail(IS_ERR_BADPARAM, 0);
  *width = *height = 0;
  if (resolution) *resolution = ISResolution{0, 0, 0};
  CISIO io;
  if (!op.Attach(source, io)) return 0;
  return op.Run<int32_t>(0, [&] {
    const qv::codec::CPngQuery q = qv::codec::QueryPng(op, io, nullptr, resolution);
    *width = static_cast<int32_t>(q.header.nWidth);
    *height = static_cast<int32_t>(q.header.nHeight);
    if (bitDepth) *bitDepth = q.header.nBitDepth;
    if (colorType) *colorType = q.header.nColorType;
    if (interlace) *interlace = q.header.nInterlace;
    return 1;
  });
}

void ISGetPNGPalette(HISSRC source, int32_t* count, ISPalEntry* palette) {
  CISOperation op;
  if (!op.Ok()) return;
  if (!count || !palette) {
    op.SetError(IS_ERR_BADPARAM);
    return;
  }
  *count = 0;
  CISIO io;
  if (!op.Attach(source, io)) return;
  op.Run<int32_t>(0, [&] {
    *count = qv::codec::QueryPng(op, io, palette, nullptr).nCount;
    return 1;
  });
}
