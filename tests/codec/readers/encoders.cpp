#include "encoders.h"

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace qv::test {

Bytes Noise(size_t count, uint32_t seed) {
  Bytes out(count);
  uint32_t x = seed * 2654435761u + 1;
  for (auto& b : out) {
    x = x * 1664525u + 1013904223u;
    b = static_cast<uint8_t>(x >> 24);
  }
  return out;
}

Bytes Pattern(uint32_t width, uint32_t height, uint32_t channels, uint32_t seed) {
  const Bytes noise = Noise(size_t{width} * height * channels, seed);
  Bytes out(noise.size());
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      for (uint32_t c = 0; c < channels; ++c) {
        const size_t i = (size_t{y} * width + x) * channels + c;
        const uint32_t base = (x * (40 + 30 * c) / (width + 1) + y * (200 - 50 * c) / (height + 1) + seed * 31) & 0xFF;
        out[i] = static_cast<uint8_t>((base + (noise[i] & 15)) & 0xFF);
      }
    }
  }
  return out;
}

// ---- JPEG ----

Bytes EncodeJpeg(const CJpegLayout& layout, const Bytes& pixels) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr err{};
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &out, &size);
  cinfo.image_width = static_cast<JDIMENSION>(layout.width);
  cinfo.image_height = static_cast<JDIMENSION>(layout.height);
  cinfo.input_components = layout.components;
  cinfo.in_color_space = layout.colorSpace;
  jpeg_set_defaults(&cinfo);
  if (layout.storeAs != JCS_UNKNOWN) {
    jpeg_set_colorspace(&cinfo, layout.storeAs);
  } else if (layout.colorSpace == JCS_CMYK) {
    jpeg_set_colorspace(&cinfo, JCS_CMYK);
  }
  jpeg_set_quality(&cinfo, layout.quality, TRUE);
  if (layout.components == 3 && !layout.chroma420) cinfo.comp_info[0].h_samp_factor = cinfo.comp_info[0].v_samp_factor = 1;
  if (layout.progressive) jpeg_simple_progression(&cinfo);
  cinfo.write_JFIF_header = layout.jfif ? TRUE : FALSE;
  cinfo.density_unit = layout.densityUnit;
  cinfo.X_density = layout.xDensity;
  cinfo.Y_density = layout.yDensity;
  jpeg_start_compress(&cinfo, TRUE);
  for (const auto& c : layout.comments)
    jpeg_write_marker(&cinfo, JPEG_COM, reinterpret_cast<const JOCTET*>(c.data()), static_cast<unsigned>(c.size()));
  for (const auto& [n, data] : layout.appMarkers)
    jpeg_write_marker(&cinfo, JPEG_APP0 + n, data.data(), static_cast<unsigned>(data.size()));
  const size_t stride = size_t(layout.width) * layout.components;
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(pixels.data() + cinfo.next_scanline * stride);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  Bytes file(out, out + size);
  jpeg_destroy_compress(&cinfo);
  std::free(out);
  return file;
}

CReference DecodeJpeg(const Bytes& file, J_COLOR_SPACE space) {
  jpeg_decompress_struct cinfo{};
  jpeg_error_mgr err{};
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, file.data(), static_cast<unsigned long>(file.size()));
  jpeg_read_header(&cinfo, TRUE);
  cinfo.out_color_space = space;
  jpeg_start_decompress(&cinfo);
  CReference ref{cinfo.output_width, cinfo.output_height, {}};
  const size_t stride = size_t{cinfo.output_width} * cinfo.output_components;
  ref.pixels.resize(stride * cinfo.output_height);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = ref.pixels.data() + cinfo.output_scanline * stride;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return ref;
}

// ---- PNG ----

namespace {

void AppendFn(png_structp png, png_bytep data, size_t length) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}
void FlushFn(png_structp) {}

int Channels(int colorType) {
  switch (colorType) {
    case PNG_COLOR_TYPE_GRAY:
    case PNG_COLOR_TYPE_PALETTE: return 1;
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
    case PNG_COLOR_TYPE_RGB: return 3;
    default: return 4;
  }
}

}  // namespace

