// JPEG reader of the codec library (libjpeg-turbo underneath).
#pragma once

#include <cstddef>
#include <cstdint>

#include "codec/codec.h"

// Flags of ISReadJPG (the show passes 0).
inline constexpr uint32_t IS_JPG_RAW_CMYK = 1;        // CMYK / YCCK files delivered raw, 32 bits only
inline constexpr uint32_t IS_JPG_PACKED_DIB = 2;      // a 40-byte bitmap header first, rows bottom-up
inline constexpr uint32_t IS_JPG_YCBCR = 4;           // YCbCr samples as decoded, no colour conversion
inline constexpr uint32_t IS_JPG_PADDED_BGR = 8;      // rows padded to 4 bytes, 24-bit rows blue first
inline constexpr uint32_t IS_JPG_REWIND_AT_END = 16;  // leave the source just after the last byte used

// Reads a JPEG at 8 (grey files), 24 or 32 bits (CMYK / YCCK with IS_JPG_RAW_CMYK)
// from the source's current position. Comments and APP1..APP14 markers are kept
// in the calling thread's tag lists. Null on failure; a file that breaks off
// while its rows are decoded gives the rows so far with IS_ERR_FILEREAD.
uint8_t* ISReadJPG(HISSRC source, int32_t* width, int32_t* height, int32_t bitsPerPixel, uint32_t flags);
// The 24-bit read with its rows handed to receiver as they are decoded (see
// ISRowReceiver). 1 when every row has been handed on (a damaged file's
// missing rows as zeros, with the read's error as the last error); 0 when the
// read failed before its first row or the receiver refused.
int32_t ISReadJPGRows(HISSRC source, ISRowReceiver* receiver);

// The image's own size, its output depth (8 grey, 24 colour, 32 CMYK / YCCK)
// and, when resolution is given, the JFIF density as stored (unit 0 none,
// 1 dots per inch, 2 dots per centimetre; all 0 without a JFIF header). 1 / 0.
int32_t ISGetJPGDims(HISSRC source, int32_t* width, int32_t* height, int32_t* bitsPerPixel, ISResolution* resolution);

// The camera orientation of a JPEG (Exif tag 0x0112 of its first APP1 "Exif"
// block): 1 upright, 2 mirrored, 3 turned half round, 4 upside-down mirror,
// 5 to 8 the same with rows and columns exchanged (6: turn a quarter
// clockwise to show, 8: a quarter anticlockwise). 1 when the file has none or
// a damaged one; 0 when the header cannot be read. Reads from the source's
// current position.
int32_t ISGetJPGOrientation(HISSRC source);
// The orientation in an APP1 block's data ("Exif\0\0" and a TIFF structure);
// 1 when there is none or the block is damaged.
int32_t ISExifOrientation(const uint8_t* block, size_t size);
