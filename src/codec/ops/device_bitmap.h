// Device bitmaps (Windows only): a 24-bit image into a device-dependent bitmap
// and that bitmap onto a device context. Every device context, palette and
// bitmap selected or fetched on the way is put back or released on every path.
#pragma once

#include <windows.h>

#include <cstdint>

#include "codec/codec.h"

// A bitmap of the 24-bit image (rows tightly packed, red first) for the device
// context (the screen's when dc is null), with the logical palette realised
// when one is given. The caller deletes it with DeleteObject. Null with
// IS_ERR_BADPARAM, IS_ERR_MEMORY, IS_ERR_GDI (no screen context),
// IS_ERR_DEVCAPS or IS_ERR_MAKEBITMAP.
HBITMAP ISDIBToHBITMAP(const uint8_t* image, int32_t width, int32_t height, HPALETTE palette, HDC dc);

// Copies width x height pixels from (0, 0) of the bitmap to (x, y) of the
// device context, through the given palette or the default one. 1 / 0 with
// IS_ERR_BADPARAM, IS_ERR_DEVCAPS, IS_ERR_GDI, IS_ERR_SELECTBITMAP or IS_ERR_BLIT.
int32_t ISDrawHBITMAP(HDC dc, HBITMAP bitmap, int32_t x, int32_t y, int32_t width, int32_t height, HPALETTE palette);
