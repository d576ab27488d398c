#include "app/hotkeys.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "platform/profile.h"
#include "support/temp_dir.h"

namespace qv {
namespace {

TEST(Hotkeys, TextNamesModifiersAndKey) {
  const struct {
    uint32_t key;
    const char* text;
  } kCases[] = {
      {0x0727, "Ctrl+Alt+Shift+Right"},
      {0x0725, "Ctrl+Alt+Shift+Left"},
      {0x0728, "Ctrl+Alt+Shift+Down"},
      {0x0878, "Win+F9"},
      {0x0F41, "Win+Ctrl+Alt+Shift+A"},
      {0x0435, "Shift+5"},
      {0x0261, "Ctrl+Num 1"},
      {0x00B3, "Play/Pause"},
      {0x02BA, "Ctrl+Key 0xBA"},
      {0x0700, ""},
      {0x0000, ""},
  };
  for (const auto& c : kCases) EXPECT_EQ(HotkeyText(c.key), c.text) << std::hex << c.key;
}

// The profile's "Settings" values: absent means the defaults, "Hotkeys" 0
// every key off, a key code of 0 that one key off, stray bits dropped.
TEST(Hotkeys, ReadFromTheProfile) {
  struct Value {
    const char* entry;
    int32_t value;
  };
  const struct {
    std::vector<Value> values;
    CHotkeyKeys keys;
  } kCases[] = {
      {{}, {0x0727, 0x0725, 0x0728}},
      {{{"Hotkeys", 0}}, {0, 0, 0}},
      {{{"Hotkeys", 0}, {"HotkeyNext", 0x0878}}, {0, 0, 0}},
      {{{"Hotkeys", 1}, {"HotkeyNext", 0x0878}}, {0x0878, 0x0725, 0x0728}},
      {{{"HotkeyPrevious", 0}, {"HotkeyPause", 0x13}}, {0x0727, 0, 0x0013}},
      {{{"HotkeyNext", static_cast<int32_t>(0xFFFFF327)}, {"HotkeyPause", 0x0F00}}, {0x0327, 0x0725, 0}},
  };
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  for (const auto& c : kCases) {
    test::TempDir dir;
    CProfile profile("QuadrivueTest", "hotkeys" + std::to_string(stamp) + "-" + std::to_string(&c - kCases));
    profile.SetBaseFolder(dir.Str());
    for (const auto& v : c.values) ASSERT_TRUE(profile.WriteInt("Settings", v.entry, v.value));
    EXPECT_EQ(ReadHotkeys(profile), c.keys) << c.values.size() << " values";
  }
}

TEST(Hotkeys, TheShowUnderThePointer) {
  // Two screens that both start at the origin, and a monitor to the left.
  const CMonitorRect shows[] = {{0, 0, 1024, 768}, {0, 0, 800, 600}, {-1280, 0, 0, 1024}};
  const struct {
    size_t count;
    int32_t x, y, show;
  } kCases[] = {
      {3, 900, 700, 0}, {3, 10, 10, 0},  {3, -1, 500, 2},   {3, -1280, 0, 2}, {3, 1024, 100, 0},
      {3, 0, 768, 0},   {3, 5000, 5, 0}, {2, -100, 100, 0}, {1, 799, 599, 0}, {0, 10, 10, -1},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(HotkeyTargetShow(std::span(shows, c.count), c.x, c.y), c.show) << c.count << ": " << c.x << "," << c.y;
  }
  const CMonitorRect smallFirst[] = {{0, 0, 800, 600}, {0, 0, 1024, 768}};
  EXPECT_EQ(HotkeyTargetShow(smallFirst, 900, 700), 1);
  EXPECT_EQ(HotkeyTargetShow(smallFirst, 10, 10), 0);
}

}  // namespace
}  // namespace qv
