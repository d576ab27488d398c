// Metafile rendering (Windows only): a Windows metafile (plain or with the
// placeable header) or an enhanced metafile drawn by the platform's graphics
// interface into a 24-bit image buffer.
#pragma once

#include <cstdint>

#include "codec/codec.h"

// The key that opens a placeable Windows metafile (22-byte header).
inline constexpr uint32_t IS_PLACEABLE_KEY = 0x9AC6CDD7;

// Renders the metafile at path onto the background colour (a COLORREF,
// 0x00BBGGRR) and returns a 24-bit image buffer, or null. The size comes from
// the placeable header and the screen's resolution, or else from the enhanced
// metafile's frame on its reference device. fallbackWidth and fallbackHeight
// (0.01 mm) are the picture extent of a plain metafile that the platform could
// not open itself. width and height are 0 until the call succeeds. flags: 0.
// Errors: IS_ERR_BADPARAM, IS_ERR_FILEOPEN (before any metafile call when the
// file does not exist), IS_ERR_FILEREAD, IS_ERR_MEMORY, IS_ERR_METAFILE,
// IS_ERR_WMFCONVERT, IS_ERR_GDI, IS_ERR_BITMAP, IS_ERR_DEVCAPS, IS_ERR_GETDIBITS.
uint8_t* ISReadMetafile(const char* path, int32_t* width, int32_t* height, int32_t fallbackWidth,
                        int32_t fallbackHeight, uint32_t background, uint32_t flags);
