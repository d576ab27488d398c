#include "app/monitor_choice.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qv {
namespace {

// One entry per character: 'P' primary, '-' not.
std::vector<CMonitorEntry> Monitors(const std::string& layout) {
  std::vector<CMonitorEntry> entries;
  for (const char c : layout) {
    CMonitorEntry entry;
    entry.m_bPrimary = c == 'P' ? 1 : 0;
    entries.push_back(entry);
  }
  return entries;
}

struct ResolveCase {
  const char* layout;
  int32_t setting;
  int32_t expected;
};

TEST(MonitorChoice, ResolvesTheSettingAmongTheMonitors) {
  const ResolveCase cases[] = {
      {"P", -1, 0},                                                               // one monitor, automatic
      {"-P-", -1, 2},                                                             // the last non-primary one
      {"--P", -1, 1},        {"P-", -1, 1},       {"PP", -1, 0},                  // every entry primary: the first
      {"P-", 5, 1},                                                               // past the end: the last monitor
      {"P-", 2, 1},          {"P-", 0, 0},        {"P-", 1, 1},  {"-P-", -2, 2},  // below -1 counts as automatic
      {"-P-", INT32_MIN, 2}, {"P", INT32_MAX, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ResolveMonitorIndex(c.setting, Monitors(c.layout)), c.expected)
        << c.layout << " with setting " << c.setting;
  }
}

// After a change a chosen monitor that is still there keeps the show; one
// that has gone gives way to the automatic choice (not to the last monitor,
// as a stored setting past the end does at start-up).
TEST(MonitorChoice, AfterAChangeAGoneMonitorGivesWayToTheAutomaticChoice) {
  const ResolveCase cases[] = {
      {"P--", 2, 2}, {"P-", 2, 1},  {"-P-", 3, 2}, {"P", 1, 0},
      {"-P", 0, 0},  {"P-", -1, 1}, {"PP", -1, 0}, {"P-", INT32_MIN, 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MonitorAfterChange(c.setting, Monitors(c.layout)), c.expected)
        << c.layout << " with setting " << c.setting;
  }
  EXPECT_EQ(MonitorAfterChange(0, {}), -1);
}

// The shows: the first monitor always, then the mask's others in order; a
// mask of 0 is the single show of earlier versions.
TEST(MonitorChoice, ChosenMonitorsStartWithTheFirst) {
  const struct {
    int32_t first;
    uint32_t mask;
    size_t count;
    std::vector<int32_t> want;
  } kCases[] = {
      {1, 0, 2, {1}},        {0, 0b11, 2, {0, 1}},           {1, 0b111, 3, {1, 0, 2}}, {2, 0b101, 3, {2, 0}},
      {0, 0b110, 2, {0, 1}},  // a monitor that has gone drops out
      {1, 0b100, 2, {1}},    {0, 0xFFFFFFFFu, 3, {0, 1, 2}}, {-1, 0b11, 2, {}},        {2, 0b11, 2, {}},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(ChosenMonitors(c.first, c.mask, c.count), c.want) << c.first << " mask " << c.mask;
}

TEST(MonitorChoice, NoMonitorGivesNoIndex) { EXPECT_EQ(ResolveMonitorIndex(-1, {}), -1); }

TEST(MonitorChoice, LabelsCountFromOneAndMarkThePrimary) {
  const std::vector<CMonitorEntry> monitors = Monitors("P--");
  std::vector<std::string> labels;
  for (size_t i = 0; i < monitors.size(); ++i)
    labels.push_back(MonitorLabel(static_cast<int32_t>(i), monitors[i].m_bPrimary != 0));
  EXPECT_EQ(labels, (std::vector<std::string>{"MONITOR 1 (Primary)", "MONITOR 2", "MONITOR 3"}));
  EXPECT_EQ(MonitorLabel(1, true), "MONITOR 2 (Primary)");
}

}  // namespace
}  // namespace qv
