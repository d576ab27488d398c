// Small writers of BMP, TGA, PSD and PCX files from 24-bit pixels (red, green,
// blue, top row first), for tests and benchmarks that need whole pictures in
// these formats rather than headers built case by case.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace qv::test::raster {

using Bytes = std::vector<uint8_t>;

inline void Le16(Bytes& out, uint32_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}
inline void Le32(Bytes& out, uint32_t v) {
  Le16(out, v);
  Le16(out, v >> 16);
}
inline void Be16(Bytes& out, uint32_t v) {
  out.push_back(uint8_t(v >> 8));
  out.push_back(uint8_t(v));
}
inline void Be32(Bytes& out, uint32_t v) {
  Be16(out, v >> 16);
  Be16(out, v);
}

// A 24-bit BMP with a 40-byte information header, bottom-up or top-down.
inline Bytes Bmp(uint32_t w, uint32_t h, const Bytes& rgb, bool topDown = false) {
  const uint32_t stride = (w * 3 + 3) & ~3u;
  Bytes out = {'B', 'M'};
  Le32(out, 54 + stride * h);
  Le32(out, 0);
  Le32(out, 54);
  Le32(out, 40);
  Le32(out, w);
  Le32(out, topDown ? uint32_t(-int32_t(h)) : h);
  Le16(out, 1);
  Le16(out, 24);
  for (int i = 0; i < 6; ++i) Le32(out, 0);
  for (uint32_t i = 0; i < h; ++i) {
    const uint32_t y = topDown ? i : h - 1 - i;
    for (uint32_t x = 0; x < w; ++x) {
      const uint8_t* p = rgb.data() + (size_t(y) * w + x) * 3;
      out.insert(out.end(), {p[2], p[1], p[0]});
    }
    out.insert(out.end(), stride - w * 3, 0);
  }
  return out;
}

// An 8-bit BMP of palette indices with colours entries (blue, green, red, 0).
inline Bytes Bmp8(uint32_t w, uint32_t h, const Bytes& indices, const Bytes& bgrxPalette) {
  const uint32_t stride = (w + 3) & ~3u;
  const uint32_t colours = uint32_t(bgrxPalette.size() / 4);
  const uint32_t offset = 54 + uint32_t(bgrxPalette.size());
  Bytes out = {'B', 'M'};
  Le32(out, offset + stride * h);
  Le32(out, 0);
  Le32(out, offset);
  Le32(out, 40);
  Le32(out, w);
  Le32(out, h);
  Le16(out, 1);
  Le16(out, 8);
  Le32(out, 0);
  Le32(out, stride * h);
  Le32(out, 0);
  Le32(out, 0);
  Le32(out, colours);
  Le32(out, 0);
  out.insert(out.end(), bgrxPalette.begin(), bgrxPalette.end());
  for (uint32_t i = 0; i < h; ++i) {
    const uint8_t* row = indices.data() + size_t(h - 1 - i) * w;
    out.insert(out.end(), row, row + w);
    out.insert(out.end(), stride - w, 0);
  }
  return out;
}

// Run-length TGA packets for one stored row of width values of bytes each:
// runs of equal values, else literal stretches, at most 128 values a packet.
inline void TgaPackets(Bytes& out, const uint8_t* row, uint32_t width, uint32_t bytes) {
  const auto same = [&](uint32_t a, uint32_t b) {
    return std::equal(row + size_t(a) * bytes, row + size_t(a + 1) * bytes, row + size_t(b) * bytes);
  };
  for (uint32_t x = 0; x < width;) {
    uint32_t run = 1;
    while (x + run < width && run < 128 && same(x + run, x)) ++run;
    if (run > 1) {
      out.push_back(uint8_t(0x80 | (run - 1)));
      out.insert(out.end(), row + size_t(x) * bytes, row + size_t(x + 1) * bytes);
      x += run;
      continue;
    }
    uint32_t literal = 1;
    while (x + literal < width && literal < 128 && !(x + literal + 1 < width && same(x + literal, x + literal + 1)))
      ++literal;
    out.push_back(uint8_t(literal - 1));
    out.insert(out.end(), row + size_t(x) * bytes, row + size_t(x + literal) * bytes);
    x += literal;
  }
}

// A TGA of stored values (bytes each, rows top first as given): header,
// optional colour map of 24-bit entries (blue, green, red), then the rows
// bottom-up unless topDown, raw or run-length.
inline Bytes TgaFile(uint8_t imageType, uint32_t w, uint32_t h, uint32_t bytes, const Bytes& values,
                     const Bytes& bgrMap, bool topDown) {
  const bool runLength = imageType >= 9;
  Bytes out = {0, uint8_t(bgrMap.empty() ? 0 : 1), imageType, 0, 0};
  Le16(out, uint32_t(bgrMap.size() / 3));
  out.push_back(bgrMap.empty() ? 0 : 24);
  out.insert(out.end(), 4, 0);
  Le16(out, w);
  Le16(out, h);
  out.push_back(uint8_t(bytes * 8));
  out.push_back(topDown ? 0x20 : 0x00);
  out.insert(out.end(), bgrMap.begin(), bgrMap.end());
  for (uint32_t i = 0; i < h; ++i) {
    const uint8_t* row = values.data() + size_t(topDown ? i : h - 1 - i) * w * bytes;
    if (runLength)
      TgaPackets(out, row, w, bytes);
    else
      out.insert(out.end(), row, row + size_t(w) * bytes);
  }
  return out;
}

