// The image codec library: picture files into image buffers, and the
// operations on image buffers that the show needs.
//
// Every IS... function lets no exception escape and leaves its outcome in the
// calling thread's last error code (ISGetLastError; 0 is success). Buffers
// returned by readers are zero-filled global-memory blocks that the caller
// releases with qv::GlobalMemFree (platform/global_memory.h).
//
// Image buffers: rows top-down, no padding between rows.
//   32 bits: red, green, blue, alpha   stride width * 4
//   24 bits: red, green, blue          stride width * 3
//    8 bits: one palette index         stride width
//    1 bit : eight pixels per byte, leftmost pixel in the most significant bit,
//            stride (width + 7) / 8
// Palettes are 256 entries of blue, green, red, reserved (1024 bytes), owned
// by the caller.
#pragma once

#include <cstdint>

// ---- Error codes (the value of ISGetLastError) ------------------------------
inline constexpr int32_t IS_ERR_OK = 0;
inline constexpr int32_t IS_ERR_MEMORY = 1;         // allocation failed, or a zero or oversized request
inline constexpr int32_t IS_ERR_FILEOPEN = 2;       // the file could not be opened
inline constexpr int32_t IS_ERR_FILEREAD = 3;       // short read, or a required seek failed
inline constexpr int32_t IS_ERR_BADPARAM = 5;       // null pointer, unsupported depth, bad argument
inline constexpr int32_t IS_ERR_NOTBMP = 6;         // not a BMP, or a BMP header / data offset not accepted
inline constexpr int32_t IS_ERR_BMPRLE = 7;         // BMP run-length compression with a bit count not 8 or 4
inline constexpr int32_t IS_ERR_JPEG = 9;           // JPEG decoder failure during set-up
inline constexpr int32_t IS_ERR_GDI = 10;           // no device context, memory context or brush
inline constexpr int32_t IS_ERR_CANCELLED = 14;     // stopped by the progress callback
inline constexpr int32_t IS_ERR_PNG = 15;           // PNG decoder error
inline constexpr int32_t IS_ERR_PNGINIT = 16;       // PNG read or info structure not created
inline constexpr int32_t IS_ERR_OUTDEPTH = 17;      // output depth not supported by a conversion step
inline constexpr int32_t IS_ERR_TIFF = 20;          // TIFF decoder failure
inline constexpr int32_t IS_ERR_NOTPCX = 22;        // not a PCX, or unusable PCX dimensions
inline constexpr int32_t IS_ERR_BITMAP = 23;        // off-screen bitmap not created
inline constexpr int32_t IS_ERR_PCXEND = 24;        // a PCX row requested after the last row
inline constexpr int32_t IS_ERR_GETDIBITS = 25;     // rendered bitmap could not be copied out
inline constexpr int32_t IS_ERR_DEVCAPS = 26;       // device lacks a needed raster capability
inline constexpr int32_t IS_ERR_METAFILE = 27;      // no enhanced metafile, or its header unreadable
inline constexpr int32_t IS_ERR_DEPTH = 28;         // bit depth not deliverable at the requested depth
inline constexpr int32_t IS_ERR_BLIT = 29;          // BitBlt failed
inline constexpr int32_t IS_ERR_NOTTGA = 32;        // not a TGA file this reader handles
inline constexpr int32_t IS_ERR_MAKEBITMAP = 35;    // CreateDIBitmap failed
inline constexpr int32_t IS_ERR_SELECTBITMAP = 37;  // bitmap could not be selected into the device
inline constexpr int32_t IS_ERR_BADSOURCE = 38;     // not a valid, open source handle
inline constexpr int32_t IS_ERR_WMFCONVERT = 41;    // metafile bits not convertible to an enhanced metafile
inline constexpr int32_t IS_ERR_NOTPSD = 46;        // PSD signature or version wrong
inline constexpr int32_t IS_ERR_PSDFORMAT = 47;     // PSD depth, colour mode or compression not handled
inline constexpr int32_t IS_ERR_NOTWBMP = 53;       // not a WBMP, or zero width or height
inline constexpr int32_t IS_ERR_NOSTATE = 55;       // the thread's state could not be created
inline constexpr int32_t IS_ERR_NOTPCD = 63;        // not a PhotoCD image pack
inline constexpr int32_t IS_ERR_PCDOVERVIEW = 64;   // the file is a PhotoCD overview pack
inline constexpr int32_t IS_ERR_PSDRESOURCES = 67;  // PSD image resources hold no readable block
inline constexpr int32_t IS_ERR_FILTERSIZE = 68;    // destination smaller than the filter's support

