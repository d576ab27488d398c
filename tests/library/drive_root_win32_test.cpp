// Drive roots: "C:\" is scanned with the pattern "C:\*.*" and gives "C:\a.png".
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>

#include "library/show_app.h"
#include "support/temp_dir.h"

namespace qv {
namespace {

TEST(FileListDriveRoot, RootIsScannedWithoutDoubledSeparator) {
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  const std::string name = "qv-root-" + std::to_string(stamp) + ".png";
  const std::string path = "C:\\" + name;
  { std::ofstream(path, std::ios::binary) << "x"; }
  if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) GTEST_SKIP() << "drive root not writable";
  test::TempDir dir;
  CShowApp app(dir.Path("settings.idx"), dir.Path("filelist.idx"));
  app.m_bSubfolders = 0;
  app.ScanFolder("C:\\", nullptr);
  DeleteFileA(path.c_str());
  EXPECT_NE(std::find(app.m_arrFiles.begin(), app.m_arrFiles.end(), path), app.m_arrFiles.end());
  for (const auto& file : app.m_arrFiles) EXPECT_EQ(file.find("\\\\"), std::string::npos) << file;
}

}  // namespace
}  // namespace qv
