// Device bitmaps through GDI: a 24-bit picture made into a bitmap and drawn
// into a memory context reads back as the same pixels.
#include "codec/ops/device_bitmap.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <random>
#include <vector>

#include "gdi_objects.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes RandomPicture(int32_t w, int32_t h) {
  std::mt19937 rng(uint32_t(w * 131 + h));
  Bytes b(size_t(w) * h * 3);
  for (auto& v : b) v = uint8_t(rng());
  return b;
}

// A bitmap compatible with the screen, selected into a memory context for drawing.
class CCanvas {
 public:
  CCanvas(int32_t w, int32_t h) : m_nWidth(w), m_nHeight(h) {
    m_hScreen = ::GetDC(nullptr);
    m_hDC = ::CreateCompatibleDC(m_hScreen);
    m_hBitmap = ::CreateCompatibleBitmap(m_hScreen, w, h);
    m_hOld = ::SelectObject(m_hDC, m_hBitmap);
    ::PatBlt(m_hDC, 0, 0, w, h, BLACKNESS);
  }
  ~CCanvas() {
    ::SelectObject(m_hDC, m_hOld);
    ::DeleteObject(m_hBitmap);
    ::DeleteDC(m_hDC);
    ::ReleaseDC(nullptr, m_hScreen);
  }
  CCanvas(const CCanvas&) = delete;
  CCanvas& operator=(const CCanvas&) = delete;
  HDC DC() const { return m_hDC; }
  HDC Screen() const { return m_hScreen; }

  // The canvas as red, green, blue rows, top row first.
  Bytes Read() const {
    ::SelectObject(m_hDC, m_hOld);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = m_nWidth;
    info.bmiHeader.biHeight = -m_nHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    const size_t row = size_t((m_nWidth * 3 + 3) / 4 * 4);
    Bytes dib(row * size_t(m_nHeight));
    const int lines = ::GetDIBits(m_hScreen, m_hBitmap, 0, UINT(m_nHeight), dib.data(), &info, DIB_RGB_COLORS);
    ::SelectObject(m_hDC, m_hBitmap);
    Bytes out;
    if (lines != m_nHeight) return out;
    for (int32_t y = 0; y < m_nHeight; ++y) {
      for (int32_t x = 0; x < m_nWidth; ++x) {
        const uint8_t* p = &dib[size_t(y) * row + size_t(x) * 3];
        out.insert(out.end(), {p[2], p[1], p[0]});
      }
    }
    return out;
  }

 private:
  int32_t m_nWidth, m_nHeight;
  HDC m_hScreen, m_hDC;
  HBITMAP m_hBitmap;
  HGDIOBJ m_hOld;
};

// What the canvas must hold after drawing the picture at (x, y): the
// picture's pixels where it lands, black elsewhere.
Bytes Expected(const Bytes& picture, int32_t w, int32_t h, int32_t cw, int32_t ch, int32_t x, int32_t y) {
  Bytes out(size_t(cw) * ch * 3, 0);
  for (int32_t j = 0; j < h; ++j) {
    for (int32_t i = 0; i < w; ++i) {
      const int32_t cx = x + i, cy = y + j;
      if (cx < 0 || cy < 0 || cx >= cw || cy >= ch) continue;
      for (int k = 0; k < 3; ++k) out[(size_t(cy) * cw + cx) * 3 + k] = picture[(size_t(j) * w + i) * 3 + k];
    }
  }
  return out;
}

TEST(DeviceBitmap, DrawnPixelsReadBackUnchanged) {
  const int32_t w = 7, h = 5;
  const Bytes picture = RandomPicture(w, h);
  for (auto [x, y] : {std::pair{0, 0}, std::pair{2, 3}, std::pair{-3, -2}, std::pair{6, -1}}) {
    CCanvas canvas(12, 9);
    HBITMAP bitmap = ISDIBToHBITMAP(picture.data(), w, h, nullptr, canvas.Screen());
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(ISGetLastError(), IS_ERR_OK);
    EXPECT_EQ(ISDrawHBITMAP(canvas.DC(), bitmap, x, y, w, h, nullptr), 1);
    EXPECT_EQ(ISGetLastError(), IS_ERR_OK);
    EXPECT_EQ(canvas.Read(), Expected(picture, w, h, 12, 9, x, y)) << "at " << x << "," << y;
    ::DeleteObject(bitmap);
  }
}