size_t PngRowBytes(const CPngLayout& layout) {
  return (size_t{layout.width} * Channels(layout.colorType) * layout.bitDepth + 7) / 8;
}

Bytes EncodePng(const CPngLayout& layout, const Bytes& rows) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    throw std::runtime_error("png encoder failed");
  }
  png_set_write_fn(png, &out, AppendFn, FlushFn);
  png_set_IHDR(png, info, layout.width, layout.height, layout.bitDepth, layout.colorType,
               layout.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!layout.palette.empty())
    png_set_PLTE(png, info, layout.palette.data(), static_cast<int>(layout.palette.size()));
  if (!layout.trnsAlpha.empty() || layout.hasTrnsColor)
    png_set_tRNS(png, info, layout.trnsAlpha.empty() ? nullptr : layout.trnsAlpha.data(),
                 static_cast<int>(layout.trnsAlpha.size()), layout.hasTrnsColor ? &layout.trnsColor : nullptr);
  if (layout.hasBackground) png_set_bKGD(png, info, &layout.background);
  if (layout.gamma > 0) png_set_gAMA(png, info, layout.gamma);
  if (layout.srgb) png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
  if (layout.hasPhys) png_set_pHYs(png, info, layout.physX, layout.physY, PNG_RESOLUTION_METER);
  std::vector<png_text> texts(layout.texts.size());
  for (size_t i = 0; i < texts.size(); ++i) {
    texts[i].compression = PNG_TEXT_COMPRESSION_NONE;
    texts[i].key = const_cast<char*>(layout.texts[i].first.c_str());
    texts[i].text = const_cast<char*>(layout.texts[i].second.c_str());
  }
  if (!texts.empty()) png_set_text(png, info, texts.data(), static_cast<int>(texts.size()));
  std::vector<png_bytep> pointers(layout.height);
  for (uint32_t y = 0; y < layout.height; ++y)
    pointers[y] = const_cast<png_bytep>(rows.data() + y * PngRowBytes(layout));
  png_set_rows(png, info, pointers.data());
  png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

CReference DecodePng(const Bytes& file, uint32_t format) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, file.data(), file.size()))
    throw std::runtime_error(image.message);
  image.format = format;
  CReference ref{image.width, image.height, Bytes(PNG_IMAGE_SIZE(image))};
  if (!png_image_finish_read(&image, nullptr, ref.pixels.data(), 0, nullptr)) throw std::runtime_error(image.message);
  return ref;
}

// ---- TIFF ----

size_t TiffRowBytes(const CTiffPage& page) { return (size_t{page.width} * page.samples * page.bits + 7) / 8; }

CTiffPage TiffAtEightBits(const CTiffPage& page) {
  CTiffPage eight = page;
  eight.bits = 8;
  eight.planar = false;
  eight.tile = 0;
  eight.rows.clear();
  const uint32_t mask = (1u << page.bits) - 1;
  const size_t rowBytes = TiffRowBytes(page);
  for (uint32_t y = 0; y < page.height; ++y) {
    for (size_t i = 0; i < size_t{page.width} * page.samples; ++i) {
      const size_t bit = i * page.bits;
      const uint32_t v = (page.rows[y * rowBytes + bit / 8] >> (8 - bit % 8 - page.bits)) & mask;
      eight.rows.push_back(static_cast<uint8_t>(v * 255 / mask));
    }
  }
  return eight;
}

namespace {

// The rows of each plane a page stores: the rows as given, or one plane per
// sample taken out of them.
std::vector<Bytes> TiffPlanes(const CTiffPage& p) {
  if (!p.planar || p.samples == 1) return {p.rows};
  const size_t rowBytes = TiffRowBytes(p), planeRow = (size_t{p.width} * p.bits + 7) / 8;
  std::vector<Bytes> planes(p.samples, Bytes(planeRow * p.height));
  for (uint32_t y = 0; y < p.height; ++y) {
    for (size_t i = 0; i < size_t{p.width} * p.samples; ++i) {
      for (uint16_t b = 0; b < p.bits; ++b) {
        const size_t from = i * p.bits + b, to = (i / p.samples) * p.bits + b;
        if ((p.rows[y * rowBytes + from / 8] >> (7 - from % 8)) & 1)
          planes[i % p.samples][y * planeRow + to / 8] |= static_cast<uint8_t>(0x80 >> (to % 8));
      }
    }
  }
  return planes;
}

}  // namespace

