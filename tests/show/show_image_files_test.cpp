// The holder over files written by an outside encoder: type codes, and pixels
// equal to that encoder's own decode (JPEG within a small tolerance, since
// decoders may round their inverse transform differently).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "show/show_image.h"
#include "support/param_names.h"

namespace qv {
namespace {

struct FileCase {
  const char* file;      // under tests/data
  const char* expected;  // the encoder's decode as 8-bit RGB, under tests/data
  int32_t type;
  int tolerance;
};

void PrintTo(const FileCase& c, std::ostream* os) {
  *os << c.file << " as type " << c.type << ", within " << c.tolerance << " of " << c.expected;
}

std::string DataPath(const std::string& relative) { return std::string(QV_TEST_DATA_DIR) + "/" + relative; }

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class ShowImageFileTest : public testing::TestWithParam<FileCase> {};

TEST_P(ShowImageFileTest, TypeAndPixels) {
  const auto& c = GetParam();
  const std::vector<uint8_t> expected = ReadAll(DataPath(c.expected));
  ASSERT_FALSE(expected.empty()) << c.expected;
  CShowImage image;
  ASSERT_EQ(image.Load(DataPath(c.file), kTypeNone, 0), 0) << c.file;
  EXPECT_EQ(image.m_nType, c.type);
  ASSERT_EQ(image.m_nBitsPerPixel, 24);
  ASSERT_EQ(static_cast<size_t>(image.m_nWidth) * image.m_nHeight * 3, expected.size());
  int worst = 0;
  for (size_t i = 0; i < expected.size(); ++i) worst = std::max(worst, std::abs(image.GetBits()[i] - expected[i]));
  EXPECT_LE(worst, c.tolerance) << c.file;
}

INSTANTIATE_TEST_SUITE_P(
    Files, ShowImageFileTest,
    testing::Values(FileCase{"show/colour.jpg", "show/colour.jpg.rgb", kTypeJpeg, 2},
                    FileCase{"show/jpeg_named.png", "show/colour.jpg.rgb", kTypeJpeg, 2},  // content wins
                    FileCase{"show/grey.jpg", "show/grey.jpg.rgb", kTypeJpegGrey, 2},
                    FileCase{"show/mono.png", "show/mono.png.rgb", kTypePng1, 0},  // grey colour type, 1 bit
                    FileCase{"show/pal.png", "show/pal.png.rgb", kTypePngPalette, 0},
                    FileCase{"psd/psd_rgb.psd", "psd/psd_rgb.rgb", kTypePsd, 0},
                    FileCase{"psd/psd_indexed.psd", "psd/psd_indexed.rgb", kTypePsd8, 0},
                    FileCase{"psd/psd_grey.psd", "psd/psd_grey.rgb", kTypePsd8, 0},
                    FileCase{"tga/tga1.tga", "tga/tga1.rgb", kTypeTga8, 0},
                    FileCase{"tga/tga2.tga", "tga/tga2.rgb", kTypeTga, 0},
                    FileCase{"tga/tga3.tga", "tga/tga3.rgb", kTypeTga8, 0},
                    FileCase{"tga/tga11.tga", "tga/tga11.rgb", kTypeTga, 0},  // run-length grey, read at 24 bits
                    FileCase{"codec/bmp4.bmp", "codec/bmp4.rgb", kTypeBmp8, 0},
                    FileCase{"codec/pcx8.pcx", "codec/pcx8.rgb", kTypePcx8, 0},
                    FileCase{"codec/pcx24.pcx", "codec/pcx24.rgb", kTypePcx, 0}),
    test::NameFrom<&FileCase::file>());

TEST(ShowImageFiles, GreyJpegIsNeutral) {
  CShowImage image;
  ASSERT_EQ(image.Load(DataPath("show/grey.jpg"), kTypeNone, 0), 0);
  for (int32_t i = 0; i < image.m_nWidth * image.m_nHeight; ++i) {
    const uint8_t* p = image.GetBits() + i * 3;
    ASSERT_TRUE(p[0] == p[1] && p[1] == p[2]) << i;
  }
}

TEST(ShowImageFiles, PhotoCdAtItsThirdResolution) {
  CShowImage image;
  ASSERT_EQ(image.Load(DataPath("pcd/portrait.pcd"), kTypeNone, 0), 0);
  EXPECT_EQ(image.m_nType, kTypePcd);
  EXPECT_EQ(image.m_nBitsPerPixel, 24);
  EXPECT_EQ(image.m_nWidth * image.m_nHeight, 768 * 512);
  EXPECT_EQ(image.m_nXRes, 300);
}

}  // namespace
}  // namespace qv