// ---- File-type codes of ISGuessFileType -------------------------------------
inline constexpr int32_t IS_FILETYPE_UNKNOWN = 0;
inline constexpr int32_t IS_FILETYPE_BMP = 1;
inline constexpr int32_t IS_FILETYPE_GIF = 2;
inline constexpr int32_t IS_FILETYPE_JPEG = 3;
inline constexpr int32_t IS_FILETYPE_PNG = 4;
inline constexpr int32_t IS_FILETYPE_PCX = 5;
inline constexpr int32_t IS_FILETYPE_TIFF = 6;
inline constexpr int32_t IS_FILETYPE_WMF = 7;
inline constexpr int32_t IS_FILETYPE_EMF = 8;
inline constexpr int32_t IS_FILETYPE_PAX = 9;
inline constexpr int32_t IS_FILETYPE_PSD = 10;
inline constexpr int32_t IS_FILETYPE_TLA = 11;
inline constexpr int32_t IS_FILETYPE_TLAU = 12;
inline constexpr int32_t IS_FILETYPE_WBMP = 13;
inline constexpr int32_t IS_FILETYPE_TGA = 14;
inline constexpr int32_t IS_FILETYPE_PCD_OVERVIEW = 15;
inline constexpr int32_t IS_FILETYPE_PCD = 16;
inline constexpr int32_t IS_FILETYPE_JP2 = 17;
inline constexpr int32_t IS_FILETYPE_J2K = 18;
inline constexpr int32_t IS_FILETYPE_COMPOUND = 19;

// ---- Shared types ----------------------------------------------------------
// An opened picture file, given to every raster reader.
typedef struct ISSourceBlock* HISSRC;

// One palette entry, laid out like the Windows RGBQUAD.
struct ISPalEntry {
  uint8_t blue;
  uint8_t green;
  uint8_t red;
  uint8_t reserved;
};
static_assert(sizeof(ISPalEntry) == 4);

inline constexpr int32_t IS_PALETTE_SIZE = 256;  // entries in every palette array

// A picture's resolution as the dimension queries report it.
struct ISResolution {
  int32_t x;
  int32_t y;
  int32_t unit;  // 1 = pixels per centimetre (BMP); other codes as each reader says
};

// Takes a picture's rows as a reader decodes them (ISReadJPGRows,
// ISReadPNGRows, ISReadTIFFRows), so that a caller who scales the picture down
// never needs all of it at once. Rows are 24-bit, red, green, blue.
class ISRowReceiver {
 public:
  virtual ~ISRowReceiver() = default;
  // The picture's size, once, where a whole-picture read would allocate its
  // buffer (so every refusal before that applies alike). IS_ERR_OK to go on;
  // any other code ends the read with that error.
  virtual int32_t Begin(int32_t width, int32_t height) = 0;
  // Row y (width x 3 bytes, valid during the call); rows come in order from
  // the top, each once. Rows a damaged file lacks come as zeros, as a
  // whole-picture read leaves them; a read stopped through the progress
  // callback ends where it stopped. IS_ERR_OK to go on; any other code ends
  // the read with that error.
  virtual int32_t Row(int32_t y, const uint8_t* pixels) = 0;
};

// Progress callback: (index, count, user value); return 0 to stop the operation
// (it then fails with IS_ERR_CANCELLED). Called only for the outermost operation.
typedef int32_t (*ISProgressFn)(int32_t index, int32_t count, uintptr_t user);

// ---- Error state and sources -----------------------------------------------
// The calling thread's last error; IS_ERR_NOSTATE when its state cannot be had.
int32_t ISGetLastError();
// The constant's name of an error code ("IS_ERR_FILEREAD"); "unknown error"
// for a code the library does not use.
const char* ISErrorName(int32_t code);
// Sets (or with null clears) the calling thread's progress callback. 1 / 0.
int32_t ISSetProgressCallback(ISProgressFn callback, uintptr_t user);

// Opens a file for reading; null with IS_ERR_MEMORY or IS_ERR_FILEOPEN.
HISSRC ISOpenFileSource(const char* path);
// origin: 0 start, 1 current position, 2 end. Nonzero on success.
int32_t ISSeekSource(HISSRC source, int32_t offset, int32_t origin);
// The file's length in bytes, measured when it was opened; -1 on failure.
int64_t ISGetSourceSize(HISSRC source);
// Closes the file and frees the handle; returns the position the source was at.
int32_t ISCloseSource(HISSRC source);
// The file-type code of the source's contents, read from its current position.
int32_t ISGuessFileType(HISSRC source);

