// JPEG reader: libjpeg decompression over the library's source, its fatal
// errors turned into error codes, the conversions libjpeg does not do (grey to
// RGB, CMYK to RGB), the packed-bitmap and padded-row layouts, and the harvest
// of comments and APP markers into the calling thread's tag lists.
#include <algorithm>
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

// jpeglib.h needs FILE and size_t declared before it.
#include <jerror.h>
#include <jpeglib.h>

#include "codec/codec_internal.h"
#include "codec/jpeg.h"

namespace qv::codec {
namespace {

constexpr size_t kSourceBufferSize = 4096;
constexpr unsigned kMaxMarkerLength = 0xFFFF;
constexpr uint64_t kDibHeaderSize = 40;
constexpr uint64_t kDibPaletteSize = 1024;

// libjpeg's error manager with the fatal-error routine replaced: the routine
// keeps the formatted message and jumps back into the guarded step that called
// libjpeg (see Guarded). Only libjpeg's C frames and the step itself lie in
// between, and none of them holds an object with a destructor.
struct CJpegErrorManager {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

// libjpeg's source manager over the library's I/O object.
struct CJpegSource {
  jpeg_source_mgr mgr;
  CISIO* io;
  bool startOfFile;
  bool rewindAtEnd;
  bool madeUpEnd;  // the buffer holds the end-of-image marker supplied after the end of the file
  bool endOfData;  // that marker has been supplied at least once
  JOCTET buffer[kSourceBufferSize];
};

// One read or query: the decompression object with its managers.
struct CJpegDecoder {
  jpeg_decompress_struct cinfo;
  CJpegErrorManager error;
  CJpegSource source;
  jpeg_progress_mgr progress;
  bool created;
};

struct CJpegDecoderDelete {
  void operator()(CJpegDecoder* d) const {
    if (d->created) jpeg_destroy_decompress(&d->cinfo);
    delete d;
  }
};
using JpegDecoderPtr = std::unique_ptr<CJpegDecoder, CJpegDecoderDelete>;

// Colour kinds by libjpeg's output components.
enum EJpegKind { kKindNone, kKindGrey, kKindColour, kKindCmyk, kKindYcck, kKindYCbCr };

// Output modes: 1 grey, 2 red-green-blue, 3 and 4 CMYK / YCCK samples, 5 YCbCr samples.
struct CJpegOutput {
  int nMode;
  int nBytesPerPixel;
};

// ---- libjpeg callbacks ----

void ErrorExit(j_common_ptr cinfo) {
  auto* error = reinterpret_cast<CJpegErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, error->message);
  Trace(3, "%s\n", error->message);
  std::longjmp(error->jump, 1);
}

// Warnings and trace messages are formatted and shown nowhere.
void OutputMessage(j_common_ptr cinfo) {
  char message[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, message);
}

// A progressive file may hold any number of scans, and each one is decoded
// over the whole picture: a small damaged or hostile file could keep the
// decoder busy for minutes. Real encoders write a dozen or so.
constexpr int kMaxScans = 256;

void LimitScans(j_common_ptr common) {
  if (!common->is_decompressor) return;
  const auto* cinfo = reinterpret_cast<j_decompress_ptr>(common);
  if (cinfo->input_scan_number <= kMaxScans) return;
  auto* error = reinterpret_cast<CJpegErrorManager*>(common->err);
  std::snprintf(error->message, sizeof error->message, "More than %d scans", kMaxScans);
  Trace(3, "%s\n", error->message);
  std::longjmp(error->jump, 1);
}

CJpegSource* SourceOf(j_decompress_ptr cinfo) { return reinterpret_cast<CJpegSource*>(cinfo->src); }

void InitSource(j_decompress_ptr cinfo) { SourceOf(cinfo)->startOfFile = true; }

// An empty file is libjpeg's empty-input error; a file that ends early gets
// an end-of-image marker, so libjpeg finishes the picture with what it has.
boolean FillInputBuffer(j_decompress_ptr cinfo) {
  CJpegSource* src = SourceOf(cinfo);
  size_t count = src->io->Read(src->buffer, kSourceBufferSize);
  src->madeUpEnd = false;
  if (count == 0) {
    if (src->startOfFile) ERREXIT(cinfo, JERR_INPUT_EMPTY);
    WARNMS(cinfo, JWRN_JPEG_EOF);
    src->buffer[0] = 0xFF;
    src->buffer[1] = JPEG_EOI;
    count = 2;
    src->madeUpEnd = true;
    src->endOfData = true;
  }
  src->mgr.next_input_byte = src->buffer;
  src->mgr.bytes_in_buffer = count;
  src->startOfFile = false;
  return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  CJpegSource* src = SourceOf(cinfo);
  while (count > static_cast<long>(src->mgr.bytes_in_buffer)) {
    count -= static_cast<long>(src->mgr.bytes_in_buffer);
    FillInputBuffer(cinfo);
  }
  src->mgr.next_input_byte += count;
  src->mgr.bytes_in_buffer -= static_cast<size_t>(count);
}

void TermSource(j_decompress_ptr cinfo) {
  CJpegSource* src = SourceOf(cinfo);
  if (src->rewindAtEnd && !src->madeUpEnd && src->mgr.bytes_in_buffer > 0)
    src->io->Seek(-static_cast<int64_t>(src->mgr.bytes_in_buffer), 1);
}

// ---- set-up ----

// Runs a step that calls libjpeg; false when libjpeg raised a fatal error.
template <class F>
bool Guarded(CJpegDecoder& d, F&& step) {
  if (setjmp(d.error.jump) != 0) return false;
  step();
  return true;
}

[[noreturn]] void Raise(int32_t code, const char* message) {
  Trace(3, "DURuz JPG Error : %s\n", message);
  throw ISException(code, message);
}

JpegDecoderPtr NewDecoder() {
  JpegDecoderPtr d(new (std::nothrow) CJpegDecoder());
  if (!d) throw ISException(IS_ERR_MEMORY);
  return d;
}

void InstallSource(CJpegDecoder& d, CISIO& io, uint32_t flags) {
  CJpegSource& src = d.source;
  src.io = &io;
  src.rewindAtEnd = (flags & IS_JPG_REWIND_AT_END) != 0;
  src.mgr.init_source = InitSource;
  src.mgr.fill_input_buffer = FillInputBuffer;
  src.mgr.skip_input_data = SkipInputData;
  src.mgr.resync_to_restart = jpeg_resync_to_restart;
  src.mgr.term_source = TermSource;
  d.cinfo.src = &src.mgr;
}

// Comments become texts in the comment list; APP1..APP14 markers become tags
// in the marker list whose data is the marker as it stands in the file: FF,
// the code, the big-endian segment length (data + 2), then the data.
void HarvestMarkers(const jpeg_decompress_struct& cinfo, ISThreadState& state) {
  for (jpeg_saved_marker_ptr m = cinfo.marker_list; m; m = m->next) {
    auto tag = std::make_unique<CFileDataTag>();
    tag->m_nCode = m->marker;
    if (m->marker == JPEG_COM) {
      tag->m_strName = "COM";
      tag->m_data.assign(m->data, m->data + m->data_length);
      tag->m_data.push_back(0);
      Trace(1, "DURuz JPG comment : %s\n", reinterpret_cast<const char*>(tag->m_data.data()));
      state.m_arrComments.push_back(std::move(tag));
    } else if (m->data_length > 0) {
      const unsigned segment = m->data_length + 2;
      tag->m_strName = "APP" + std::to_string(m->marker - JPEG_APP0);
      tag->m_data = {0xFF, static_cast<uint8_t>(m->marker), static_cast<uint8_t>(segment >> 8),
                     static_cast<uint8_t>(segment)};
      tag->m_data.insert(tag->m_data.end(), m->data, m->data + m->data_length);
      Trace(1, "DURuz JPG marker # %d, len: %d\n", m->marker, static_cast<int>(m->data_length + 4));
      state.m_arrMarkers.push_back(std::move(tag));
    }
  }
}

// Creates the decompression object over io, reads the header (saving COM and
// APP1..APP14 markers), computes the output size and harvests the markers.
void SetUp(CJpegDecoder& d, CISIO& io, ISThreadState& state, uint32_t flags) {
  state.m_arrComments.clear();
  state.m_arrMarkers.clear();
  d.cinfo.err = jpeg_std_error(&d.error.mgr);
  d.error.mgr.error_exit = ErrorExit;
  d.error.mgr.output_message = OutputMessage;
  d.created = true;
  const unsigned scaleNum = state.m_nJpegScaleNum > 0 ? static_cast<unsigned>(state.m_nJpegScaleNum) : 1;
  const unsigned scaleDenom = state.m_nJpegScaleDenom > 0 ? static_cast<unsigned>(state.m_nJpegScaleDenom) : 1;
  const bool ok = Guarded(d, [&] {
    jpeg_create_decompress(&d.cinfo);
    d.progress.progress_monitor = LimitScans;
    d.cinfo.progress = &d.progress;
    InstallSource(d, io, flags);
    jpeg_save_markers(&d.cinfo, JPEG_COM, kMaxMarkerLength);
    for (int app = 1; app <= 14; ++app) jpeg_save_markers(&d.cinfo, JPEG_APP0 + app, kMaxMarkerLength);
    jpeg_read_header(&d.cinfo, TRUE);
    d.cinfo.scale_num = scaleNum;
    d.cinfo.scale_denom = scaleDenom;
    if (flags & IS_JPG_YCBCR) d.cinfo.out_color_space = JCS_YCbCr;
    jpeg_calc_output_dimensions(&d.cinfo);
  });
  if (!ok) Raise(IS_ERR_JPEG, d.error.message);
  HarvestMarkers(d.cinfo, state);
}

// ---- read ----

EJpegKind KindOf(const jpeg_decompress_struct& cinfo, uint32_t flags) {
  switch (cinfo.output_components) {
    case 1:
      return kKindGrey;
    case 3:
      return (flags & IS_JPG_YCBCR) ? kKindYCbCr : kKindColour;
    case 4:
      if (cinfo.jpeg_color_space == JCS_CMYK) return kKindCmyk;
      if (cinfo.jpeg_color_space == JCS_YCCK) return kKindYcck;
      return kKindNone;
    default:
      return kKindNone;
  }
}

CJpegOutput ChooseOutput(EJpegKind kind, int32_t depth, uint32_t flags) {
  switch (kind) {
    case kKindGrey:
      if (flags & IS_JPG_PACKED_DIB) depth = 8;
      if (depth == 8) return {1, 1};
      if (depth == 24) return {2, 3};
      Raise(IS_ERR_JPEG, "Invalid bit depth requested (can't read 8-bit to 32-bit)");
    case kKindColour:
      if (depth == 24) return {2, 3};
      Raise(IS_ERR_JPEG, "Invalid bit depth requested (can't read RGB to any other bit depth)");
    case kKindCmyk:
    case kKindYcck:
      if (flags & IS_JPG_PACKED_DIB) depth = 24;
      if (flags & IS_JPG_RAW_CMYK) {
        if (depth == 32) return {kind == kKindCmyk ? 3 : 4, 4};
        Raise(IS_ERR_JPEG, "Invalid bit depth requested (can only read CMYK/YCCK to 32bpp)");
      }
      if (depth == 24) return {2, 3};
      Raise(IS_ERR_JPEG, "Invalid bit depth requested");
    case kKindYCbCr:
      if (depth == 24) return {5, 3};
      Raise(IS_ERR_JPEG, "Invalid bit depth requested (can't read YCbCr to any other bit depth)");
    default:
      Raise(IS_ERR_JPEG, "Invalid JPG colorspace");
  }
}

int32_t PixelsPerMetre(unsigned density, int unit) {
  if (unit == 2) return static_cast<int32_t>(density * 100);
  if (unit == 1) return static_cast<int32_t>(density / 2.54) * 100;
  return 0;
}

// The 40-byte bitmap header of the packed layout, then the grey palette in mode 1.
void WriteDibHeader(uint8_t* p, const jpeg_decompress_struct& cinfo, const CJpegOutput& out, uint64_t rowSize) {
  StoreU32LE(p, 40);
  StoreU32LE(p + 4, cinfo.output_width);
  StoreU32LE(p + 8, cinfo.output_height);
  StoreU16LE(p + 12, 1);
  StoreU16LE(p + 14, static_cast<uint32_t>(out.nBytesPerPixel * 8));
  StoreU32LE(p + 16, 0);
  StoreU32LE(p + 20, static_cast<uint32_t>(rowSize * cinfo.output_height));
  StoreU32LE(p + 24, static_cast<uint32_t>(PixelsPerMetre(cinfo.X_density, cinfo.density_unit)));
  StoreU32LE(p + 28, static_cast<uint32_t>(PixelsPerMetre(cinfo.Y_density, cinfo.density_unit)));
  StoreU32LE(p + 32, out.nMode == 1 ? 256 : 0);
  StoreU32LE(p + 36, 0);
  if (out.nMode != 1) return;
  for (uint32_t i = 0; i < 256; ++i) {
    uint8_t* entry = p + kDibHeaderSize + i * 4;
    entry[0] = entry[1] = entry[2] = static_cast<uint8_t>(i);
    entry[3] = 255;
  }
}

// Turns a decoded row of the row buffer into red, green, blue.
void ConvertRow(EJpegKind kind, const JSAMPLE* in, uint8_t* out, JDIMENSION width) {
  if (kind == kKindGrey) {
    for (JDIMENSION x = 0; x < width; ++x) out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = in[x];
    return;
  }
  for (JDIMENSION x = 0; x < width; ++x, in += 4, out += 3) {
    const unsigned k = in[3];
    out[0] = static_cast<uint8_t>(in[0] * k / 255);
    out[1] = static_cast<uint8_t>(in[1] * k / 255);
    out[2] = static_cast<uint8_t>(in[2] * k / 255);
  }
}

void SwapRedBlue(uint8_t* row, JDIMENSION width) {
  for (JDIMENSION x = 0; x < width; ++x, row += 3) std::swap(row[0], row[2]);
}

uint64_t CoefficientBytes(const jpeg_decompress_struct& cinfo) {
  if (!cinfo.progressive_mode) return 0;
  uint64_t bytes = 0;
  for (int c = 0; c < cinfo.num_components; ++c) {
    const jpeg_component_info& comp = cinfo.comp_info[c];
    bytes += uint64_t{comp.width_in_blocks} * comp.height_in_blocks * DCTSIZE2 * sizeof(JCOEF);
  }
  return bytes;
}

// Every 8 x 8 block of every component takes at least one bit in any scan
// that codes it: the least a complete picture can take.
uint64_t LeastEncodedBytes(const jpeg_decompress_struct& cinfo) {
  uint64_t blocks = 0;
  for (int c = 0; c < cinfo.num_components; ++c)
    blocks += uint64_t{cinfo.comp_info[c].width_in_blocks} * cinfo.comp_info[c].height_in_blocks;
  return blocks / 8;
}

// Output lines decoded from one row of MCUs.
JDIMENSION LinesPerMcuRow(const jpeg_decompress_struct& cinfo) {
#if JPEG_LIB_VERSION >= 70
  return static_cast<JDIMENSION>(cinfo.max_v_samp_factor * cinfo.min_DCT_v_scaled_size);
#else
  return static_cast<JDIMENSION>(cinfo.max_v_samp_factor * cinfo.min_DCT_scaled_size);
#endif
}

// The file has ended inside the scan being decoded: the entropy decoder met the
// end-of-image marker supplied past the end and pads the rest with zeros.
bool DataEndedInScan(const CJpegDecoder& d) { return d.source.endOfData && d.cinfo.unread_marker != 0; }

// Reads the scans of a progressive file into the coefficient buffer (buffered-
// image mode) until the end of the picture or of the data; returns how many
// output lines hold data from the file. Rows no scan reached are neither
// decoded nor put out.
JDIMENSION ConsumeScans(CJpegDecoder& d) {
  jpeg_decompress_struct& cinfo = d.cinfo;
  JDIMENSION rowsReached = 0;
  for (;;) {
    const int status = jpeg_consume_input(&cinfo);
    LimitScans(reinterpret_cast<j_common_ptr>(&cinfo));
    if (status == JPEG_REACHED_EOI || status == JPEG_SUSPENDED) break;
    if (status == JPEG_ROW_COMPLETED || status == JPEG_SCAN_COMPLETED)
      rowsReached = std::max(rowsReached, cinfo.input_iMCU_row);
    if (status == JPEG_ROW_COMPLETED && DataEndedInScan(d)) break;
  }
  if (cinfo.input_scan_number == 0 || rowsReached >= cinfo.total_iMCU_rows) return cinfo.output_height;
  return std::min<JDIMENSION>(cinfo.output_height, rowsReached * LinesPerMcuRow(cinfo));
}

// Reads into a new buffer, or with rows hands each row on as it is decoded
// (24 bits, no flags) and returns null.
uint8_t* ReadJpg(CISOperation& op, CISIO& io, int32_t* width, int32_t* height, int32_t depth, uint32_t flags,
                 CRowHandover* rows = nullptr) {
  JpegDecoderPtr d = NewDecoder();
  SetUp(*d, io, op.State(), flags);
  jpeg_decompress_struct& cinfo = d->cinfo;
  const EJpegKind kind = KindOf(cinfo, flags);
  const CJpegOutput out = ChooseOutput(kind, depth, flags);
  const bool packed = (flags & IS_JPG_PACKED_DIB) != 0;
  const bool bgr = out.nMode == 2 && (flags & (IS_JPG_PACKED_DIB | IS_JPG_PADDED_BGR));
  const bool direct = out.nMode != 2 || kind == kKindColour;
  const JDIMENSION w = cinfo.output_width;
  const JDIMENSION h = cinfo.output_height;
  uint64_t rowSize = uint64_t{w} * out.nBytesPerPixel;
  if (flags & (IS_JPG_PACKED_DIB | IS_JPG_PADDED_BGR)) rowSize = (rowSize + 3) & ~uint64_t{3};
  const uint64_t start = packed ? kDibHeaderSize + (out.nMode == 1 ? kDibPaletteSize : 0) : 0;
  // Refused before decompression starts: a progressive file first fills a
  // whole-picture buffer of coefficients, 128 bytes for each 8 x 8 block of
  // each component, which counts too.
  if (start + rowSize * h + CoefficientBytes(cinfo) > kMaxBufferBytes) throw ISException(IS_ERR_MEMORY);
  const uint64_t buffered = d->source.madeUpEnd ? 0 : d->source.mgr.bytes_in_buffer;
  if (CISByteCursor(io).Remaining() + buffered < LeastEncodedBytes(cinfo) / kEncodingMargin)
    throw ISException(IS_ERR_FILEREAD);
  const bool progressive = cinfo.progressive_mode != 0;
  cinfo.buffered_image = progressive ? TRUE : FALSE;
  if (!Guarded(*d, [&] { jpeg_start_decompress(&cinfo); })) Raise(IS_ERR_JPEG, d->error.message);
  // A progressive file's scans are all read before any row exists.
  JDIMENSION rowsWithData = h;
  if (progressive && !Guarded(*d, [&] { rowsWithData = ConsumeScans(*d); })) Raise(IS_ERR_JPEG, d->error.message);

  std::vector<JSAMPLE> rowBuffer(direct ? 0 : size_t{w} * cinfo.output_components);
  CISBuffer buffer;
  if (rows) {
    rows->Begin(w, h);
  } else {
    buffer = CISBuffer(start + rowSize * h);
    if (!buffer) throw ISException(IS_ERR_MEMORY);
  }
  *width = static_cast<int32_t>(w);
  *height = static_cast<int32_t>(h);
  if (packed) WriteDibHeader(buffer.Get(), cinfo, out, rowSize);

  // A stop by the progress callback leaves IS_ERR_CANCELLED in op and skips the
  // finish; the rows so far are returned either way. Where the file ends early
  // the rows past its data are left untouched (0) and the read is error 3.
  const bool ok = Guarded(*d, [&] {
    if (progressive) jpeg_start_output(&cinfo, cinfo.input_scan_number);
    const JDIMENSION linesPerRow = LinesPerMcuRow(cinfo);
    while (cinfo.output_scanline < rowsWithData) {
      const JDIMENSION y = cinfo.output_scanline;
      uint8_t* row = rows ? rows->Row() : buffer.Get() + start + (packed ? h - 1 - y : y) * rowSize;
      JSAMPROW target = direct ? row : rowBuffer.data();
      if (jpeg_read_scanlines(&cinfo, &target, 1) != 1) ERREXIT(&cinfo, JERR_INPUT_EOF);
      if (!direct) ConvertRow(kind, rowBuffer.data(), row, w);
      if (bgr) SwapRedBlue(row, w);
      if (rows) rows->Deliver();
      if (!op.Progress(static_cast<int32_t>(y), static_cast<int32_t>(h))) return;
      // Sequential data that ended in a row of MCUs decoded so far: the decoder
      // may work one row of MCUs ahead of the lines put out, so that row too is
      // put out; the rows after it are not decoded.
      if (!progressive && rowsWithData == h && DataEndedInScan(*d))
        rowsWithData = std::min(h, (y / linesPerRow + 2) * linesPerRow);
    }
    if (rowsWithData < h) return;
    if (progressive) jpeg_finish_output(&cinfo);
    jpeg_finish_decompress(&cinfo);
  });
  if (ok && rowsWithData < h) op.SetError(IS_ERR_FILEREAD);
  if (!ok) {
    Trace(3, "DURuz JPG Error : %s\n", d->error.message);
    op.SetError(IS_ERR_FILEREAD);
  }
  // A read stopped through the progress callback hands over nothing more.
  if (rows && op.Error() != IS_ERR_CANCELLED) rows->DeliverZerosToEnd();
  return buffer.Release();
}

int32_t GetJpgOrientation(CISOperation& op, CISIO& io) {
  JpegDecoderPtr d = NewDecoder();
  SetUp(*d, io, op.State(), 0);
  for (jpeg_saved_marker_ptr m = d->cinfo.marker_list; m; m = m->next) {
    if (m->marker == JPEG_APP0 + 1 && m->data_length >= 6 && std::memcmp(m->data, "Exif\0\0", 6) == 0)
      return ISExifOrientation(m->data, m->data_length);
  }
  return 1;
}

int32_t GetJpgDims(CISOperation& op, CISIO& io, int32_t* width, int32_t* height, int32_t* bits,
                   ISResolution* resolution) {
  JpegDecoderPtr d = NewDecoder();
  SetUp(*d, io, op.State(), 0);
  const jpeg_decompress_struct& cinfo = d->cinfo;
  *width = static_cast<int32_t>(cinfo.image_width);
  *height = static_cast<int32_t>(cinfo.image_height);
  if (bits) *bits = cinfo.output_components * 8;
  if (resolution && cinfo.saw_JFIF_marker)
    *resolution = ISResolution{cinfo.X_density, cinfo.Y_density, cinfo.density_unit};
  return 1;
}

}  // namespace
}  // namespace qv::codec

