// The image holder's metafile types: WMF (12) and EMF (13) load through the
// metafile renderer as 24-bit codec buffers.
#include <gtest/gtest.h>

#include <string>

#include "codec/codec_test_support.h"
#include "metafile_fixtures.h"
#include "show/show_image.h"
#include "support/param_names.h"

namespace qv::test {
namespace {

int32_t HolderType(EFixture kind) { return kind == EFixture::kEmf ? kTypeEmf : kTypeWmf; }

class ShowMetafileTest : public ::testing::TestWithParam<CFixtureCase> {};

// Detected from the contents, or asked for by type: the same picture.
TEST_P(ShowMetafileTest, LoadsAsATwentyFourBitCodecBuffer) {
  CTempFolder folder;
  const std::string path = folder.Path(GetParam().fileName);
  ASSERT_TRUE(WriteFixture(GetParam().kind, path));
  const CExpectedSize size = ExpectedFixtureSize(GetParam().kind, path);
  for (const int32_t asked : {int32_t(kTypeNone), HolderType(GetParam().kind)}) {
    CShowImage image;
    image.m_nXRes = 7;  // a metafile load leaves the resolution alone
    ASSERT_EQ(image.Load(path, asked, 0), IS_ERR_OK) << "type " << asked;
    EXPECT_EQ(image.m_nType, HolderType(GetParam().kind));
    EXPECT_EQ(image.m_nBitsPerPixel, 24);
    EXPECT_NEAR(image.m_nWidth, size.width, size.tolerance);
    EXPECT_NEAR(image.m_nHeight, size.height, size.tolerance);
    EXPECT_TRUE(image.m_bCodecBuffer);
    EXPECT_NE(image.m_pCodecBits, nullptr);
    EXPECT_EQ(image.GetBits(), image.m_pCodecBits);
    EXPECT_EQ(image.m_strPath, path);
    EXPECT_EQ(image.m_nPage, 0);
    EXPECT_EQ(image.m_nXRes, 7);
    for (const CColourProbe& probe : PictureProbes())
      EXPECT_EQ(PixelAt(image.GetBits(), image.m_nWidth, image.m_nHeight, probe.fx, probe.fy), probe.colour)
          << "at " << probe.fx << ", " << probe.fy;
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ShowMetafileTest, ::testing::ValuesIn(kFixtureCases),
                         NameFrom<&CFixtureCase::name>());

// A file named as a metafile that is none fails with the renderer's error and
// leaves the holder empty, like any picture that cannot be decoded.
TEST(ShowMetafile, FailedRenderLeavesTheHolderEmpty) {
  CTempFolder folder;
  const std::string text = folder.Write("text.wmf", CByteWriter().Text("not a picture\n").Get());
  CShowImage image;
  EXPECT_EQ(image.Load(text, kTypeNone, 0), IS_ERR_WMFCONVERT);
  EXPECT_TRUE(image.IsEmpty());
  EXPECT_EQ(image.m_nWidth, 0);
  EXPECT_EQ(image.m_nBitsPerPixel, 0);
  EXPECT_EQ(image.Load(folder.Path("missing.emf"), kTypeEmf, 0), IS_ERR_FILEOPEN);
  EXPECT_TRUE(image.IsEmpty());
}

}  // namespace
}  // namespace qv::test
