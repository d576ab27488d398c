// Metafiles recorded with GDI for the metafile tests, and the points where
// their picture has a known colour.
//
// Every fixture holds the same picture, drawn in a logical window of
// 1000 x 500 units: a red rectangle (100, 50)-(400, 300) in the upper part and a
// green ellipse (550, 50)-(950, 450), nothing else.
#pragma once

#include <windows.h>

#include <cstdint>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "codec/metafile.h"

namespace qv::test {

inline constexpr COLORREF kRed = RGB(255, 0, 0);
inline constexpr COLORREF kGreen = RGB(0, 255, 0);

// The enhanced metafile's frame, in 0.01 mm: 50.8 mm by 25.4 mm.
inline constexpr RECT kEmfFrame = {0, 0, 5080, 2540};

// Draws the picture with solid shapes in the two colours.
inline void DrawPicture(HDC dc) {
  HBRUSH redBrush = ::CreateSolidBrush(kRed);
  HPEN redPen = ::CreatePen(PS_SOLID, 1, kRed);
  HBRUSH greenBrush = ::CreateSolidBrush(kGreen);
  HPEN greenPen = ::CreatePen(PS_SOLID, 1, kGreen);
  HGDIOBJ oldBrush = ::SelectObject(dc, redBrush);
  HGDIOBJ oldPen = ::SelectObject(dc, redPen);
  ::Rectangle(dc, 100, 50, 400, 300);
  ::SelectObject(dc, greenBrush);
  ::SelectObject(dc, greenPen);
  ::Ellipse(dc, 550, 50, 950, 450);
  ::SelectObject(dc, oldBrush);
  ::SelectObject(dc, oldPen);
  ::DeleteObject(redBrush);
  ::DeleteObject(redPen);
  ::DeleteObject(greenBrush);
  ::DeleteObject(greenPen);
}

// An enhanced metafile of the picture on the screen as reference device,
// scaled to fill the frame; with draw false the metafile is empty.
inline bool WriteEmf(const std::string& path, const RECT& frame = kEmfFrame, bool draw = true) {
  HDC dc = ::CreateEnhMetaFileA(nullptr, path.c_str(), &frame, nullptr);
  if (!dc) return false;
  if (draw) {
    // The frame in the reference device's pixels.
    const double pxPerHundredthX = ::GetDeviceCaps(dc, HORZRES) / (::GetDeviceCaps(dc, HORZSIZE) * 100.0);
    const double pxPerHundredthY = ::GetDeviceCaps(dc, VERTRES) / (::GetDeviceCaps(dc, VERTSIZE) * 100.0);
    ::SetMapMode(dc, MM_ANISOTROPIC);
    ::SetWindowExtEx(dc, 1000, 500, nullptr);
    ::SetViewportOrgEx(dc, int(frame.left * pxPerHundredthX), int(frame.top * pxPerHundredthY), nullptr);
    ::SetViewportExtEx(dc, int((frame.right - frame.left) * pxPerHundredthX),
                       int((frame.bottom - frame.top) * pxPerHundredthY), nullptr);
    DrawPicture(dc);
  }
  HENHMETAFILE done = ::CloseEnhMetaFile(dc);
  if (!done) return false;
  ::DeleteEnhMetaFile(done);
  return true;
}

// The picture recorded as Windows metafile bits (window 1000 x 500).
inline std::vector<uint8_t> PlainMetafileBits() {
  HDC dc = ::CreateMetaFileA(nullptr);
  if (!dc) return {};
  ::SetWindowOrgEx(dc, 0, 0, nullptr);
  ::SetWindowExtEx(dc, 1000, 500, nullptr);
  DrawPicture(dc);
  HMETAFILE done = ::CloseMetaFile(dc);
  if (!done) return {};
  std::vector<uint8_t> bits(::GetMetaFileBitsEx(done, 0, nullptr));
  if (bits.empty() || ::GetMetaFileBitsEx(done, UINT(bits.size()), bits.data()) != bits.size()) bits.clear();
  ::DeleteMetaFile(done);
  return bits;
}

inline bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  return bool(out.flush());
}

// A plain Windows metafile, recorded by the platform into the file itself.
inline bool WriteWmf(const std::string& path) {
  HDC dc = ::CreateMetaFileA(path.c_str());
  if (!dc) return false;
  ::SetWindowOrgEx(dc, 0, 0, nullptr);
  ::SetWindowExtEx(dc, 1000, 500, nullptr);
  DrawPicture(dc);
  HMETAFILE done = ::CloseMetaFile(dc);
  if (!done) return false;
  ::DeleteMetaFile(done);
  return true;
}

// The 22-byte placeable header: key, handle, box, units per inch, reserved,
// and the checksum (exclusive or of the ten words before it).
inline std::vector<uint8_t> PlaceableHeader(int16_t left, int16_t top, int16_t right, int16_t bottom,
                                            uint16_t unitsPerInch) {
  const uint16_t words[10] = {uint16_t(IS_PLACEABLE_KEY & 0xFFFF),
                              uint16_t(IS_PLACEABLE_KEY >> 16),
                              0,
                              uint16_t(left),
                              uint16_t(top),
                              uint16_t(right),
                              uint16_t(bottom),
                              unitsPerInch,
                              0,
                              0};
  std::vector<uint8_t> header;
  uint16_t checksum = 0;
  for (uint16_t w : words) {
    header.push_back(uint8_t(w));
    header.push_back(uint8_t(w >> 8));
    checksum ^= w;
  }
  header.push_back(uint8_t(checksum));
  header.push_back(uint8_t(checksum >> 8));
  return header;
}