using qv::codec::CISIO;
using qv::codec::CISOperation;

uint8_t* ISReadJPG(HISSRC source, int32_t* width, int32_t* height, int32_t bitsPerPixel, uint32_t flags) {
  CISOperation op;
  if (!op.Ok()) return nullptr;
  if (!width || !height || (bitsPerPixel != 8 && bitsPerPixel != 24 && bitsPerPixel != 32))
    return op.Fail<uint8_t*>(IS_ERR_BADPARAM, nullptr);
  CISIO io;
  if (!op.Attach(source, io)) return nullptr;
  return op.Run<uint8_t*>(nullptr, [&] { return qv::codec::ReadJpg(op, io, width, height, bitsPerPixel, flags); });
}

int32_t ISReadJPGRows(HISSRC source, ISRowReceiver* receiver) {
  return qv::codec::RunRowRead(source, receiver, [](CISOperation& op, CISIO& io, qv::codec::CRowHandover& rows) {
    int32_t width = 0, height = 0;
    qv::codec::ReadJpg(op, io, &width, &height, 24, 0, &rows);
    return 1;
  });
}

int32_t ISGetJPGOrientation(HISSRC source) {
  CISOperation op;
  if (!op.Ok()) return 0;
  CISIO io;
  if (!op.Attach(source, io)) return 0;
  return op.Run<int32_t>(0, [&] { return qv::codec::GetJpgOrientation(op, io); });
}

int32_t ISGetJPGDims(HISSRC source, int32_t* width, int32_t* height, int32_t* bitsPerPixel, ISResolution* resolution) {
  CISOperation op;
  if (!op.Ok()) return 0;
  if (!width || !height) return op.Fail(IS_ERR_BADPARAM, 0);
  *width = *height = 0;
  if (bitsPerPixel) *bitsPerPixel = 0;
  if (resolution) *resolution = ISResolution{0, 0, 0};
  CISIO io;
  if (!op.Attach(source, io)) return 0;
  return op.Run<int32_t>(0, [&] { return qv::codec::GetJpgDims(op, io, width, height, bitsPerPixel, resolution); });
}