// Without a device context the screen's is used; a logical palette is selected
// for the call and the context's own palette is back afterwards.
TEST(DeviceBitmap, ScreenContextAndPaletteRestored) {
  const Bytes picture = RandomPicture(3, 2);
  HBITMAP plain = ISDIBToHBITMAP(picture.data(), 3, 2, nullptr, nullptr);
  ASSERT_NE(plain, nullptr);
  ::DeleteObject(plain);

  struct {
    LOGPALETTE head;
    PALETTEENTRY more[1];
  } pal = {{0x300, 2, {{255, 0, 0, 0}}}, {{0, 0, 255, 0}}};
  HPALETTE palette = ::CreatePalette(&pal.head);
  ASSERT_NE(palette, nullptr);
  CCanvas canvas(4, 4);
  HGDIOBJ before = ::GetCurrentObject(canvas.DC(), OBJ_PAL);
  HBITMAP bitmap = ISDIBToHBITMAP(picture.data(), 3, 2, palette, canvas.DC());
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(::GetCurrentObject(canvas.DC(), OBJ_PAL), before);
  EXPECT_EQ(ISDrawHBITMAP(canvas.DC(), bitmap, 1, 1, 3, 2, palette), 1);
  EXPECT_EQ(::GetCurrentObject(canvas.DC(), OBJ_PAL), before);
  // The bitmap is no longer selected anywhere: another context can take it.
  HDC other = ::CreateCompatibleDC(canvas.Screen());
  HGDIOBJ old = ::SelectObject(other, bitmap);
  EXPECT_NE(old, nullptr);
  ::SelectObject(other, old);
  ::DeleteDC(other);
  ::DeleteObject(bitmap);
  ::DeleteObject(palette);
}

TEST(DeviceBitmap, RefusedArguments) {
  CCanvas canvas(4, 4);
  EXPECT_EQ(ISDrawHBITMAP(canvas.DC(), nullptr, 0, 0, 4, 4, nullptr), 0);
  EXPECT_EQ(ISGetLastError(), IS_ERR_BADPARAM);
  EXPECT_EQ(canvas.Read(), Bytes(4 * 4 * 3, 0));  // nothing drawn
  EXPECT_EQ(ISDIBToHBITMAP(nullptr, 4, 4, nullptr, canvas.Screen()), nullptr);
  EXPECT_EQ(ISGetLastError(), IS_ERR_BADPARAM);
  const uint8_t px[3] = {1, 2, 3};
  EXPECT_EQ(ISDIBToHBITMAP(px, 0, 1, nullptr, canvas.Screen()), nullptr);
  EXPECT_EQ(ISGetLastError(), IS_ERR_BADPARAM);
}

// Many bitmaps made and drawn, with and without a palette and a given context,
// leave no GDI objects behind.
TEST(DeviceBitmap, NoObjectsLeak) {
  const Bytes picture = RandomPicture(9, 4);
  CCanvas canvas(16, 16);
  LOGPALETTE one = {0x300, 1, {{10, 20, 30, 0}}};
  HPALETTE palette = ::CreatePalette(&one);
  // The first round warms the system's own caches (the screen context among them).
  int64_t before = 0;
  for (int n = 0; n < 56; ++n) {
    if (n == 6) {
      before = qv::test::LiveGdiObjects();
      ASSERT_GT(before, 0);
    }
    HBITMAP bitmap = ISDIBToHBITMAP(picture.data(), 9, 4, n % 2 ? palette : nullptr, n % 3 ? nullptr : canvas.Screen());
    ASSERT_NE(bitmap, nullptr);
    ASSERT_EQ(ISDrawHBITMAP(canvas.DC(), bitmap, n % 5, n % 7, 9, 4, n % 2 ? palette : nullptr), 1);
    EXPECT_EQ(ISDrawHBITMAP(canvas.DC(), nullptr, 0, 0, 9, 4, nullptr), 0);
    ::DeleteObject(bitmap);
  }
  EXPECT_EQ(qv::test::LiveGdiObjects(), before);
  ::DeleteObject(palette);
}

}  // namespace
