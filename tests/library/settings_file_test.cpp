#include "library/settings_file.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace qv {
namespace {

using test::TempDir;

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out += static_cast<char>(v);
  return out;
}

std::string U32(uint32_t v) { return Bytes({int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF), int(v >> 24)}); }

const std::string kDefaultFile =
    Bytes({0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0x2C, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0x14, 0, 0, 0,
           0, 0, 0, 0, 1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});

// The ten stored scalars after a folder block.
std::string Scalars(std::initializer_list<uint32_t> values) {
  std::string out;
  for (uint32_t v : values) out += U32(v);
  return out;
}

void ExpectDefaults(const CShowSettings& s) {
  EXPECT_TRUE(s.m_arrFolders.empty());
  EXPECT_EQ(s.m_bSubfolders, 1);
  EXPECT_EQ(s.m_bSmartCrop, 1);
  EXPECT_EQ(s.m_bIgnoreSmall, 1);
  EXPECT_EQ(s.m_nMinWidth, 300);
  EXPECT_EQ(s.m_bRandom, 1);
  EXPECT_EQ(s.m_bUpdateOnStart, 0);
  EXPECT_EQ(s.m_nInterval, 20);
  EXPECT_EQ(s.m_bMinutes, 0);
  EXPECT_EQ(s.m_nFitMode, 1);
  EXPECT_EQ(s.m_nMonitor, -1);
}

TEST(SettingsRecord, Defaults) {
  CShowSettings s;
  ExpectDefaults(s);
  EXPECT_EQ(s.m_nCounter, 0);
}

TEST(SettingsFile, DefaultsAreTheFortyEightByteFile) {
  TempDir dir;
  const std::string path = dir.Path("settings.idx");
  ASSERT_TRUE(SaveSettingsFile(path, CShowSettings()));
  EXPECT_EQ(TempDir::Read(path), kDefaultFile);
  CShowSettings loaded;
  loaded.m_nMinWidth = 5;
  EXPECT_EQ(LoadSettingsFile(path, loaded), ESettingsLoad::Loaded);
  ExpectDefaults(loaded);
}

TEST(SettingsFile, RoundTripKeepsEveryField) {
  TempDir dir;
  CShowSettings s;
  s.m_arrFolders = {"C:\\Pictures", "", "D:\\", "C:\\Pictures"};
  int32_t v = -3;
  for (const auto& field : kSettingsFields) s.*field.member = v++ * 1000;
  s.m_nCounter = 99;  // not part of the file
  ASSERT_TRUE(SaveSettingsFile(dir.Path("s.idx"), s));
  CShowSettings back;
  ASSERT_EQ(LoadSettingsFile(dir.Path("s.idx"), back), ESettingsLoad::Loaded);
  EXPECT_EQ(back.m_arrFolders, s.m_arrFolders);
  for (const auto& field : kSettingsFields) EXPECT_EQ(back.*field.member, s.*field.member) << field.name;
  EXPECT_EQ(back.m_nCounter, 0);
}

TEST(CountedString, LengthForms) {
  struct Case { size_t length; std::string prefix; };
  const Case cases[] = {{0, Bytes({0})},
                        {254, Bytes({254})},
                        {255, Bytes({0xFF, 0xFF, 0x00})},
                        {65533, Bytes({0xFF, 0xFD, 0xFF})},
                        {65534, Bytes({0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0, 0})},
                        {70000, Bytes({0xFF, 0xFF, 0xFF, 0x70, 0x11, 1, 0})}};
  TempDir dir;
  for (const auto& c : cases) {
    std::string encoded;
    const std::string text(c.length, 'a');
    AppendCountedString(encoded, text);
    EXPECT_EQ(encoded.substr(0, c.prefix.size()), c.prefix) << c.length;
    EXPECT_EQ(encoded.size(), c.prefix.size() + c.length);
    // And it reads back as the folder it was.
    CShowSettings s;
    s.m_arrFolders = {text};
    ASSERT_TRUE(SaveSettingsFile(dir.Path("f.idx"), s));
    CShowSettings back;
    ASSERT_EQ(LoadSettingsFile(dir.Path("f.idx"), back), ESettingsLoad::Loaded);
    EXPECT_EQ(back.m_arrFolders, s.m_arrFolders) << c.length;
  }
}

TEST(SettingsFile, ReadsTheUtf16Form) {
  TempDir dir;
  // "Ab" as UTF-16 with a one-byte length, then "Z" with a 16-bit length.
  const std::string file = U32(2) + Bytes({0xFF, 0xFE, 0xFF, 2, 'A', 0, 'b', 0}) +
                           Bytes({0xFF, 0xFE, 0xFF, 0xFF, 1, 0, 'Z', 0}) + Scalars({0, 0, 0, 1, 0, 0, 7, 1, 0, 2}) +
                           U32(0xFFFFFFFF);
  const std::string path = dir.Write("w.idx", file);
  CShowSettings s;
  ASSERT_EQ(LoadSettingsFile(path, s), ESettingsLoad::Loaded);
  EXPECT_EQ(s.m_arrFolders, (std::vector<std::string>{"Ab", "Z"}));
  EXPECT_EQ(s.m_nInterval, 7);
  EXPECT_EQ(s.m_nMonitor, 2);
}

