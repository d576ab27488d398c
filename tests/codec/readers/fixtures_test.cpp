// Files written by ImageMagick and netpbm decode to the pixels those tools
// decode from them, through the readers and through quadrivue-cli: BMP, PCX
// and WBMP (tests/data/codec, see make_fixtures.sh), TGA and PSD exactly
// (tests/data/tga, tests/data/psd), PhotoCD by layout (tests/data/pcd). The
// expected pixels are committed beside the files; where /usr/bin/convert
// exists they are made afresh.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

#include "readers_test_support.h"
#include "support/param_names.h"

namespace qv::test {
namespace {

const std::string kDataDir = std::string(QV_TEST_DATA_DIR) + "/";

#ifdef QV_MAGICK_PATH
const std::string kMagick = QV_MAGICK_PATH;
#else
const std::string kMagick;  // never run here: the committed pixels serve
#endif
const std::string kPcxToPpm = "/usr/bin/pcxtoppm";

bool Have(const std::string& tool) { return !tool.empty() && std::filesystem::exists(tool); }

// How the committed expected pixels were made, and so how fresh ones are.
enum class Witness {
  kRgb,        // "<stem>.rgb": ImageMagick's red, green, blue
  kRgba,       // "<stem>.rgba": with alpha
  kCmyk,       // "<stem>.cmyk": ImageMagick's ink values, converted here
  kNetpbm,     // "<stem>.rgb" from netpbm's decode: ImageMagick shows a one-plane
               // 1-bit PCX inverted against the file's own palette
  kCommitted,  // "<stem>.rgb" as committed only (ImageMagick cannot read the document back)
};

// ImageMagick widens the 5- and 6-bit channels of a 16-bit BMP by repeating
// their top bits; the reader does not, so only the stored bits compare.
enum class Compare { kExact, kStoredBits565 };

struct FixtureCase {
  const char* file;  // under tests/data
  int32_t bits;      // the depth asked for
  int32_t width;
  int32_t height;
  Witness witness = Witness::kRgb;
  Compare compare = Compare::kExact;
};

void PrintTo(const FixtureCase& c, std::ostream* os) { *os << c.file << " at " << c.bits << " bits"; }

std::string Extension(const FixtureCase& c) { return std::filesystem::path(c.file).extension().string(); }

// A PSD read at 32 bits gives 3-byte pixels; the decode command refuses it.
bool ThreeBytePixelsAt32(const FixtureCase& c) { return c.bits == 32 && Extension(c) == ".psd"; }
int32_t DeliveredBits(const FixtureCase& c) { return ThreeBytePixelsAt32(c) ? 24 : c.bits; }

// The reader by file name, as the holder would pick it for these files.
uint8_t* ReadFixture(const FixtureCase& c, HISSRC source, int32_t* w, int32_t* h, ISPalEntry* palette) {
  const std::string ext = Extension(c);
  if (ext == ".bmp") return ISReadBMP(source, w, h, c.bits, palette, 0);
  if (ext == ".pcx") return ISReadPCX(source, w, h, c.bits, palette, 0);
  if (ext == ".wbmp") return ISReadWBMP(source, w, h, palette, c.bits, 0);
  if (ext == ".tga") return ISReadTGA(source, w, h, c.bits, palette, 0);
  if (ext == ".psd") return ISReadPSD(source, w, h, c.bits, palette, 0);
  ADD_FAILURE() << "no reader for " << c.file;
  return nullptr;
}

// ImageMagick's decode of `input` (a quoted file name with its options, or
// "ppm:-" after a `feed` command) as raw 8-bit samples of `kind`; empty when
// the command fails.
Bytes MagickDecode(const std::string& input, const std::string& kind, const CTempFolder& dir,
                   const std::string& feed = "") {
  const std::string out = dir.Path("witness." + kind);
  const std::string command = feed + kMagick + " " + input + " -depth 8 " + kind + ":'" + out + "' 2>/dev/null";
  if (std::system(command.c_str()) != 0) return {};
  return ReadFile(out);
}

// How ImageMagick is asked for the picture the reader gives: a document's
// merged image with its colours as stored; a TGA turned by its recorded origin.
std::string MagickInput(const FixtureCase& c) {
  const std::string path = kDataDir + c.file;
  const std::string ext = Extension(c);
  if (ext == ".psd") return "-define psd:alpha-unblend=off '" + path + "[0]'";
  if (ext == ".tga") return "'" + path + "' -auto-orient";
  return "'" + path + "'";
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

bool CanRemake(Witness w) {
  return w != Witness::kCommitted && Have(kMagick) && (w != Witness::kNetpbm || Have(kPcxToPpm));
}

// The tools' decode of the file: made now when they are there, otherwise the
// committed copy.
Bytes WitnessBytes(const FixtureCase& c, const CTempFolder& dir) {
  const std::string kind = WitnessKind(c.witness);
  if (!CanRemake(c.witness)) {
    const std::filesystem::path file(c.file);
    return ReadFile(kDataDir + (file.parent_path() / file.stem()).string() + "." + kind);
  }
  if (c.witness == Witness::kNetpbm)
    return MagickDecode("ppm:-", kind, dir, kPcxToPpm + " '" + kDataDir + c.file + "' 2>/dev/null | ");
  return MagickDecode(MagickInput(c), kind, dir);
}

// The witness as the reader should give it at the depth it delivers: ink
// converted as the reader does (stored = 255 - ink), alpha added (255) or
// dropped, and of a 16-bit BMP only the bits the file stores.
Bytes Expected(const FixtureCase& c, const Bytes& witness) {
  const size_t in = c.witness == Witness::kRgba || c.witness == Witness::kCmyk ? 4 : 3;
  const bool alpha = DeliveredBits(c) == 32;
  Bytes result;
  for (size_t i = 0; i + in <= witness.size(); i += in) {
    const uint8_t* p = witness.data() + i;
    if (c.witness == Witness::kCmyk) {
      const uint32_t k = 255u - p[3];
      for (int ch = 0; ch < 3; ++ch) result.push_back(static_cast<uint8_t>((255u - p[ch]) * k / 255));
    } else {
      result.insert(result.end(), p, p + 3);
    }
    if (c.compare == Compare::kStoredBits565) {
      uint8_t* rgb = &result[result.size() - 3];
      rgb[0] &= 0xF8, rgb[1] &= 0xFC, rgb[2] &= 0xF8;
    }
    if (alpha) result.push_back(c.witness == Witness::kRgba ? p[3] : 255);
  }
  return result;
}

// The decoded picture as red, green, blue (alpha at 32 bits), palette
// pictures expanded; 1-bit rows are packed to whole bytes.
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
      out.insert(out.end(), {palette[index].red, palette[index].green, palette[index].blue});
    }
  }
  return out;
}