// A placeable metafile: bounding box 0, 0, 1440, 720 at 1440 units per inch
// (one inch by half an inch) before the plain bits.
inline bool WritePlaceableWmf(const std::string& path) {
  std::vector<uint8_t> bytes = PlaceableHeader(0, 0, 1440, 720, 1440);
  const std::vector<uint8_t> bits = PlainMetafileBits();
  if (bits.empty()) return false;
  bytes.insert(bytes.end(), bits.begin(), bits.end());
  return WriteBytes(path, bytes);
}

// A point of the rendered picture, as fractions of its size, and the colour
// it has; background marks a point where nothing was drawn.
struct CColourProbe {
  double fx;
  double fy;
  COLORREF colour;
  bool background;
};

inline const std::vector<CColourProbe>& PictureProbes() {
  static const std::vector<CColourProbe> probes = {
      {0.25, 0.50, kRed, false}, {0.30, 0.30, kRed, false}, {0.75, 0.50, kGreen, false}, {0.75, 0.25, kGreen, false},
      {0.03, 0.06, 0, true},     {0.97, 0.06, 0, true},     {0.475, 0.50, 0, true},      {0.25, 0.75, 0, true},
      {0.25, 0.93, 0, true},     {0.97, 0.94, 0, true},
  };
  return probes;
}

// The colour at fractions (fx, fy) of a 24-bit image (red, green, blue).
inline COLORREF PixelAt(const uint8_t* image, int32_t width, int32_t height, double fx, double fy) {
  const auto x = static_cast<size_t>(fx * width), y = static_cast<size_t>(fy * height);
  const uint8_t* p = image + (y * size_t(width) + x) * 3;
  return RGB(p[0], p[1], p[2]);
}

// The pixel size a plain metafile at 10 mm by 10 mm has on the screen.
inline double ScreenPixelsOf10mm(bool horizontal) {
  HDC screen = ::GetDC(nullptr);
  const double pixels = horizontal ? ::GetDeviceCaps(screen, HORZRES) * 10.0 / ::GetDeviceCaps(screen, HORZSIZE)
                                   : ::GetDeviceCaps(screen, VERTRES) * 10.0 / ::GetDeviceCaps(screen, VERTSIZE);
  ::ReleaseDC(nullptr, screen);
  return pixels;
}

// The placeable fixture's size: (right - left) * 2540 / units per inch in
// 0.01 mm, turned into inches and then into the screen's pixels.
inline void PlaceableFixtureSize(int32_t& width, int32_t& height) {
  HDC screen = ::GetDC(nullptr);
  const int dpiX = ::GetDeviceCaps(screen, LOGPIXELSX), dpiY = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  if (dpiX == 96 && dpiY == 96) {
    width = 95, height = 47;  // just short of 96 x 48
    return;
  }
  width = int32_t(2540.0 * 0.00039368528798078815 * dpiX);
  height = int32_t(1270.0 * 0.00039368528798078815 * dpiY);
}

// The enhanced metafile's size: its frame on its reference device.
inline bool EmfFrameSize(const std::string& path, int32_t& width, int32_t& height) {
  HENHMETAFILE emf = ::GetEnhMetaFileA(path.c_str());
  if (!emf) return false;
  ENHMETAHEADER h = {};
  const bool ok = ::GetEnhMetaFileHeader(emf, sizeof h, &h) != 0;
  ::DeleteEnhMetaFile(emf);
  if (!ok) return false;
  const double sx = double(h.szlDevice.cx) / (h.szlMillimeters.cx * 100.0);
  const double sy = double(h.szlDevice.cy) / (h.szlMillimeters.cy * 100.0);
  width = int32_t(int64_t(h.rclFrame.right * sx) - int64_t(h.rclFrame.left * sx));
  height = int32_t(int64_t(h.rclFrame.bottom * sy) - int64_t(h.rclFrame.top * sy));
  return true;
}

// ---- The three fixtures -------------------------------------------------------

enum class EFixture { kEmf, kWmf, kPlaceable };

struct CFixtureCase {
  const char* name;
  EFixture kind;
  const char* fileName;
  friend void PrintTo(const CFixtureCase& c, std::ostream* os) { *os << c.name; }
};

inline const CFixtureCase kFixtureCases[] = {
    {"Emf", EFixture::kEmf, "picture.emf"},
    {"Wmf", EFixture::kWmf, "picture.wmf"},
    {"Placeable", EFixture::kPlaceable, "placeable.wmf"},
};

inline bool WriteFixture(EFixture kind, const std::string& path) {
  switch (kind) {
    case EFixture::kEmf:
      return WriteEmf(path);
    case EFixture::kWmf:
      return WriteWmf(path);
    case EFixture::kPlaceable:
      return WritePlaceableWmf(path);
  }
  return false;
}

// The size a fixture renders at; a plain metafile's is known to a pixel.
struct CExpectedSize {
  double width = 0;
  double height = 0;
  double tolerance = 0;
};

inline CExpectedSize ExpectedFixtureSize(EFixture kind, const std::string& path) {
  CExpectedSize size;
  int32_t w = 0, h = 0;
  switch (kind) {
    case EFixture::kEmf:
      if (EmfFrameSize(path, w, h)) size.width = w, size.height = h;
      break;
    case EFixture::kWmf:
      // 1000 x 1000 hundredths of a millimetre, not the 100 x 100 fallback.
      size = {ScreenPixelsOf10mm(true), ScreenPixelsOf10mm(false), 1.0};
      break;
    case EFixture::kPlaceable:
      PlaceableFixtureSize(w, h);
      size.width = w, size.height = h;
      break;
  }
  return size;
}

}  // namespace qv::test