// ---- BMP, WBMP, PCX ----------------------------------------------------------
// Readers read from the source's current position and take, as a rule, the
// source, out width, out height, requested bits per pixel, palette array (1 and
// 8 bits; may be null otherwise) and flags (always 0 here). They return the
// image buffer or null. A truncated file may give a buffer with IS_ERR_FILEREAD.
int32_t ISGetBMPDims(HISSRC source, int32_t* width, int32_t* height, int32_t* bitCount, ISResolution* resolution);
int32_t ISGetBMPPalette(HISSRC source, int32_t* count, ISPalEntry* palette);
uint8_t* ISReadBMP(HISSRC source, int32_t* width, int32_t* height, int32_t bitsPerPixel, ISPalEntry* palette,
                   uint32_t flags);
// The 24-bit read of an uncompressed or bit-field file handed to receiver row
// by row, top row first. Run-length files are refused (IS_ERR_BMPRLE); data
// that ends early ends the read with error 3 (no zero rows).
int32_t ISReadBMPRows(HISSRC source, ISRowReceiver* receiver);

int32_t ISGetWBMPDims(HISSRC source, int32_t* width, int32_t* height);
// Note the argument order: palette before bits per pixel (1 or 8).
uint8_t* ISReadWBMP(HISSRC source, int32_t* width, int32_t* height, ISPalEntry* palette, int32_t bitsPerPixel,
                    uint32_t flags);

int32_t ISGetPCXDims(HISSRC source, int32_t* width, int32_t* height, int32_t* bitsPerPixel);
int32_t ISGetPCXPalette(HISSRC source, int32_t* count, ISPalEntry* palette);
uint8_t* ISReadPCX(HISSRC source, int32_t* width, int32_t* height, int32_t bitsPerPixel, ISPalEntry* palette,
                   uint32_t flags);
// The 24-bit read handed to receiver row by row, top row first (rows past the
// end of a truncated file as zeros, error 3). 1 when the rows were handed over.
int32_t ISReadPCXRows(HISSRC source, ISRowReceiver* receiver);

// ---- TGA, PSD, PhotoCD ---------------------------------------------------------
// TGA: 8 bits (colour-mapped and greyscale files of at most 8 bits per pixel,
// and greyscale files of 16 bits, grey and alpha; the palette is filled by the
// read), 24 or 32 bits (any handled file).
int32_t ISGetTGADims(HISSRC source, int32_t* width, int32_t* height, int32_t* pixelDepth);
int32_t ISGetTGAPalette(HISSRC source, int32_t* count, ISPalEntry* palette);
uint8_t* ISReadTGA(HISSRC source, int32_t* width, int32_t* height, int32_t bitsPerPixel, ISPalEntry* palette,
                   uint32_t flags);
// The 24-bit read handed to receiver row by row, top row first. Data that ends
// early ends the read with error 3 (no zero rows: the whole read keeps what it
// got).
int32_t ISReadTGARows(HISSRC source, ISRowReceiver* receiver);

// PSD: the merged image. colourMode is the document's mode (0 bitmap, 1 grey,
// 2 indexed, 3 RGB, 4 CMYK, 7 multichannel, 8 duotone, 9 Lab); resolution (may
// be null) gets the stored resolution. A read at 32 bits gives 3-byte pixels,
// exactly as at 24 bits.
int32_t ISGetPSDDims(HISSRC source, int32_t* width, int32_t* height, int32_t* colourMode, ISResolution* resolution);
int32_t ISGetPSDPalette(HISSRC source, int32_t* count, ISPalEntry* palette);
uint8_t* ISReadPSD(HISSRC source, int32_t* width, int32_t* height, int32_t bitsPerPixel, ISPalEntry* palette,
                   uint32_t flags);
// The 24-bit read handed to receiver row by row, each row taken from every
// channel's plane in turn. Data that ends early or does not decode ends the
// read with its error (no zero rows: the whole read keeps what it got).
int32_t ISReadPSDRows(HISSRC source, ISRowReceiver* receiver);

// PhotoCD image pack at 24 bits: resolution 1 (192 x 128), 2 (384 x 256),
// 3 (768 x 512, the base image) and 4 to 6 (the base image enlarged), turned
// upright; width and height are those of the turned picture.
uint8_t* ISReadPCD(HISSRC source, int32_t* width, int32_t* height, int32_t resolution, uint32_t flags);

// Other readers and the image operations declare their IS... functions in
// their own headers beside this one (codec/<name>.h), using these types.
