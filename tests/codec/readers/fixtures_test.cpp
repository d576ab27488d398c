// Files written by ImageMagick and netpbm decode to the pixels ImageMagick
// itself decodes from them, through the readers and through quadrivue-cli.
// The expected pixels are committed beside the files (tests/data/codec, see
// make_fixtures.sh); where /usr/bin/convert exists they are made afresh.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "codec/codec_test_support.h"

namespace qv::test {
namespace {

const std::string kDataDir = std::string(QV_TEST_DATA_DIR) + "/codec/";

enum class Compare { kExact, kStoredBits565 };
// ImageMagick shows a one-plane 1-bit PCX inverted against the file's own
// palette; netpbm's decode is the witness there.
enum class Witness { kMagick, kNetpbm };

struct FixtureCase {
  const char* file;
  int32_t bits;
  Compare compare = Compare::kExact;
  Witness witness = Witness::kMagick;
};

// Reader by file name, as the holder would pick it for these files.
uint8_t* ReadFixture(const std::string& name, HISSRC source, int32_t* w, int32_t* h, int32_t bits, ISPalEntry* pal) {
  const std::string ext = std::filesystem::path(name).extension().string();
  if (ext == ".bmp") return ISReadBMP(source, w, h, bits, pal, 0);
  if (ext == ".pcx") return ISReadPCX(source, w, h, bits, pal, 0);
  return ISReadWBMP(source, w, h, pal, bits, 0);
}

// The decoded picture as RGB (or RGBA at 32 bits), palette pictures expanded.
Bytes ToRgb(const uint8_t* pixels, int32_t width, int32_t height, int32_t bits, const ISPalEntry* palette) {
  Bytes out;
  const size_t stride = bits == 1 ? (size_t(width) + 7) / 8 : size_t(width) * size_t(bits / 8);
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* row = pixels + size_t(y) * stride;
    for (int32_t x = 0; x < width; ++x) {
      if (bits >= 24) {
        out.insert(out.end(), row + size_t(x) * (bits / 8), row + size_t(x + 1) * (bits / 8));
        continue;
      }
      const uint8_t index = bits == 8 ? row[x] : (row[x >> 3] >> (7 - (x & 7))) & 1;
      out.push_back(palette[index].red);
      out.push_back(palette[index].green);
      out.push_back(palette[index].blue);
    }
  }
  return out;
}

Bytes ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

#ifdef QV_MAGICK_PATH
bool HaveTools(Witness witness) {
  return std::filesystem::exists(QV_MAGICK_PATH) &&
         (witness == Witness::kMagick || std::filesystem::exists("/usr/bin/pcxtoppm"));
}
#else
bool HaveTools(Witness) { return false; }
#endif

// ImageMagick's decode of the fixture: made now when the tool is there,
// otherwise the committed copy.
Bytes ExpectedPixels(const FixtureCase& c, const CTempFolder& dir) {
  const std::string stem = std::filesystem::path(c.file).stem().string();
  const std::string kind = c.bits == 32 ? "rgba" : "rgb";
  if (!HaveTools(c.witness)) return ReadAll(kDataDir + stem + "." + kind);
#ifdef QV_MAGICK_PATH
  const std::string out = dir.Path(stem + "." + kind);
  const std::string file = "'" + kDataDir + c.file + "'";
  const std::string magick = std::string(QV_MAGICK_PATH) + " ";
  const std::string command =
      c.witness == Witness::kMagick
          ? magick + file + " -depth 8 " + kind + ":'" + out + "' 2>/dev/null"
          : "/usr/bin/pcxtoppm " + file + " 2>/dev/null | " + magick + "ppm:- -depth 8 rgb:'" + out + "'";
  if (std::system(command.c_str()) != 0) return {};
  return ReadAll(out);
#else
  (void)dir;
  return {};
#endif
}

void ExpectSamePixels(const FixtureCase& c, const Bytes& expected, const Bytes& actual) {
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 0; i < actual.size(); ++i) {
    uint8_t want = expected[i];
    if (c.compare == Compare::kStoredBits565) want &= (i % 3 == 1) ? 0xFC : 0xF8;
    if (actual[i] != want) {
      ADD_FAILURE() << c.file << " at " << c.bits << " bits: byte " << i << " is " << int(actual[i]) << ", expected "
                    << int(want);
      return;
    }
  }
}

