#include "platform/data_folder.h"

#include <gtest/gtest.h>

#include "platform/directory.h"
#include "platform/paths.h"
#include "support/temp_dir.h"

namespace qv {
namespace {

using test::TempDir;

// A program folder that can be written keeps the data; one that cannot sends
// it to the user's folder, made on first use, with the files beside the
// program copied there once (never over files already there).
TEST(DataFolder, BesideTheProgramUnlessItCannotBeWritten) {
  TempDir dir;
  const std::string program = dir.Path("program");
  const std::string user = dir.Path("user");
  dir.Write("program/settings.idx", "old settings");
  dir.Write("program/filelist.idx", "old list");
  dir.Write("program/settings-2.idx", "monitor 2");
  dir.Write("program/notes.txt", "not ours");
  dir.Write("user/.keep");
  const auto writable = [](const std::string&) { return true; };
  const auto readOnly = [](const std::string&) { return false; };

  EXPECT_EQ(ChooseDataFolder(program, user, writable), program);
  EXPECT_EQ(ChooseDataFolder(program, "", readOnly), program) << "no user folder: nowhere else to go";
  const std::string own = ChooseDataFolder(program, user, readOnly);
  ASSERT_EQ(own, JoinPath(user, "Quadrivue"));
  EXPECT_EQ(TempDir::Read(JoinPath(own, "settings.idx")), "old settings");
  EXPECT_EQ(TempDir::Read(JoinPath(own, "filelist.idx")), "old list");
  EXPECT_EQ(TempDir::Read(JoinPath(own, "settings-2.idx")), "monitor 2");
  EXPECT_FALSE(PathExists(JoinPath(own, "notes.txt")));
  EXPECT_FALSE(PathExists(JoinPath(own, "excluded.txt")));

  // Written in the new place since: the old files are not read again.
  dir.Write("user/Quadrivue/settings.idx", "new settings");
  EXPECT_EQ(ChooseDataFolder(program, user, readOnly), own);
  EXPECT_EQ(TempDir::Read(JoinPath(own, "settings.idx")), "new settings");

  EXPECT_TRUE(FolderWritable(program));
  EXPECT_FALSE(FolderWritable(dir.Path("missing")));
  EXPECT_EQ(ChooseDataFolder(program, dir.Path("missing/deeper"), readOnly), program)
      << "a user folder that cannot be made";
}

}  // namespace
}  // namespace qv
