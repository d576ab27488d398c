// The codec core: per-thread errors, the operation frame, source handles,
// buffers, the byte cursor and format detection.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <fstream>
#include <regex>
#include <span>
#include <sstream>
#include <thread>

#include "codec/codec_internal.h"
#include "codec_test_support.h"
#include "support/param_names.h"

namespace qv::test {
namespace {

using codec::CISByteCursor;
using codec::CISOperation;
using codec::ISException;

// Every constant the public header declares has its own name, so a code
// added later cannot be left out of the tools' messages.
TEST(CodecErrorState, EveryErrorCodeHasItsName) {
  std::ifstream header(std::string(QV_TEST_DATA_DIR) + "/../../src/codec/codec.h");
  ASSERT_TRUE(header.good());
  std::stringstream text;
  text << header.rdbuf();
  const std::string source = text.str();
  const std::regex constant(R"(inline constexpr int32_t (IS_ERR_\w+) = (\d+);)");
  int found = 0;
  for (auto it = std::sregex_iterator(source.begin(), source.end(), constant); it != std::sregex_iterator(); ++it) {
    EXPECT_STREQ(ISErrorName(std::stoi((*it)[2])), (*it)[1].str().c_str());
    ++found;
  }
  EXPECT_GT(found, 30);
  EXPECT_STREQ(ISErrorName(4), "unknown error");
  EXPECT_STREQ(ISErrorName(-1), "unknown error");
}

TEST(CodecBuffers, ImageBytesRefusesWhatNoBufferCouldHold) {
  EXPECT_EQ(codec::ImageBytes(10, 3, 24), 90u);
  EXPECT_EQ(codec::ImageBytes(9, 2, 1), 4u);
  EXPECT_EQ(codec::ImageBytes(0, 3, 24), 0u);
  EXPECT_EQ(codec::ImageBytes(10, 0, 24), 0u);
  EXPECT_EQ(codec::ImageBytes(10, 3, 16), 0u);  // no such buffer depth
  EXPECT_EQ(codec::ImageBytes(INT32_MAX, INT32_MAX, 32), 0u);
  EXPECT_EQ(codec::ImageBytes(1, static_cast<int64_t>(codec::kMaxBufferBytes), 8), codec::kMaxBufferBytes);
  EXPECT_EQ(codec::ImageBytes(1, static_cast<int64_t>(codec::kMaxBufferBytes) + 1, 8), 0u);
}

TEST(CodecErrorState, LastErrorIsKeptPerThread) {
  ISSeekSource(nullptr, 0, 0);
  ASSERT_EQ(ISGetLastError(), IS_ERR_BADPARAM);
  int32_t fresh = -1, other = -1;
  std::thread([&] {
    fresh = ISGetLastError();  // a new thread starts clean
    ISSeekSource(reinterpret_cast<HISSRC>(&fresh), 0, 0);
    other = ISGetLastError();
  }).join();
  EXPECT_EQ(fresh, IS_ERR_OK);
  EXPECT_EQ(other, IS_ERR_BADSOURCE);
  EXPECT_EQ(ISGetLastError(), IS_ERR_BADPARAM);
}

TEST(CodecErrorState, OperationFrameMapsExceptionsToCodes) {
  {
    CISOperation op;
    ASSERT_TRUE(op.Ok());
    EXPECT_EQ(op.Run<int>(-1, []() -> int { throw ISException(IS_ERR_NOTPCX, "bad"); }), -1);
  }
  EXPECT_EQ(ISGetLastError(), IS_ERR_NOTPCX);
  {
    CISOperation op;
    EXPECT_EQ(op.Run<int>(-1, []() -> int { throw std::bad_alloc(); }), -1);
  }
  EXPECT_EQ(ISGetLastError(), IS_ERR_MEMORY);
  {
    CISOperation op;
    EXPECT_EQ(op.Run<int>(-1, [] { return 7; }), 7);
  }
  EXPECT_EQ(ISGetLastError(), IS_ERR_OK);
}

TEST(CodecErrorState, ExceptionCarriesCodeAndMessage) {
  const ISException withText(IS_ERR_JPEG, "Not a JPEG file");
  EXPECT_EQ(withText.Code(), IS_ERR_JPEG);
  EXPECT_STREQ(withText.what(), "Not a JPEG file");
  EXPECT_STREQ(ISException(IS_ERR_PNG).what(), "");
}

TEST(CodecErrorState, NestedOperationErrorsAreReportedInOrder) {
  {
    CISOperation outer;
    {
      CISOperation inner;
      inner.SetError(IS_ERR_FILEREAD);
    }
    EXPECT_EQ(ISGetLastError(), IS_ERR_FILEREAD);  // the inner call's outcome, read by the outer one
    outer.SetError(IS_ERR_DEPTH);
  }
  EXPECT_EQ(ISGetLastError(), IS_ERR_DEPTH);
}

struct ProgressLog {
  std::vector<std::pair<int32_t, int32_t>> calls;
  int32_t stopAt = -1;
};

int32_t RecordProgress(int32_t index, int32_t count, uintptr_t user) {
  auto* log = reinterpret_cast<ProgressLog*>(user);
  log->calls.emplace_back(index, count);
  return index == log->stopAt ? 0 : 1;
}

TEST(CodecProgress, CallbackRunsOnlyForTheOutermostOperation) {
  ProgressLog log;
  log.stopAt = 2;
  ASSERT_EQ(ISSetProgressCallback(RecordProgress, reinterpret_cast<uintptr_t>(&log)), 1);
  {
    CISOperation outer;
    EXPECT_EQ(outer.State().m_nNesting, 1);
    EXPECT_TRUE(outer.Progress(0, 3));
    {
      CISOperation inner;
      EXPECT_EQ(inner.State().m_nNesting, 2);
      EXPECT_TRUE(inner.Progress(1, 3));  // not called: nested
    }
    EXPECT_TRUE(outer.Progress(1, 3));
    EXPECT_FALSE(outer.Progress(2, 3));
    EXPECT_EQ(outer.Error(), IS_ERR_CANCELLED);
  }
  EXPECT_EQ(ISGetLastError(), IS_ERR_CANCELLED);
  EXPECT_EQ(log.calls, (std::vector<std::pair<int32_t, int32_t>>{{0, 3}, {1, 3}, {2, 3}}));
  ISSetProgressCallback(nullptr, 0);
  CISOperation op;
  EXPECT_TRUE(op.Progress(2, 3));
  EXPECT_EQ(op.State().m_nNesting, 1);
}

TEST(CodecBuffers, SizeLimitsAndZeroFill) {
  EXPECT_EQ(codec::AllocBuffer(0), nullptr);
  EXPECT_EQ(codec::AllocBuffer(codec::kMaxBufferBytes + 1), nullptr);
  EXPECT_EQ(codec::AllocBuffer(uint64_t{100000} * 100000 * 3), nullptr);
  codec::CISBuffer buffer(4096);
  ASSERT_TRUE(buffer);
  for (uint64_t i = 0; i < buffer.Size(); ++i) ASSERT_EQ(buffer.Get()[i], 0);
  CCodecBuffer owned(buffer.Release());
  EXPECT_FALSE(buffer);
}

TEST(CodecBuffers, StrideByDepth) {
  struct Case {
    int64_t width;
    int32_t bits;
    int64_t stride;
  };
  const Case cases[] = {{9, 1, 2},   {8, 1, 1}, {1, 1, 1}, {5, 8, 5},   {5, 24, 15},
                        {5, 32, 20}, {5, 4, 0}, {0, 8, 0}, {-3, 24, 0}, {INT32_MAX, 32, int64_t{INT32_MAX} * 4}};
  for (const Case& c : cases) EXPECT_EQ(codec::ImageStride(c.width, c.bits), c.stride) << c.width << "x" << c.bits;
}

TEST(CodecCursor, ReadsBothByteOrdersAndFailsForGood) {
  const uint8_t data[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07};
  CISByteCursor cursor(data, sizeof data);
  EXPECT_EQ(cursor.U16LE(), 0x0201);
  EXPECT_EQ(cursor.U16BE(), 0x0304);
  EXPECT_EQ(cursor.Remaining(), 3u);
  EXPECT_EQ(cursor.U32LE(), 0u);  // only 3 bytes left
  EXPECT_FALSE(cursor.Ok());
  EXPECT_EQ(cursor.U8(), 0);  // sticky
  CISByteCursor skipper(data, sizeof data);
  EXPECT_FALSE(skipper.Skip(UINT64_MAX));
  CISByteCursor big(data, sizeof data);
  EXPECT_EQ(big.U32BE(), 0x01020304u);
  EXPECT_TRUE(big.Skip(3));
  EXPECT_TRUE(big.Ok());
  EXPECT_FALSE(big.Skip(1));
}

class CodecSources : public ::testing::Test {
 protected:
  CTempFolder m_dir;
};

TEST_F(CodecSources, OpenRefusesEmptyAndMissingPaths) {
  EXPECT_EQ(ISOpenFileSource(""), nullptr);
  EXPECT_EQ(ISGetLastError(), IS_ERR_FILEOPEN);
  EXPECT_EQ(ISOpenFileSource(nullptr), nullptr);
  EXPECT_EQ(ISGetLastError(), IS_ERR_FILEOPEN);
  EXPECT_EQ(ISOpenFileSource(m_dir.Path("missing.bmp").c_str()), nullptr);
  EXPECT_EQ(ISGetLastError(), IS_ERR_FILEOPEN);
}

TEST_F(CodecSources, SeekAndCloseReportPosition) {
  const std::string path = m_dir.Write("ten.bin", Bytes(10, 7));
  HISSRC source = ISOpenFileSource(path.c_str());
  ASSERT_NE(source, nullptr);
  EXPECT_EQ(ISGetLastError(), IS_ERR_OK);
  EXPECT_NE(ISSeekSource(source, 4, 0), 0);
  EXPECT_NE(ISSeekSource(source, 2, 1), 0);
  EXPECT_EQ(ISSeekSource(source, -20, 0), 0);
  EXPECT_EQ(ISGetLastError(), IS_ERR_FILEREAD);
  EXPECT_NE(ISSeekSource(source, -3, 2), 0);
  EXPECT_EQ(ISCloseSource(source), 7);
  EXPECT_EQ(ISGetLastError(), IS_ERR_OK);
}

TEST_F(CodecSources, InvalidHandlesAreRefusedWithoutBeingTouched) {
  uint8_t garbage[256];
  std::memset(garbage, 0xA5, sizeof garbage);
  const HISSRC foreign = reinterpret_cast<HISSRC>(garbage);
  const std::string path = m_dir.Write("f.bin", Bytes(4, 0));
  HISSRC closed = ISOpenFileSource(path.c_str());
  ASSERT_NE(closed, nullptr);
  ISCloseSource(closed);
  for (HISSRC bad : {foreign, closed}) {
    EXPECT_EQ(ISSeekSource(bad, 0, 0), 0);
    EXPECT_EQ(ISGetLastError(), IS_ERR_BADSOURCE);
    EXPECT_EQ(ISGuessFileType(bad), 0);
    EXPECT_EQ(ISGetLastError(), IS_ERR_BADSOURCE);
    EXPECT_EQ(ISCloseSource(bad), 0);
    EXPECT_EQ(ISGetLastError(), IS_ERR_BADSOURCE);
  }
  EXPECT_EQ(ISGuessFileType(nullptr), 0);
  EXPECT_EQ(ISGetLastError(), IS_ERR_BADPARAM);
  EXPECT_EQ(ISCloseSource(nullptr), 0);
  EXPECT_EQ(ISGetLastError(), IS_ERR_BADPARAM);
}

TEST_F(CodecSources, SourcesOpenedOnOneThreadWorkOnAnother) {
  const std::string path = m_dir.Write("a.bmp", Bytes{'B', 'M', 0, 0});
  HISSRC source = ISOpenFileSource(path.c_str());
  int32_t type = -1;
  std::thread([&] { type = ISGuessFileType(source); }).join();
  EXPECT_EQ(type, IS_FILETYPE_BMP);
  ISCloseSource(source);
}

// A handle checked while another thread closes it is found open or refused;
// the block is never read after it has been freed (the sanitizer build
// reports such a read).
TEST_F(CodecSources, CheckDuringACloseOnAnotherThread) {
  const std::string path = m_dir.Write("c.bin", Bytes(4, 0));
  std::atomic<HISSRC> current{nullptr};
  std::atomic<bool> done{false};
  std::atomic<int> unexpected{0};
  std::thread checker([&] {
    while (!done.load()) {
      const HISSRC source = current.load();
      if (!source) continue;
      for (int i = 0; i < 8; ++i) {
        const int32_t check = codec::CheckSource(source);
        if (check != IS_ERR_OK && check != IS_ERR_BADSOURCE) ++unexpected;
      }
    }
  });
  for (int i = 0; i < 4000; ++i) {
    HISSRC source = ISOpenFileSource(path.c_str());
    if (!source) {
      ADD_FAILURE() << "open failed";
      break;
    }
    current.store(source);
    ISCloseSource(source);
  }
  done.store(true);
  checker.join();
  EXPECT_EQ(unexpected.load(), 0);
}

// ---- Detection ----

Bytes WithTail(Bytes head, size_t size, const Bytes& tail = {}) {
  head.resize(size - tail.size(), 0x55);
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

Bytes TgaFooter() {
  Bytes b(8, 0);
  const std::string sig = "TRUEVISION-XFILE.";
  b.insert(b.end(), sig.begin(), sig.end());
  b.push_back(0);
  return b;
}

struct DetectCase {
  const char* label;
  Bytes bytes;
  const char* name;
  int32_t code;
};

void PrintTo(const DetectCase& c, std::ostream* os) {
  const size_t head = std::min<size_t>(c.bytes.size(), 8);
  *os << c.label << ": " << c.bytes.size() << " bytes from " << HexBytes(std::span(c.bytes).first(head)) << " named \""
      << c.name << "\", file type " << c.code;
}

class CodecDetect : public ::testing::TestWithParam<DetectCase> {};

TEST_P(CodecDetect, GuessesTheFileType) {
  const DetectCase& c = GetParam();
  CTempFolder dir;
  CSource source(dir.Write(c.name, c.bytes));
  ASSERT_NE(source.Get(), nullptr);
  EXPECT_EQ(ISGuessFileType(source.Get()), c.code);
  EXPECT_EQ(ISGetLastError(), IS_ERR_OK);
}

Bytes Pcd() {
  Bytes b(2100, 0x11);
  std::memcpy(b.data() + 2048, "PCD", 3);
  return b;
}

Bytes Emf() {
  Bytes b(64, 0x01);
  std::memcpy(b.data() + 40, " EMF", 4);
  return b;
}

Bytes Jp2() {
  Bytes b = {0, 0, 0, 0x0C, 'j', 'P', ' ', ' ', 0x0D, 0x0A};
  return WithTail(b, 40);
}

const DetectCase kDetectCases[] = {
    {"bmp_wins_over_tga_name", WithTail({'B', 'M'}, 40), "x.tga", IS_FILETYPE_BMP},
    {"pax", WithTail({'P', 'A', 'X'}, 40), "x.bin", IS_FILETYPE_PAX},
    {"gif89", WithTail({'G', 'I', 'F', '8', '9', 'a'}, 40), "x", IS_FILETYPE_GIF},
    {"gif87", WithTail({'G', 'I', 'F', '8', '7', 'a'}, 40), "x", IS_FILETYPE_GIF},
    {"jfif", WithTail({0xFF, 0xD8, 0xFF, 0xE0}, 40), "x", IS_FILETYPE_JPEG},
    {"jpeg", WithTail({0xFF, 0xD8, 0xFF, 0xE1}, 40), "x", IS_FILETYPE_JPEG},
    {"pcx0", WithTail({0x0A, 0x00}, 40), "x", IS_FILETYPE_PCX},
    {"pcx5", WithTail({0x0A, 0x05}, 40), "x", IS_FILETYPE_PCX},
    {"pcx_version4_unknown", WithTail({0x0A, 0x04}, 40), "x", IS_FILETYPE_UNKNOWN},
    {"tiff_mm", WithTail({'M', 'M', 0, 42}, 40), "x", IS_FILETYPE_TIFF},
    {"tiff_ii", WithTail({'I', 'I', 42, 0}, 40), "x", IS_FILETYPE_TIFF},
    {"png", WithTail({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}, 40), "x", IS_FILETYPE_PNG},
    {"wmf", WithTail({0x01, 0x00, 0x09, 0x00, 0x00}, 40), "x", IS_FILETYPE_WMF},
    {"placeable_wmf", WithTail({0xD7, 0xCD, 0xC6, 0x9A}, 40), "x", IS_FILETYPE_WMF},
    {"emf_at_40", Emf(), "x", IS_FILETYPE_EMF},
    {"psd", WithTail({'8', 'B', 'P', 'S'}, 40), "x", IS_FILETYPE_PSD},
    {"tla", WithTail({'T', 'L', 'A', 1}, 40), "x", IS_FILETYPE_TLA},
    {"tlau", WithTail({'T', 'L', 'A', 'U'}, 40), "x", IS_FILETYPE_TLAU},
    {"pcd_overview", WithTail({'P', 'C', 'D', '_', 'O', 'P', 'A'}, 40), "x", IS_FILETYPE_PCD_OVERVIEW},
    {"jp2_box", Jp2(), "x", IS_FILETYPE_JP2},
    {"j2k_codestream", WithTail({0xFF, 0x4F, 0xFF, 0x51}, 40), "x", IS_FILETYPE_JP2},
    {"j2k_at_4", WithTail({1, 2, 3, 4, 0xFF, 0x4F}, 40), "x", IS_FILETYPE_J2K},
    {"compound", WithTail({0xD0, 0xCF, 0x11, 0xE0}, 40), "x", IS_FILETYPE_COMPOUND},
    // Two zero bytes: WBMP unless the name or the footer says TGA.
    {"zeros_with_tga_footer", WithTail({0, 0, 2}, 60, TgaFooter()), "x.img", IS_FILETYPE_TGA},
    {"zeros_named_wbmp", WithTail({0, 0, 8, 8}, 40), "x.WBMP", IS_FILETYPE_WBMP},
    {"zeros_named_wbm", WithTail({0, 0, 8, 8}, 40), "x.wbm", IS_FILETYPE_WBMP},
    {"zeros_plain", WithTail({0, 0, 8, 8}, 40), "x.bin", IS_FILETYPE_WBMP},
    {"zeros_named_tga", WithTail({0, 0, 2}, 40), "x.Tga", IS_FILETYPE_TGA},
    {"tga_by_footer", WithTail({0x20, 0x01}, 60, TgaFooter()), "x", IS_FILETYPE_TGA},
    {"tga_by_name", WithTail({0x20, 0x01}, 40), "x.tga", IS_FILETYPE_TGA},
    {"short_unmatched", Bytes{0x42, 0x43, 0x44}, "x", IS_FILETYPE_UNKNOWN},
    {"pcd_at_2048", Pcd(), "x", IS_FILETYPE_PCD},
    {"nothing_known", WithTail({0x42, 0x43}, 3000), "x", IS_FILETYPE_UNKNOWN},
    {"empty", Bytes{}, "x", IS_FILETYPE_UNKNOWN},
};

INSTANTIATE_TEST_SUITE_P(Table, CodecDetect, ::testing::ValuesIn(kDetectCases), NameFrom<&DetectCase::label>());

TEST(CodecDetectPosition, ReadsFromTheCurrentPosition) {
  CTempFolder dir;
  CSource source(dir.Write("x.bin", WithTail({0x11, 0x22, 'B', 'M'}, 40)));
  ASSERT_NE(ISSeekSource(source.Get(), 2, 0), 0);
  EXPECT_EQ(ISGuessFileType(source.Get()), IS_FILETYPE_BMP);
}

}  // namespace
}  // namespace qv::test