TEST(SettingsFile, ValuesAreUsedUnchanged) {
  TempDir dir;
  struct Case { const char* name; std::string file; int32_t minutes, monitor; size_t folders; };
  const Case cases[] = {
      {"terminator need not be -1", U32(0) + Scalars({1, 1, 1, 300, 1, 0, 20, 0, 1, 3}) + U32(12345), 0, 3, 0},
      {"two in the minutes field", U32(0) + Scalars({1, 1, 1, 300, 1, 0, 20, 2, 1, 0}) + U32(0xFFFFFFFF), 2, 0, 0},
      {"negative count means no strings", U32(0xFFFFFFFE) + Scalars({1, 1, 1, 300, 1, 0, 20, 1, 1, 0}) +
                                              U32(0xFFFFFFFF), 1, 0, 0},
  };
  for (const auto& c : cases) {
    CShowSettings s;
    ASSERT_EQ(LoadSettingsFile(dir.Write("v.idx", c.file), s), ESettingsLoad::Loaded) << c.name;
    EXPECT_EQ(s.m_bMinutes, c.minutes) << c.name;
    EXPECT_EQ(s.m_nMonitor, c.monitor) << c.name;
    EXPECT_EQ(s.m_arrFolders.size(), c.folders) << c.name;
  }
}

TEST(SettingsFile, MissingFileLeavesRecord) {
  TempDir dir;
  CShowSettings s;
  s.m_arrFolders = {"kept"};
  s.m_nInterval = 5;
  EXPECT_EQ(LoadSettingsFile(dir.Path("none.idx"), s), ESettingsLoad::Missing);
  EXPECT_EQ(s.m_arrFolders, std::vector<std::string>{"kept"});
  EXPECT_EQ(s.m_nInterval, 5);
}

// Every prefix of a good file loads into a complete record: what was read
// whole is kept, the rest takes its default.
TEST(SettingsFile, EveryTruncationLoadsCompleteRecord) {
  TempDir dir;
  CShowSettings full;
  full.m_arrFolders = {"first", std::string(300, 'x')};
  for (const auto& field : kSettingsFields) full.*field.member = 7;
  const std::string bytes = EncodeSettings(full);
  const size_t scalarsAt = 4 + 6 + 3 + 300;
  for (size_t cut = 0; cut < bytes.size(); ++cut) {
    CShowSettings s;
    s.m_nCounter = 42;
    const auto result = LoadSettingsFile(dir.Write("t.idx", bytes.substr(0, cut)), s);
    ASSERT_EQ(result, ESettingsLoad::Damaged) << cut;
    EXPECT_EQ(s.m_nCounter, 42);
    EXPECT_EQ(s.m_arrFolders.size(), cut < 10 ? 0u : cut < scalarsAt ? 1u : 2u) << cut;
    for (size_t i = 0; i < kSettingsFields.size(); ++i) {
      const auto& field = kSettingsFields[i];
      const bool read = cut >= scalarsAt + 4 * (i + 1);
      EXPECT_EQ(s.*field.member, read ? 7 : field.defaultValue) << "cut " << cut << " " << field.name;
    }
  }
}

TEST(SettingsFile, ImpossibleLengthsAreRefusedWithoutAllocating) {
  TempDir dir;
  const std::string scalars = Scalars({0, 0, 0, 1, 0, 0, 9, 0, 0, 0}) + U32(0xFFFFFFFF);
  struct Case { const char* name; std::string file; size_t folders; };
  const Case cases[] = {
      {"huge count, one string", U32(0x7FFFFFFF) + Bytes({1, 'a'}), 1},
      {"string past the end", U32(1) + Bytes({200, 'a', 'b'}), 0},
      {"32-bit length of 4 GiB", U32(1) + Bytes({0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF}) + scalars, 0},
      {"64-bit length form", U32(1) + Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}) + scalars, 0},
      {"wide length past the end", U32(1) + Bytes({0xFF, 0xFE, 0xFF, 100, 'a', 0}), 0},
      {"two wide markers", U32(1) + Bytes({0xFF, 0xFE, 0xFF, 0xFF, 0xFE, 0xFF, 1, 'a', 0}) + scalars, 0},
      {"second string damaged", U32(2) + Bytes({1, 'a', 0xFF}), 1},
  };
  for (const auto& c : cases) {
    CShowSettings s;
    EXPECT_EQ(LoadSettingsFile(dir.Write("d.idx", c.file), s), ESettingsLoad::Damaged) << c.name;
    EXPECT_EQ(s.m_arrFolders.size(), c.folders) << c.name;
    EXPECT_EQ(s.m_nInterval, 20) << c.name;
  }
}

TEST(SettingsFile, FailedSaveKeepsTheOldFile) {
  TempDir dir;
  const std::string path = dir.Write("settings.idx", kDefaultFile);
  // A folder in the way of the temporary file makes the write fail.
  std::filesystem::create_directories(path + ".tmp");
  CShowSettings s;
  s.m_nInterval = 99;
  EXPECT_FALSE(SaveSettingsFile(path, s));
  EXPECT_EQ(TempDir::Read(path), kDefaultFile);
  // Nor does saving into a folder that does not exist create anything.
  EXPECT_FALSE(SaveSettingsFile(dir.Path("no/such/settings.idx"), s));
}

}  // namespace
}  // namespace qv
