#include "library/show_app.h"

#include <gtest/gtest.h>

#include <chrono>

#include "platform/profile.h"
#include "support/temp_dir.h"

namespace qv {
namespace {

using test::TempDir;

// A profile of its own for each test run, so runs never see each other's values.
CProfile TestProfile(const TempDir& dir) {
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  CProfile profile("QuadrivueTest", "run" + std::to_string(stamp));
  profile.SetBaseFolder(dir.Str());
  return profile;
}

TEST(ShowAppCounter, AbsentValueIsZeroAndWrittenValueReadsBack) {
  TempDir dir;
  const CProfile profile = TestProfile(dir);
  CShowApp app(dir.Path("settings.idx"), dir.Path("filelist.idx"));
  app.m_nCounter = 17;
  app.ReadCounter(profile);
  EXPECT_EQ(app.m_nCounter, 0);
  for (const int32_t value : {5, 0, -7, INT32_MAX, INT32_MIN}) {
    ASSERT_TRUE(app.WriteCounter(profile, value));
    app.ReadCounter(profile);
    EXPECT_EQ(app.m_nCounter, value);
  }
}

// "Settings"/"AutoRotate": on when absent, off only by 0, and never written
// by loading or saving the settings file.
TEST(ShowAppProfileOptions, AutoRotateIsOnUnlessTheProfileSaysZero) {
  TempDir dir;
  const CProfile profile = TestProfile(dir);
  CShowApp app(dir.Path("settings.idx"), dir.Path("filelist.idx"));
  app.m_bAutoRotate = 0;
  app.ReadProfileOptions(profile);
  EXPECT_EQ(app.m_bAutoRotate, 1);
  ASSERT_TRUE(profile.WriteInt("Settings", "AutoRotate", 0));
  app.ReadProfileOptions(profile);
  EXPECT_EQ(app.m_bAutoRotate, 0);
  ASSERT_TRUE(app.SaveSettings());
  app.LoadSettings();
  EXPECT_EQ(app.m_bAutoRotate, 0);
}

TEST(ShowAppCounter, SectionsAndEntriesAreSeparate) {
  TempDir dir;
  const CProfile profile = TestProfile(dir);
  ASSERT_TRUE(profile.WriteInt("Settings", "Counter", 3));
  ASSERT_TRUE(profile.WriteInt("Other", "Counter", 4));
  ASSERT_TRUE(profile.WriteInt("Settings", "Other", 5));
  EXPECT_EQ(profile.ReadInt("Settings", "Counter", -1), 3);
  EXPECT_EQ(profile.ReadInt("Other", "Counter", -1), 4);
  EXPECT_EQ(profile.ReadInt("Settings", "Other", -1), 5);
  EXPECT_EQ(profile.ReadInt("Settings", "Missing", -1), -1);
}

TEST(ShowApp, SettingsGoWhereTheAppSays) {
  TempDir dir;
  CShowApp app(dir.Path("s.idx"), dir.Path("f.idx"));
  app.m_arrFolders = {"one"};
  app.m_nFitMode = 0;
  ASSERT_TRUE(app.SaveSettings());
  CShowApp again(dir.Path("s.idx"), dir.Path("f.idx"));
  EXPECT_EQ(again.LoadSettings(), ESettingsLoad::Loaded);
  EXPECT_EQ(again.m_arrFolders, std::vector<std::string>{"one"});
  EXPECT_EQ(again.m_nFitMode, 0);
}

TEST(ShowApp, DefaultDataFilesLiveInTheProgramFolder) {
  CShowApp app;
  const std::string folder = GetProgramFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(app.SettingsPath(), folder + PathSeparator() + "settings.idx");
  EXPECT_EQ(app.IndexPath(), folder + PathSeparator() + "filelist.idx");
}

}  // namespace
}  // namespace qv
