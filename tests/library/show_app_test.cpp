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

namespace qv {
namespace {

// Monitors with folders of their own: files named by the monitor's number
// beside settings.idx; a monitor without them, or every monitor while the
// pictures are the same, shows the list of settings.idx; a rebuild makes each
// chosen monitor's own list; a monitor no longer chosen keeps its files.
TEST(MonitorPictures, OwnFoldersPerMonitorBesideTheSettings) {
  EXPECT_EQ(MonitorSettingsName(1), "settings-2.idx");
  EXPECT_EQ(MonitorIndexName(0), "filelist-1.idx");
  TempDir dir;
  dir.Write("main/a.jpg");
  dir.Write("second/b.png");
  dir.Write("second/c.bmp");
  CShowApp app(dir.Path("settings.idx"), dir.Path("filelist.idx"));
  app.m_arrFolders = {dir.Path("main")};
  app.m_nMonitor = 0;
  app.m_nMonitorMask = 0b111;
  app.m_bSamePictures = 0;
  EXPECT_EQ(app.PicturesFor(1).index, app.PicturesFor(0).index) << "no files of its own: the main list";

  CMonitorPictures& second = app.MonitorPictures(1);
  EXPECT_FALSE(second.m_bOwn);
  EXPECT_EQ(second.SettingsPath(), dir.Path("settings-2.idx"));
  EXPECT_EQ(second.IndexPath(), dir.Path("filelist-2.idx"));
  second.m_arrFolders = {dir.Path("second")};
  ASSERT_TRUE(second.Save(app));
  CShowSettings stored;
  ASSERT_EQ(LoadSettingsFile(dir.Path("settings-2.idx"), stored), ESettingsLoad::Loaded);
  EXPECT_EQ(stored.m_arrFolders, second.m_arrFolders);

  CRebuildJob job = app.RebuildJob();
  ASSERT_EQ(job.moreLists.size(), 1u) << "monitor 3 has no folders of its own";
  EXPECT_EQ(job.moreLists[0].indexPath, dir.Path("filelist-2.idx"));
  const std::atomic<uint64_t> latest{1};
  const CJobToken wanted(latest, 1);
  CRebuildProgress progress;
  ASSERT_TRUE(RunRebuild(job, wanted, progress).bWritten);
  EXPECT_EQ(app.PicturesFor(0).index->GetFileCount(), 1);
  EXPECT_EQ(app.PicturesFor(1).index->GetFileCount(), 2);
  EXPECT_EQ(app.PicturesFor(2).index, app.PicturesFor(0).index);
  EXPECT_NE(app.PicturesFor(1).counter, app.PicturesFor(0).counter) << "each list keeps its own position";

  app.m_bSamePictures = 1;
  EXPECT_EQ(app.PicturesFor(1).index, app.PicturesFor(0).index);
  EXPECT_TRUE(app.RebuildJob().moreLists.empty());

  // Monitor 2 left the choice: its folders stay, in its file and when read again.
  app.m_bSamePictures = 0;
  app.m_nMonitorMask = 0b101;
  EXPECT_TRUE(app.RebuildJob().moreLists.empty());
  CShowApp later(dir.Path("settings.idx"), dir.Path("filelist.idx"));
  later.m_bSamePictures = 0;
  later.m_nMonitor = 0;
  EXPECT_EQ(later.MonitorPictures(1).m_arrFolders, second.m_arrFolders);
  EXPECT_EQ(later.PicturesFor(1).index->GetFileCount(), 2);
}

}  // namespace
}  // namespace qv
