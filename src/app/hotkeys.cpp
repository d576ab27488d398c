#include "app/hotkeys.h"

#include <cstdio>
#include <utility>

#include "library/show_app.h"
#include "platform/profile.h"

namespace qv {

namespace {

struct CKeyName {
  uint32_t nKey;
  const char* name;
};

constexpr CKeyName kKeyNames[] = {
    {0x08, "Backspace"},   {0x09, "Tab"},        {0x0D, "Enter"},          {0x13, "Pause"},
    {0x14, "Caps Lock"},   {0x1B, "Esc"},        {0x20, "Space"},          {0x21, "Page Up"},
    {0x22, "Page Down"},   {0x23, "End"},        {0x24, "Home"},           {0x25, "Left"},
    {0x26, "Up"},          {0x27, "Right"},      {0x28, "Down"},           {0x2C, "Print Screen"},
    {0x2D, "Insert"},      {0x2E, "Delete"},     {0x6A, "Num *"},          {0x6B, "Num +"},
    {0x6D, "Num -"},       {0x6E, "Num ."},      {0x6F, "Num /"},          {0x90, "Num Lock"},
    {0x91, "Scroll Lock"}, {0xB0, "Next Track"}, {0xB1, "Previous Track"}, {0xB2, "Stop Media"},
    {0xB3, "Play/Pause"},
};

std::string KeyName(uint32_t key) {
  if ((key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z')) return std::string(1, static_cast<char>(key));
  for (const auto& entry : kKeyNames) {
    if (entry.nKey == key) return entry.name;
  }
  char name[16];
  if (key >= 0x60 && key <= 0x69) {
    std::snprintf(name, sizeof name, "Num %u", static_cast<unsigned>(key - 0x60));
  } else if (key >= 0x70 && key <= 0x87) {
    std::snprintf(name, sizeof name, "F%u", static_cast<unsigned>(key - 0x70 + 1));
  } else {
    std::snprintf(name, sizeof name, "Key 0x%02X", static_cast<unsigned>(key));
  }
  return name;
}

}  // namespace

CHotkeyKeys ReadHotkeys(const CProfile& profile) {
  CHotkeyKeys keys{};
  if (profile.ReadInt(CShowApp::kProfileSection, kProfileHotkeys, 1) == 0) return keys;
  for (const auto& field : kHotkeyFields) {
    const auto stored = static_cast<uint32_t>(
        profile.ReadInt(CShowApp::kProfileSection, field.entry, static_cast<int32_t>(field.nDefault)));
    const uint32_t key = MakeHotkey(HotkeyModifiers(stored), HotkeyVirtualKey(stored));
    keys[static_cast<size_t>(field.action)] = HotkeyVirtualKey(key) ? key : 0;
  }
  return keys;
}

std::string HotkeyText(uint32_t key) {
  if (!HotkeyVirtualKey(key)) return std::string();
  std::string text;
  const uint32_t modifiers = HotkeyModifiers(key);
  for (const auto& [bit, name] : {std::pair{kHotkeyWin, "Win+"}, std::pair{kHotkeyCtrl, "Ctrl+"},
                                  std::pair{kHotkeyAlt, "Alt+"}, std::pair{kHotkeyShift, "Shift+"}}) {
    if (modifiers & bit) text += name;
  }
  return text + KeyName(HotkeyVirtualKey(key));
}

int32_t HotkeyTargetShow(std::span<const CMonitorRect> shows, int32_t x, int32_t y) {
  for (size_t i = 0; i < shows.size(); ++i) {
    const CMonitorRect& r = shows[i];
    if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return static_cast<int32_t>(i);
  }
  return shows.empty() ? -1 : 0;
}

}  // namespace qv