// A 24-bit TGA (type 2, or 10 run-length) of red, green, blue pixels.
inline Bytes Tga(uint32_t w, uint32_t h, const Bytes& rgb, bool runLength, bool topDown = false) {
  Bytes bgr(rgb.size());
  for (size_t i = 0; i + 2 < rgb.size(); i += 3) bgr[i] = rgb[i + 2], bgr[i + 1] = rgb[i + 1], bgr[i + 2] = rgb[i];
  return TgaFile(runLength ? 10 : 2, w, h, 3, bgr, {}, topDown);
}

// An 8-bit TGA: grey levels (type 3 or 11) without a map, colour-map indices
// (type 1 or 9) with one.
inline Bytes Tga8(uint32_t w, uint32_t h, const Bytes& values, const Bytes& bgrMap, bool runLength) {
  const uint8_t type = bgrMap.empty() ? (runLength ? 11 : 3) : (runLength ? 9 : 1);
  return TgaFile(type, w, h, 1, values, bgrMap, false);
}

// PackBits, as PSD rows store it.
inline Bytes PackBits(const uint8_t* data, size_t n) {
  Bytes out;
  for (size_t i = 0; i < n;) {
    size_t run = 1;
    while (i + run < n && run < 128 && data[i + run] == data[i]) ++run;
    if (run > 2) {
      out.push_back(uint8_t(1 - int(run)));
      out.push_back(data[i]);
      i += run;
      continue;
    }
    size_t literal = 1;
    while (i + literal < n && literal < 128 &&
           !(i + literal + 2 < n && data[i + literal] == data[i + literal + 1] &&
             data[i + literal] == data[i + literal + 2]))
      ++literal;
    out.push_back(uint8_t(literal - 1));
    out.insert(out.end(), data + i, data + i + literal);
    i += literal;
  }
  return out;
}

// An RGB (mode 3) PSD with 8-bit planes, raw or PackBits.
inline Bytes Psd(uint32_t w, uint32_t h, const Bytes& rgb, bool runLength) {
  Bytes out = {'8', 'B', 'P', 'S'};
  Be16(out, 1);
  out.insert(out.end(), 6, 0);
  Be16(out, 3);
  Be32(out, h);
  Be32(out, w);
  Be16(out, 8);
  Be16(out, 3);
  for (int section = 0; section < 3; ++section) Be32(out, 0);
  Be16(out, runLength ? 1 : 0);
  std::vector<Bytes> rows;
  Bytes plane(w);
  for (uint32_t c = 0; c < 3; ++c) {
    for (uint32_t y = 0; y < h; ++y) {
      for (uint32_t x = 0; x < w; ++x) plane[x] = rgb[(size_t(y) * w + x) * 3 + c];
      rows.push_back(runLength ? PackBits(plane.data(), plane.size()) : plane);
    }
  }
  if (runLength)
    for (const Bytes& row : rows) Be16(out, uint32_t(row.size()));
  for (const Bytes& row : rows) out.insert(out.end(), row.begin(), row.end());
  return out;
}

// A 24-bit PCX (version 5, three 8-bit planes, run-length lines).
inline Bytes Pcx(uint32_t w, uint32_t h, const Bytes& rgb) {
  const uint32_t bytesPerLine = (w + 1) & ~1u;
  Bytes out = {10, 5, 1, 8};
  Le16(out, 0);
  Le16(out, 0);
  Le16(out, w - 1);
  Le16(out, h - 1);
  Le16(out, 72);
  Le16(out, 72);
  out.insert(out.end(), 48, 0);
  out.push_back(0);
  out.push_back(3);
  Le16(out, bytesPerLine);
  Le16(out, 1);
  out.insert(out.end(), 58, 0);
  Bytes line(size_t(bytesPerLine) * 3);
  for (uint32_t y = 0; y < h; ++y) {
    std::fill(line.begin(), line.end(), uint8_t{0});
    for (uint32_t c = 0; c < 3; ++c)
      for (uint32_t x = 0; x < w; ++x) line[size_t(c) * bytesPerLine + x] = rgb[(size_t(y) * w + x) * 3 + c];
    for (size_t i = 0; i < line.size();) {
      size_t run = 1;
      while (i + run < line.size() && run < 63 && line[i + run] == line[i]) ++run;
      if (run > 1 || line[i] >= 0xC0) out.push_back(uint8_t(0xC0 | run));
      out.push_back(line[i]);
      i += run;
    }
  }
  return out;
}

}  // namespace qv::test::raster