void ExpectSamePixels(const FixtureCase& c, const Bytes& expected, const Bytes& actual) {
  ASSERT_EQ(actual.size(), expected.size()) << c.file << " at " << c.bits << " bits";
  const auto diff = std::mismatch(actual.begin(), actual.end(), expected.begin());
  if (diff.first != actual.end())
    ADD_FAILURE() << c.file << " at " << c.bits << " bits: byte " << (diff.first - actual.begin()) << " is "
                  << int(*diff.first) << ", expected " << int(*diff.second);
}

#ifdef QV_CLI_PATH
// Pixels of a P6 or P7 file written by the decode command.
Bytes NetpbmPixels(const Bytes& file) {
  const std::string text(file.begin(), file.end());
  size_t start = 0;
  if (text.compare(0, 2, "P7") == 0) {
    const size_t end = text.find("ENDHDR\n");
    start = end == std::string::npos ? text.size() : end + 7;
  } else {
    std::istringstream in(text);
    std::string magic;
    int w = 0, h = 0, max = 0;
    in >> magic >> w >> h >> max;
    start = in ? static_cast<size_t>(in.tellg()) + 1 : text.size();
  }
  return Bytes(file.begin() + static_cast<std::ptrdiff_t>(std::min(start, file.size())), file.end());
}

