// TIFF reader of the codec library (libtiff underneath).
#pragma once

#include <cstdint>

#include "codec/codec.h"

// Flags of ISReadTIFF (the show passes 0).
inline constexpr uint32_t IS_TIFF_IGNORE_ORIENTATION = 1;  // take the Orientation tag as 1
inline constexpr uint32_t IS_TIFF_PACKED_DIB = 2;          // packed bitmap: not built, refused with IS_ERR_BADPARAM
inline constexpr uint32_t IS_TIFF_ALPHA_OPTION = 4;        // alpha option of 32-bit reads: not built, refused likewise

// Reads page `page` (0 = first) of a TIFF at 1 bit (0 = white, palette white,
// black), 8 bits (grey or palette pages of 2 to 8 bits, 16-bit grey scaled; the
// palette is written) or 24 / 32 bits (any page libtiff's RGBA interface
// takes). Rows top-down as the Orientation tag says. The source is rewound
// first. Null on failure.
uint8_t* ISReadTIFF(HISSRC source, int32_t* width, int32_t* height, int32_t bitsPerPixel, ISPalEntry* palette,
                    int32_t page, uint32_t flags);

// The 24-bit read of page `page` (flags 0) with its rows handed to receiver
// (see ISRowReceiver). 1 when every row has been handed on; 0 on failure (a
// TIFF read that fails part-way gives no picture at all).
int32_t ISReadTIFFRows(HISSRC source, int32_t page, ISRowReceiver* receiver);

// Size of page `page`, its bits per pixel (BitsPerSample x SamplesPerPixel) and,
// when resolution is given, XResolution and YResolution truncated and the
// ResolutionUnit (1 none, 2 inch, 3 centimetre; 0 when absent). Reads from the
// source's current position. 1 / 0.
int32_t ISGetTIFFDims(HISSRC source, int32_t page, int32_t* width, int32_t* height, int32_t* bitsPerPixel,
                      ISResolution* resolution);
