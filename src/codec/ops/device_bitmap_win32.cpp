// Device bitmaps over GDI.
#include "codec/ops/device_bitmap.h"
#include "codec/ops/ops_internal.h"
#include "platform/win/gdi.h"

namespace qv::codec::ops {

namespace {

using win::CMemoryDC;
using win::CSelectObject;
using win::CSelectPalette;
using win::CWindowDC;

HBITMAP MakeBitmap(CISOperation& op, const uint8_t* image, int32_t width, int32_t height, HPALETTE palette, HDC given) {
  CISBuffer block;
  const int32_t built = BuildPackedDIB(image, width, height, block);
  if (built != IS_ERR_OK) return op.Fail(built, nullptr);
  const CWindowDC dc = CWindowDC::GivenOrScreen(given);
  if (!dc.Get()) return op.Fail(IS_ERR_GDI, nullptr);
  if (!(::GetDeviceCaps(dc.Get(), RASTERCAPS) & RC_DI_BITMAP)) return op.Fail(IS_ERR_DEVCAPS, nullptr);
  const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(block.Get());
  if (header->biSize != IS_DIB_HEADER_SIZE) return op.Fail(IS_ERR_BADPARAM, nullptr);
  const CSelectPalette selected(dc.Get(), palette);
  HBITMAP bitmap = ::CreateDIBitmap(dc.Get(), header, CBM_INIT, block.Get() + IS_DIB_HEADER_SIZE,
                                    reinterpret_cast<const BITMAPINFO*>(header), DIB_RGB_COLORS);
  if (!bitmap) {
    Trace(2, "DIBToHBITMAP error: GetLatError = %d\n", int(::GetLastError()));
    return op.Fail(IS_ERR_MAKEBITMAP, nullptr);
  }
  return bitmap;
}

int32_t DrawBitmap(CISOperation& op, HDC dc, HBITMAP bitmap, int32_t x, int32_t y, int32_t width, int32_t height,
                   HPALETTE palette) {
  const int caps = ::GetDeviceCaps(dc, RASTERCAPS);
  if (!(caps & RC_BITBLT)) return op.Fail(IS_ERR_DEVCAPS, 0);
  HPALETTE used = palette ? palette : static_cast<HPALETTE>(::GetStockObject(DEFAULT_PALETTE));
  const CSelectPalette target(dc, used);
  const CMemoryDC memory(::CreateCompatibleDC(dc));
  if (!memory.Get()) return op.Fail(IS_ERR_GDI, 0);
  const CSelectPalette inMemory(memory.Get(), used);
  const CSelectObject selected(memory.Get(), bitmap);
  if (!selected.Ok()) return op.Fail((caps & RC_BITMAP64) ? IS_ERR_SELECTBITMAP : IS_ERR_DEVCAPS, 0);
  if (!::BitBlt(dc, x, y, width, height, memory.Get(), 0, 0, SRCCOPY)) return op.Fail(IS_ERR_BLIT, 0);
  return 1;
}

}  // namespace

}  // namespace qv::codec::ops

HBITMAP ISDIBToHBITMAP(const uint8_t* image, int32_t width, int32_t height, HPALETTE palette, HDC dc) {
  qv::codec::CISOperation op;
  if (!op.Ok()) return nullptr;
  if (!image) return op.Fail(IS_ERR_BADPARAM, nullptr);
  return op.Run<HBITMAP>(nullptr, [&] { return qv::codec::ops::MakeBitmap(op, image, width, height, palette, dc); });
}

int32_t ISDrawHBITMAP(HDC dc, HBITMAP bitmap, int32_t x, int32_t y, int32_t width, int32_t height, HPALETTE palette) {
  qv::codec::CISOperation op;
  if (!op.Ok()) return 0;
  if (!bitmap || !dc) return op.Fail(IS_ERR_BADPARAM, 0);
  return op.Run<int32_t>(0, [&] { return qv::codec::ops::DrawBitmap(op, dc, bitmap, x, y, width, height, palette); });
}
