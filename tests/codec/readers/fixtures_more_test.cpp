// TGA, PSD and PhotoCD files written by ImageMagick decode to ImageMagick's own
// pixels (exactly for TGA and PSD; PhotoCD by layout, see tests/data/pcd),
// through the readers and through quadrivue-cli. The expected pixels are
// committed beside the files; where /usr/bin/convert exists they are made afresh.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "readers_test_support.h"

namespace qv::test {
namespace {

const std::string kDataDir = std::string(QV_TEST_DATA_DIR) + "/";

// How the committed witness was made, and so how a fresh one is.
enum class Witness {
  kRgb,        // "<stem>.rgb": ImageMagick's red, green, blue
  kRgba,       // "<stem>.rgba": with alpha
  kCmyk,       // "<stem>.cmyk": ink values, converted here
  kCommitted,  // only the committed file (ImageMagick cannot read the document back)
};

struct FixtureCase {
  const char* file;  // under tests/data
  int32_t bits;
  Witness witness;
  int32_t width;
  int32_t height;
};

std::string Stem(const char* file) {
  const std::filesystem::path p(file);
  return (p.parent_path() / p.stem()).string();
}

const char* WitnessKind(Witness w) {
  switch (w) {
    case Witness::kRgba:
      return "rgba";
    case Witness::kCmyk:
      return "cmyk";
    default:
      return "rgb";
  }
}

bool HaveMagick() {
#ifdef QV_MAGICK_PATH
  return std::filesystem::exists(QV_MAGICK_PATH);
#else
  return false;
#endif
}

// ImageMagick's decode of the file: made now when the tool is there, otherwise
// the committed copy.
Bytes WitnessBytes(const FixtureCase& c, const CTempFolder& dir) {
  const std::string kind = WitnessKind(c.witness);
  const std::string committed = kDataDir + Stem(c.file) + "." + kind;
  if (!HaveMagick() || c.witness == Witness::kCommitted) return ReadFile(committed);
#ifdef QV_MAGICK_PATH
  const std::string out = dir.Path("witness." + kind);
  // The merged image of a document with its colours as stored; a TGA turned by
  // its recorded origin.
  const bool psd = std::filesystem::path(c.file).extension() == ".psd";
  const std::string input =
      psd ? "-define psd:alpha-unblend=off '" + kDataDir + c.file + "[0]'" : "'" + kDataDir + c.file + "' -auto-orient";
  const std::string command =
      std::string(QV_MAGICK_PATH) + " " + input + " -depth 8 " + kind + ":'" + out + "' 2>/dev/null";
  if (std::system(command.c_str()) != 0) return {};
  return ReadFile(out);
#else
  (void)dir;
  return {};
#endif
}

// The witness as the reader should give it at the case's depth: ink converted
// as the reader does (stored = 255 - ink), alpha added (255) or dropped.
Bytes Expected(const FixtureCase& c, const Bytes& witness) {
  const size_t in = c.witness == Witness::kRgb || c.witness == Witness::kCommitted ? 3 : 4;
  const size_t out = c.bits == 32 ? 4 : 3;
  Bytes result;
  for (size_t i = 0; i + in <= witness.size(); i += in) {
    const uint8_t* p = witness.data() + i;
    if (c.witness == Witness::kCmyk) {
      const uint32_t k = 255u - p[3];
      for (int ch = 0; ch < 3; ++ch) result.push_back(static_cast<uint8_t>((255u - p[ch]) * k / 255));
    } else {
      result.insert(result.end(), p, p + 3);
    }
    if (out == 4) result.push_back(in == 4 && c.witness != Witness::kCmyk ? p[3] : 255);
  }
  return result;
}

uint8_t* ReadFixture(const FixtureCase& c, HISSRC source, int32_t* w, int32_t* h, ISPalEntry* palette) {
  const std::string ext = std::filesystem::path(c.file).extension().string();
  if (ext == ".tga") return ISReadTGA(source, w, h, c.bits, palette, 0);
  return ISReadPSD(source, w, h, c.bits, palette, 0);
}

// Picture bytes as red, green, blue (alpha at 32 bits), palette pictures expanded.
Bytes ToRgb(const uint8_t* pixels, size_t count, int32_t bits, const ISPalEntry* palette) {
  if (bits != 8) return Bytes(pixels, pixels + count * (bits == 32 ? 4 : 3));
  Bytes out;
  for (size_t i = 0; i < count; ++i)
    out.insert(out.end(), {palette[pixels[i]].red, palette[pixels[i]].green, palette[pixels[i]].blue});
  return out;
}

void ExpectSameBytes(const char* what, const Bytes& expected, const Bytes& actual) {
  ASSERT_EQ(actual.size(), expected.size()) << what;
  const auto diff = std::mismatch(actual.begin(), actual.end(), expected.begin());
  if (diff.first != actual.end())
    ADD_FAILURE() << what << ": byte " << (diff.first - actual.begin()) << " is " << int(*diff.first) << ", expected "
                  << int(*diff.second);
}

class ImageMagickFiles : public ::testing::TestWithParam<FixtureCase> {};

TEST_P(ImageMagickFiles, ReaderGivesImageMagicksPixels) {
  const FixtureCase& c = GetParam();
  CTempFolder dir;
  const Bytes witness = WitnessBytes(c, dir);
  ASSERT_FALSE(witness.empty()) << "no expected pixels for " << c.file;
  CSource source(kDataDir + c.file);
  ASSERT_NE(source.Get(), nullptr);
  ISPalEntry palette[IS_PALETTE_SIZE] = {};
  int32_t width = 0, height = 0;
  CCodecBuffer pixels(ReadFixture(c, source.Get(), &width, &height, palette));
  ASSERT_TRUE(pixels) << "error " << ISGetLastError();
  EXPECT_EQ(ISGetLastError(), IS_ERR_OK);
  ASSERT_EQ(width, c.width);
  ASSERT_EQ(height, c.height);
  FixtureCase delivered = c;  // a 32-bit PSD read gives 3-byte pixels
  if (std::string(c.file).find(".psd") != std::string::npos && c.bits == 32) delivered.bits = 24;
  ExpectSameBytes(c.file, Expected(delivered, witness),
                  ToRgb(pixels.Get(), size_t(width) * size_t(height), delivered.bits, palette));
}

#ifdef QV_CLI_PATH
// Pixels of a P6 or P7 file written by the decode command.
Bytes NetpbmPixels(const Bytes& file) {
  const std::string text(file.begin(), file.end());
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

std::string RunDecode(const std::string& file, int32_t bits, const CTempFolder& dir, Bytes& picture) {
  const std::string out = dir.Path("out.pnm");
  const std::string report = dir.Path("report.txt");
  const std::string command = std::string("'") + QV_CLI_PATH + "' decode '" + file + "' '" + out + "' --bpp " +
                              std::to_string(bits) + " > '" + report + "' 2>/dev/null";
  const int rc = std::system(command.c_str());
  picture = rc == 0 ? NetpbmPixels(ReadFile(out)) : Bytes();
  const Bytes line = ReadFile(report);
  return std::string(line.begin(), line.end());
}

TEST_P(ImageMagickFiles, DecodeCommandGivesImageMagicksPixels) {
  const FixtureCase& c = GetParam();
  CTempFolder dir;
  const Bytes witness = WitnessBytes(c, dir);
  ASSERT_FALSE(witness.empty());
  const bool psd32 = std::string(c.file).find(".psd") != std::string::npos && c.bits == 32;
  Bytes picture;
  const std::string report = RunDecode(kDataDir + c.file, c.bits, dir, picture);
  if (psd32) {  // the command refuses what would come back with 3-byte pixels
    EXPECT_EQ(report, "size 0 0 bpp 32 error 5\n");
    return;
  }
  EXPECT_EQ(report, "size " + std::to_string(c.width) + " " + std::to_string(c.height) + " bpp " +
                        std::to_string(c.bits) + " error 0\n");
  ExpectSameBytes(c.file, Expected(c, witness), picture);
}
#endif

const FixtureCase kFixtures[] = {
    {"tga/tga1.tga", 8, Witness::kRgb, 23, 9},
    {"tga/tga1.tga", 24, Witness::kRgb, 23, 9},
    {"tga/tga1.tga", 32, Witness::kRgb, 23, 9},
    {"tga/tga9.tga", 8, Witness::kRgb, 23, 9},
    {"tga/tga9.tga", 24, Witness::kRgb, 23, 9},
    {"tga/tga2.tga", 24, Witness::kRgb, 23, 9},
    {"tga/tga2.tga", 32, Witness::kRgb, 23, 9},
    {"tga/tga2_topdown.tga", 24, Witness::kRgb, 23, 9},
    {"tga/tga9_topdown.tga", 8, Witness::kRgb, 23, 9},
    {"tga/tga9_topdown.tga", 32, Witness::kRgb, 23, 9},
    {"tga/tga10.tga", 24, Witness::kRgb, 23, 9},
    {"tga/tga2_alpha.tga", 24, Witness::kRgba, 23, 9},
    {"tga/tga2_alpha.tga", 32, Witness::kRgba, 23, 9},
    {"tga/tga10_alpha.tga", 32, Witness::kRgba, 23, 9},
    {"tga/tga3.tga", 8, Witness::kRgb, 23, 9},
    {"tga/tga3.tga", 24, Witness::kRgb, 23, 9},
    {"tga/tga11.tga", 24, Witness::kRgb, 23, 9},
    {"psd/psd_grey.psd", 8, Witness::kRgb, 21, 10},
    {"psd/psd_grey.psd", 24, Witness::kRgb, 21, 10},
    {"psd/psd_indexed.psd", 8, Witness::kCommitted, 21, 10},
    {"psd/psd_indexed.psd", 24, Witness::kCommitted, 21, 10},
    {"psd/psd_rgb.psd", 24, Witness::kRgb, 21, 10},
    {"psd/psd_rgb.psd", 32, Witness::kRgb, 21, 10},
    {"psd/psd_rgba.psd", 24, Witness::kRgb, 21, 10},
    {"psd/psd_cmyk.psd", 24, Witness::kCmyk, 21, 10},
    {"psd/psd_rgb16_raw.psd", 24, Witness::kRgb, 21, 10},
    {"psd/psd_grey16_raw.psd", 8, Witness::kRgb, 21, 10},
    {"psd/psd_grey16_raw.psd", 24, Witness::kRgb, 21, 10},
};

INSTANTIATE_TEST_SUITE_P(Files, ImageMagickFiles, ::testing::ValuesIn(kFixtures), [](const auto& info) {
  std::string name = std::string(info.param.file) + "_" + std::to_string(info.param.bits);
  for (char& ch : name)
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  return name;
});

TEST(ImageMagickFiles, QueriesAgreeWithTheReads) {
  CSource tga(kDataDir + "tga/tga10_alpha.tga");
  int32_t w = 0, h = 0, depth = 0;
  ASSERT_EQ(ISGetTGADims(tga.Get(), &w, &h, &depth), 1);
  EXPECT_EQ(w, 23);
  EXPECT_EQ(h, 9);
  EXPECT_EQ(depth, 32);

  CSource psd(kDataDir + "psd/psd_indexed.psd");
  int32_t mode = -1;
  ISResolution resolution{};
  ASSERT_EQ(ISGetPSDDims(psd.Get(), &w, &h, &mode, &resolution), 1);
  EXPECT_EQ(ISGetLastError(), IS_ERR_OK);
  EXPECT_EQ(mode, 2);
  EXPECT_EQ(resolution.x, 72);
  EXPECT_EQ(resolution.y, 72);
  EXPECT_EQ(resolution.unit, 1);
}

// ---- PhotoCD ----

// Every step-th pixel of every step-th row.
Bytes Thinned(const Bytes& rgb, size_t width, size_t height, size_t step) {
  Bytes out;
  for (size_t y = 0; y < height; y += step)
    for (size_t x = 0; x < width; x += step)
      out.insert(out.end(), rgb.begin() + static_cast<std::ptrdiff_t>((y * width + x) * 3),
                 rgb.begin() + static_cast<std::ptrdiff_t>((y * width + x) * 3 + 3));
  return out;
}

double Correlation(const Bytes& a, const Bytes& b, size_t channel) {
  double ma = 0, mb = 0;
  const size_t n = a.size() / 3;
  for (size_t i = 0; i < n; ++i) ma += a[i * 3 + channel], mb += b[i * 3 + channel];
  ma /= double(n), mb /= double(n);
  double sab = 0, saa = 0, sbb = 0;
  for (size_t i = 0; i < n; ++i) {
    const double da = a[i * 3 + channel] - ma, db = b[i * 3 + channel] - mb;
    sab += da * db, saa += da * da, sbb += db * db;
  }
  return sab / std::sqrt(saa * sbb);
}

// Same layout as ImageMagick's decode: every channel correlated, colours near.
void ExpectSameLayout(const std::string& what, const Bytes& ours, const Bytes& theirs) {
  ASSERT_EQ(ours.size(), theirs.size()) << what;
  double total = 0;
  int worst = 0;
  for (size_t i = 0; i < ours.size(); ++i) {
    const int d = std::abs(int(ours[i]) - int(theirs[i]));
    total += d, worst = std::max(worst, d);
  }
  for (size_t ch = 0; ch < 3; ++ch) EXPECT_GE(Correlation(ours, theirs, ch), 0.95) << what << " channel " << ch;
  EXPECT_LE(total / double(ours.size()), 32.0) << what;
  EXPECT_LE(worst, 80) << what;
}

TEST(ImageMagickPhotoCd, PortraitPackComesOutUpright) {
  const std::string file = kDataDir + "pcd/portrait.pcd";
  const struct {
    int32_t resolution;
    int32_t width, height;
    size_t step;
    const char* witness;
  } cases[] = {{3, 512, 768, 8, "pcd/portrait_res3_step8.rgb"}, {1, 128, 192, 2, "pcd/portrait_res1_step2.rgb"}};
  for (const auto& c : cases) {
    CSource source(file);
    ASSERT_EQ(ISGuessFileType(source.Get()), IS_FILETYPE_PCD);
    source.Rewind();
    const CDecoded d = DecodeSource(
        source.Get(), [&](HISSRC s, int32_t* w, int32_t* h) { return ISReadPCD(s, w, h, c.resolution, 0); }, 3);
    ASSERT_EQ(d.error, IS_ERR_OK);
    ASSERT_EQ(d.width, c.width);
    ASSERT_EQ(d.height, c.height);
    const std::string what = "resolution " + std::to_string(c.resolution);
    ExpectSameLayout(what, Thinned(d.pixels, size_t(c.width), size_t(c.height), c.step),
                     ReadFile(kDataDir + c.witness));
#ifdef QV_MAGICK_PATH
    if (!HaveMagick()) continue;
    CTempFolder dir;
    const std::string out = dir.Path("full.rgb");
    const std::string command = std::string(QV_MAGICK_PATH) + " '" + file + "[" + std::to_string(c.resolution) +
                                "]' -depth 8 rgb:'" + out + "' 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    ExpectSameLayout(what + ", every pixel", d.pixels, ReadFile(out));
#endif
  }
}

#ifdef QV_CLI_PATH
TEST(ImageMagickPhotoCd, DecodeCommandReadsTheBaseImage) {
  CTempFolder dir;
  Bytes picture;
  EXPECT_EQ(RunDecode(kDataDir + "pcd/portrait.pcd", 24, dir, picture), "size 512 768 bpp 24 error 0\n");
  ExpectSameLayout("decode", Thinned(picture, 512, 768, 8), ReadFile(kDataDir + "pcd/portrait_res3_step8.rgb"));
  EXPECT_EQ(RunDecode(kDataDir + "pcd/portrait.pcd", 8, dir, picture), "size 0 0 bpp 8 error 5\n");
}
#endif

}  // namespace
}  // namespace qv::test
