// Where the build has no metafile renderer, WMF and EMF files load like
// undecodable files: result 5 and an empty holder.
#include <gtest/gtest.h>

#include "codec/codec_test_support.h"
#include "show/show_image.h"

namespace qv {
namespace {

TEST(ShowImageMetafile, NotBuiltHereLoadsLikeUndecodable) {
  test::CTempFolder dir;
  // An enhanced-metafile header record: type 1, then " EMF" at offset 40.
  test::CByteWriter emf;
  emf.U32(1).U32(88).Fill(32).Text(" EMF").Fill(44);
  const test::Bytes plainWmf = {0x01, 0x00, 0x09, 0x00, 0x00, 0x03, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  for (const auto& [name, bytes] : {std::pair{"a.emf", emf.Get()}, std::pair{"a.wmf", plainWmf}}) {
    CShowImage image;
    const std::string path = dir.Write(name, bytes);
    EXPECT_EQ(image.Load(path, kTypeNone, 0), IS_ERR_BADPARAM) << name;
    EXPECT_TRUE(image.IsEmpty());
    EXPECT_EQ(image.Load(path, kTypeEmf, 0), IS_ERR_BADPARAM) << name;
    EXPECT_EQ(image.Load(path, kTypeWmf, 0), IS_ERR_BADPARAM) << name;
    EXPECT_TRUE(image.IsEmpty());
  }
}

}  // namespace
}  // namespace qv