void WriteTiff(const std::string& path, const std::vector<CTiffPage>& pages) {
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  if (!tif) throw std::runtime_error("cannot write " + path);
  for (const CTiffPage& p : pages) {
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, p.width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, p.height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, p.bits);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, p.samples);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, p.planar ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, p.compression);
    if (p.writePhotometric) TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, p.photometric);
    if (p.orientation) TIFFSetField(tif, TIFFTAG_ORIENTATION, p.orientation);
    if (!p.red.empty()) TIFFSetField(tif, TIFFTAG_COLORMAP, p.red.data(), p.green.data(), p.blue.data());
    if (p.xResolution > 0) TIFFSetField(tif, TIFFTAG_XRESOLUTION, p.xResolution);
    if (p.yResolution > 0) TIFFSetField(tif, TIFFTAG_YRESOLUTION, p.yResolution);
    if (p.resolutionUnit) TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, p.resolutionUnit);
    if (pages.size() > 1) TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
    const std::vector<Bytes> planes = TiffPlanes(p);
    const size_t pixelBits = size_t{p.bits} * (planes.size() > 1 ? 1 : p.samples);
    const size_t rowBytes = (size_t{p.width} * pixelBits + 7) / 8;
    if (p.tile) {
      TIFFSetField(tif, TIFFTAG_TILEWIDTH, p.tile);
      TIFFSetField(tif, TIFFTAG_TILELENGTH, p.tile);
      const size_t tileRow = (size_t{p.tile} * pixelBits + 7) / 8;
      for (size_t s = 0; s < planes.size(); ++s) {
        for (uint32_t ty = 0; ty < p.height; ty += p.tile) {
          for (uint32_t tx = 0; tx < p.width; tx += p.tile) {
            Bytes tile(tileRow * p.tile);
            for (uint32_t r = 0; r < p.tile && ty + r < p.height; ++r) {
              const size_t from = (ty + r) * rowBytes + tx * pixelBits / 8;
              const size_t n = std::min(tileRow, rowBytes - tx * pixelBits / 8);
              std::memcpy(tile.data() + r * tileRow, planes[s].data() + from, n);
            }
            TIFFWriteTile(tif, tile.data(), tx, ty, 0, static_cast<uint16_t>(s));
          }
        }
      }
    } else {
      TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, p.rowsPerStrip ? p.rowsPerStrip : TIFFDefaultStripSize(tif, 0));
      for (size_t s = 0; s < planes.size(); ++s) {
        for (uint32_t y = 0; y < p.height; ++y) {
          Bytes row(planes[s].begin() + y * rowBytes, planes[s].begin() + (y + 1) * rowBytes);
          TIFFWriteScanline(tif, row.data(), y, static_cast<uint16_t>(s));
        }
      }
    }
    TIFFWriteDirectory(tif);
  }
  TIFFClose(tif);
}

CReference DecodeTiffRgba(const std::string& path, int page) {
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  if (!tif) throw std::runtime_error("cannot read " + path);
  TIFFSetDirectory(tif, static_cast<tdir_t>(page));
  CReference ref;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &ref.width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &ref.height);
  std::vector<uint32_t> raster(size_t{ref.width} * ref.height);
  TIFFReadRGBAImageOriented(tif, ref.width, ref.height, raster.data(), ORIENTATION_TOPLEFT, 0);
  TIFFClose(tif);
  for (uint32_t v : raster) {
    ref.pixels.insert(ref.pixels.end(), {static_cast<uint8_t>(TIFFGetR(v)), static_cast<uint8_t>(TIFFGetG(v)),
                                         static_cast<uint8_t>(TIFFGetB(v)), static_cast<uint8_t>(TIFFGetA(v))});
  }
  return ref;
}

}  // namespace qv::test