// One run of the decode command: its exit status, the line it prints and the
// pixels of the file it writes (none when it fails).
struct CDecodeRun {
  int status = -1;
  std::string report;
  Bytes pixels;
};

CDecodeRun RunDecode(const std::string& file, int32_t bits, const CTempFolder& dir) {
  const std::string out = dir.Path("out.pnm");
  const std::string report = dir.Path("report.txt");
  const std::string command = std::string("'") + QV_CLI_PATH + "' decode '" + file + "' '" + out + "' --bpp " +
                              std::to_string(bits) + " > '" + report + "' 2>/dev/null";
  CDecodeRun run;
  run.status = std::system(command.c_str());
  if (run.status == 0) run.pixels = NetpbmPixels(ReadFile(out));
  const Bytes line = ReadFile(report);
  run.report.assign(line.begin(), line.end());
  return run;
}
#endif

class FixtureFiles : public ::testing::TestWithParam<FixtureCase> {};

TEST_P(FixtureFiles, ReaderGivesTheToolsPixels) {
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
  ExpectSamePixels(c, Expected(c, witness), ToRgb(pixels.Get(), width, height, DeliveredBits(c), palette));
}

#ifdef QV_CLI_PATH
TEST_P(FixtureFiles, DecodeCommandGivesTheToolsPixels) {
  const FixtureCase& c = GetParam();
  CTempFolder dir;
  const Bytes witness = WitnessBytes(c, dir);
  ASSERT_FALSE(witness.empty()) << "no expected pixels for " << c.file;
  const CDecodeRun run = RunDecode(kDataDir + c.file, c.bits, dir);
  if (ThreeBytePixelsAt32(c)) {
    EXPECT_NE(run.status, 0);
    EXPECT_EQ(run.report, "size 0 0 bpp 32 error 5\n");
    return;
  }
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.report, "size " + std::to_string(c.width) + " " + std::to_string(c.height) + " bpp " +
                            std::to_string(c.bits) + " error 0\n");
  ExpectSamePixels(c, Expected(c, witness), run.pixels);
}
#endif

