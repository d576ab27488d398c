#include "cli/cli_ppm.h"

#include <cctype>
#include <cstdio>
#include <memory>

#include "platform/byte_order.h"

namespace qv::cli {

namespace {

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

bool Close(FilePtr& file, bool ok) { return std::fclose(file.release()) == 0 && ok; }

void PutU16(std::vector<uint8_t>& out, uint32_t v) {
  uint8_t b[2];
  StoreU16LE(b, v);
  out.push_back(b[0]);
  out.push_back(b[1]);
}
void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  PutU16(out, v & 0xFFFF);
  PutU16(out, v >> 16);
}

// The next header number of a PPM, skipping white space and comments.
bool ReadHeaderNumber(FILE* f, int64_t& value) {
  int c = std::fgetc(f);
  while (c != EOF && (std::isspace(c) || c == '#')) {
    if (c == '#')
      while (c != EOF && c != '\n') c = std::fgetc(f);
    c = std::fgetc(f);
  }
  if (c == EOF || !std::isdigit(c)) return false;
  value = 0;
  while (c != EOF && std::isdigit(c)) {
    value = value * 10 + (c - '0');
    if (value > 1000000000) return false;
    c = std::fgetc(f);
  }
  return c != EOF && std::isspace(c);  // exactly one white-space byte ends the header
}

}  // namespace

bool WritePicture(const std::string& path, const uint8_t* pixels, int32_t width, int32_t height, int32_t bits,
                  const ISPalEntry* palette) {
  if (bits != 1 && bits != 8 && bits != 24 && bits != 32) return false;
  if ((bits == 1 || bits == 8) && !palette) return false;
  FilePtr file(std::fopen(path.c_str(), "wb"));
  if (!file) return false;
  if (bits == 32) {
    std::fprintf(file.get(), "P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n", width,
                 height);
  } else {
    std::fprintf(file.get(), "P6\n%d %d\n255\n", width, height);
  }
  const size_t stride = bits == 32   ? size_t(width) * 4
                        : bits == 24 ? size_t(width) * 3
                        : bits == 8  ? size_t(width)
                                     : (size_t(width) + 7) / 8;
  std::vector<uint8_t> row(size_t(width) * (bits == 32 ? 4 : 3));
  bool ok = true;
  for (int32_t y = 0; y < height && ok; ++y) {
    const uint8_t* in = pixels + size_t(y) * stride;
    if (bits >= 24) {
      row.assign(in, in + row.size());
    } else {
      for (int32_t x = 0; x < width; ++x) {
        const uint8_t index = bits == 8 ? in[x] : (in[x >> 3] >> (7 - (x & 7))) & 1;
        row[size_t(x) * 3] = palette[index].red;
        row[size_t(x) * 3 + 1] = palette[index].green;
        row[size_t(x) * 3 + 2] = palette[index].blue;
      }
    }
    ok = std::fwrite(row.data(), 1, row.size(), file.get()) == row.size();
  }
  return Close(file, ok);
}

bool WriteBmp24(const std::string& path, const uint8_t* pixels, int32_t width, int32_t height) {
  if (width <= 0 || height <= 0) return false;
  const uint64_t rowBytes = ((uint64_t(width) * 24 + 31) / 32) * 4;
  const uint64_t imageBytes = rowBytes * uint64_t(height);
  if (imageBytes > 0xFFFFFFFFull - 54) return false;
  std::vector<uint8_t> header;
  header.push_back('B');
  header.push_back('M');
  PutU32(header, static_cast<uint32_t>(54 + imageBytes));
  PutU32(header, 0);
  PutU32(header, 54);
  PutU32(header, 40);
  PutU32(header, static_cast<uint32_t>(width));
  PutU32(header, static_cast<uint32_t>(height));
  PutU16(header, 1);
  PutU16(header, 24);
  PutU32(header, 0);
  PutU32(header, static_cast<uint32_t>(imageBytes));
  PutU32(header, 2835);  // 72 dots per inch
  PutU32(header, 2835);
  PutU32(header, 0);
  PutU32(header, 0);
  FilePtr file(std::fopen(path.c_str(), "wb"));
  if (!file) return false;
  bool ok = std::fwrite(header.data(), 1, header.size(), file.get()) == header.size();
  std::vector<uint8_t> row(static_cast<size_t>(rowBytes), 0);
  for (int32_t y = height - 1; y >= 0 && ok; --y) {
    const uint8_t* in = pixels + size_t(y) * size_t(width) * 3;
    for (int32_t x = 0; x < width; ++x) {
      row[size_t(x) * 3] = in[size_t(x) * 3 + 2];
      row[size_t(x) * 3 + 1] = in[size_t(x) * 3 + 1];
      row[size_t(x) * 3 + 2] = in[size_t(x) * 3];
    }
    ok = std::fwrite(row.data(), 1, row.size(), file.get()) == row.size();
  }
  return Close(file, ok);
}

bool ReadPpm(const std::string& path, CPpmImage& image, std::string& problem) {
  FilePtr file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    problem = "cannot open " + path;
    return false;
  }
  int64_t width = 0, height = 0, maxval = 0;
  if (std::fgetc(file.get()) != 'P' || std::fgetc(file.get()) != '6' || !ReadHeaderNumber(file.get(), width) ||
      !ReadHeaderNumber(file.get(), height) || !ReadHeaderNumber(file.get(), maxval) || maxval != 255 || width <= 0 ||
      height <= 0) {
    problem = path + " is not a binary PPM with maxval 255";
    return false;
  }
  // The header's size is believed only as far as the file holds it.
  const uint64_t size = uint64_t(width) * uint64_t(height) * 3;
  const long start = std::ftell(file.get());
  if (start < 0 || std::fseek(file.get(), 0, SEEK_END) != 0) {
    problem = "cannot read " + path;
    return false;
  }
  const long end = std::ftell(file.get());
  if (end < start || uint64_t(end - start) < size || std::fseek(file.get(), start, SEEK_SET) != 0) {
    problem = path + " ends before its pixels";
    return false;
  }
  image.pixels.resize(static_cast<size_t>(size));
  if (std::fread(image.pixels.data(), 1, image.pixels.size(), file.get()) != image.pixels.size()) {
    problem = path + " ends before its pixels";
    return false;
  }
  image.width = static_cast<int32_t>(width);
  image.height = static_cast<int32_t>(height);
  return true;
}

}  // namespace qv::cli