class CodecFixtures : public ::testing::TestWithParam<FixtureCase> {};

TEST_P(CodecFixtures, ReaderMatchesImageMagick) {
  const FixtureCase& c = GetParam();
  CTempFolder dir;
  const Bytes expected = ExpectedPixels(c, dir);
  ASSERT_FALSE(expected.empty()) << "no expected pixels for " << c.file;
  CSource source(kDataDir + c.file);
  ASSERT_NE(source.Get(), nullptr);
  ISPalEntry palette[IS_PALETTE_SIZE] = {};
  int32_t width = 0, height = 0;
  CCodecBuffer pixels(ReadFixture(c.file, source.Get(), &width, &height, c.bits, palette));
  ASSERT_TRUE(pixels) << "error " << ISGetLastError();
  EXPECT_EQ(ISGetLastError(), IS_ERR_OK);
  EXPECT_EQ(width, 29);
  EXPECT_EQ(height, 11);
  ExpectSamePixels(c, expected, ToRgb(pixels.Get(), width, height, c.bits, palette));
}

#ifdef QV_CLI_PATH
// Pixels of a P6 or P7 file written by the decode command.
Bytes PixelsOfNetpbm(const Bytes& file) {
  std::string text(file.begin(), file.end());
  size_t start = 0;
  if (text.compare(0, 2, "P7") == 0) {
    start = text.find("ENDHDR\n") + 7;
  } else {
    std::istringstream in(text);
    std::string magic;
    int w = 0, h = 0, max = 0;
    in >> magic >> w >> h >> max;
    start = static_cast<size_t>(in.tellg()) + 1;
  }
  return Bytes(file.begin() + static_cast<std::ptrdiff_t>(start), file.end());
}

TEST_P(CodecFixtures, DecodeCommandMatchesImageMagick) {
  const FixtureCase& c = GetParam();
  CTempFolder dir;
  const Bytes expected = ExpectedPixels(c, dir);
  ASSERT_FALSE(expected.empty());
  const std::string out = dir.Path("out.pnm");
  const std::string report = dir.Path("report.txt");
  const std::string command = std::string("'") + QV_CLI_PATH + "' decode '" + kDataDir + c.file + "' '" + out +
                              "' --bpp " + std::to_string(c.bits) + " > '" + report + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const Bytes line = ReadAll(report);
  EXPECT_EQ(std::string(line.begin(), line.end()), "size 29 11 bpp " + std::to_string(c.bits) + " error 0\n");
  ExpectSamePixels(c, expected, PixelsOfNetpbm(ReadAll(out)));
}
#endif

const FixtureCase kFixtures[] = {
    {"bmp1.bmp", 1},           {"bmp1.bmp", 8},
    {"bmp1.bmp", 24},          {"bmp4.bmp", 8},
    {"bmp4.bmp", 24},          {"bmp8.bmp", 8},
    {"bmp8.bmp", 24},          {"bmp8_topdown.bmp", 8},
    {"bmp8_rle.bmp", 8},       {"bmp8_rle.bmp", 24},
    {"bmp16_565.bmp", 24, Compare::kStoredBits565},
    {"bmp24.bmp", 24},         {"bmp24_topdown.bmp", 24},
    {"bmp32.bmp", 32},         {"pcx24.pcx", 24},
    {"pcx24_netpbm.pcx", 24},  {"pcx8.pcx", 8},
    {"pcx8.pcx", 24},          {"pcx1.pcx", 24},
    {"pcx1_netpbm.pcx", 1, Compare::kExact, Witness::kNetpbm},
    {"pcx1_netpbm.pcx", 8, Compare::kExact, Witness::kNetpbm},
    {"pcx4planes_netpbm.pcx", 8}, {"pcx4planes_netpbm.pcx", 24},
    {"pcx2packed_netpbm.pcx", 8}, {"pcx2packed_netpbm.pcx", 24},
    {"wbmp.wbmp", 1},          {"wbmp.wbmp", 8},
    {"wbmp_netpbm.wbmp", 8},
};

INSTANTIATE_TEST_SUITE_P(Files, CodecFixtures, ::testing::ValuesIn(kFixtures), [](const auto& info) {
  std::string name = std::string(info.param.file) + "_" + std::to_string(info.param.bits);
  for (char& ch : name)
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  return name;
});

}  // namespace
}  // namespace qv::test