// BMP, PCX and WBMP pictures are 29 x 11, TGA 23 x 9, PSD 21 x 10.
const FixtureCase kFixtures[] = {
    {"codec/bmp1.bmp", 1, 29, 11},
    {"codec/bmp1.bmp", 8, 29, 11},
    {"codec/bmp1.bmp", 24, 29, 11},
    {"codec/bmp4.bmp", 8, 29, 11},
    {"codec/bmp4.bmp", 24, 29, 11},
    {"codec/bmp8.bmp", 8, 29, 11},
    {"codec/bmp8.bmp", 24, 29, 11},
    {"codec/bmp8_topdown.bmp", 8, 29, 11},
    {"codec/bmp8_rle.bmp", 8, 29, 11},
    {"codec/bmp8_rle.bmp", 24, 29, 11},
    {"codec/bmp16_565.bmp", 24, 29, 11, Witness::kRgb, Compare::kStoredBits565},
    {"codec/bmp24.bmp", 24, 29, 11},
    {"codec/bmp24_topdown.bmp", 24, 29, 11},
    {"codec/bmp32.bmp", 32, 29, 11, Witness::kRgba},
    {"codec/pcx24.pcx", 24, 29, 11},
    {"codec/pcx24_netpbm.pcx", 24, 29, 11},
    {"codec/pcx8.pcx", 8, 29, 11},
    {"codec/pcx8.pcx", 24, 29, 11},
    {"codec/pcx1.pcx", 24, 29, 11},
    {"codec/pcx1_netpbm.pcx", 1, 29, 11, Witness::kNetpbm},
    {"codec/pcx1_netpbm.pcx", 8, 29, 11, Witness::kNetpbm},
    {"codec/pcx4planes_netpbm.pcx", 8, 29, 11},
    {"codec/pcx4planes_netpbm.pcx", 24, 29, 11},
    {"codec/pcx2packed_netpbm.pcx", 8, 29, 11},
    {"codec/pcx2packed_netpbm.pcx", 24, 29, 11},
    {"codec/wbmp.wbmp", 1, 29, 11},
    {"codec/wbmp.wbmp", 8, 29, 11},
    {"codec/wbmp_netpbm.wbmp", 8, 29, 11},
    {"tga/tga1.tga", 8, 23, 9},
    {"tga/tga1.tga", 24, 23, 9},
    {"tga/tga1.tga", 32, 23, 9},
    {"tga/tga9.tga", 8, 23, 9},
    {"tga/tga9.tga", 24, 23, 9},
    {"tga/tga2.tga", 24, 23, 9},
    {"tga/tga2.tga", 32, 23, 9},
    {"tga/tga2_topdown.tga", 24, 23, 9},
    {"tga/tga9_topdown.tga", 8, 23, 9},
    {"tga/tga9_topdown.tga", 32, 23, 9},
    {"tga/tga10.tga", 24, 23, 9},
    {"tga/tga2_alpha.tga", 24, 23, 9, Witness::kRgba},
    {"tga/tga2_alpha.tga", 32, 23, 9, Witness::kRgba},
    {"tga/tga10_alpha.tga", 32, 23, 9, Witness::kRgba},
    {"tga/tga3.tga", 8, 23, 9},
    {"tga/tga3.tga", 24, 23, 9},
    {"tga/tga11.tga", 24, 23, 9},
    {"psd/psd_grey.psd", 8, 21, 10},
    {"psd/psd_grey.psd", 24, 21, 10},
    {"psd/psd_indexed.psd", 8, 21, 10, Witness::kCommitted},
    {"psd/psd_indexed.psd", 24, 21, 10, Witness::kCommitted},
    {"psd/psd_rgb.psd", 24, 21, 10},
    {"psd/psd_rgb.psd", 32, 21, 10},
    {"psd/psd_rgba.psd", 24, 21, 10},
    {"psd/psd_cmyk.psd", 24, 21, 10, Witness::kCmyk},
    {"psd/psd_rgb16_raw.psd", 24, 21, 10},
    {"psd/psd_grey16_raw.psd", 8, 21, 10},
    {"psd/psd_grey16_raw.psd", 24, 21, 10},
};

INSTANTIATE_TEST_SUITE_P(Files, FixtureFiles, ::testing::ValuesIn(kFixtures), [](const auto& info) {
  return TestName(std::filesystem::path(info.param.file).filename().string() + "_" + std::to_string(info.param.bits));
});

TEST(FixtureFiles, QueriesAgreeWithTheReads) {
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

TEST(PhotoCdFile, PortraitPackComesOutUpright) {
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
    if (!Have(kMagick)) continue;
    CTempFolder dir;
    const Bytes full = MagickDecode("'" + file + "[" + std::to_string(c.resolution) + "]'", "rgb", dir);
    ASSERT_FALSE(full.empty()) << "ImageMagick's decode at " << what;
    ExpectSameLayout(what + ", every pixel", d.pixels, full);
  }
}

#ifdef QV_CLI_PATH
TEST(PhotoCdFile, DecodeCommandReadsTheBaseImage) {
  CTempFolder dir;
  const CDecodeRun base = RunDecode(kDataDir + "pcd/portrait.pcd", 24, dir);
  EXPECT_EQ(base.status, 0);
  EXPECT_EQ(base.report, "size 512 768 bpp 24 error 0\n");
  ASSERT_EQ(base.pixels.size(), size_t{512} * 768 * 3);
  ExpectSameLayout("decode", Thinned(base.pixels, 512, 768, 8), ReadFile(kDataDir + "pcd/portrait_res3_step8.rgb"));
  const CDecodeRun grey = RunDecode(kDataDir + "pcd/portrait.pcd", 8, dir);
  EXPECT_NE(grey.status, 0);
  EXPECT_EQ(grey.report, "size 0 0 bpp 8 error 5\n");
}
#endif

}  // namespace
}  // namespace qv::test
