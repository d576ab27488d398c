// The holder over damaged and hostile picture files (tests/data/bad, written by
// make_bad.py there): each loads with the result and holding state that
// outcomes.txt records, and no file in the folder goes without its line.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "show/show_image.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

const fs::path kBadDir = fs::path(QV_TEST_DATA_DIR) / "bad";

struct COutcome {
  int32_t nResult = 0;
  int nHeld = 0;
};

// "NAME RESULT HELD" lines; # starts a comment line.
std::map<std::string, COutcome> ReadOutcomes() {
  std::map<std::string, COutcome> outcomes;
  std::ifstream in(kBadDir / "outcomes.txt");
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string name;
    COutcome outcome;
    if (!(fields >> name >> outcome.nResult >> outcome.nHeld) || !outcomes.emplace(name, outcome).second)
      ADD_FAILURE() << "bad or repeated line: " << line;
  }
  return outcomes;
}

TEST(BadFilesTest, EachLoadsAsRecorded) {
  const auto outcomes = ReadOutcomes();
  ASSERT_FALSE(outcomes.empty());
  for (const auto& [name, expected] : outcomes) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(fs::is_regular_file(kBadDir / name));
    CShowImage image;
    EXPECT_EQ(image.Load((kBadDir / name).string(), kTypeNone, 0), expected.nResult);
    EXPECT_EQ(image.IsEmpty() ? 0 : 1, expected.nHeld);
  }
}

TEST(BadFilesTest, EveryFileHasItsLine) {
  const auto outcomes = ReadOutcomes();
  for (const auto& entry : fs::directory_iterator(kBadDir)) {
    const std::string name = entry.path().filename().string();
    if (name == "make_bad.py" || name == "outcomes.txt") continue;
    EXPECT_EQ(outcomes.count(name), 1u) << name << " has no line in outcomes.txt";
  }
}

}  // namespace
}  // namespace qv
