// System-wide keys for the show under the mouse pointer: what they are, how
// the profile stores them and which show one acts on. Registering them is
// the window side's (hotkey_registration.h).
//
// Profile, section "Settings" beside "Counter":
//   "Hotkeys"         0 turns every key off; absent or any other value: on
//   "HotkeyNext"      the next picture        (default Ctrl+Alt+Shift+Right)
//   "HotkeyPrevious"  the previous picture    (default Ctrl+Alt+Shift+Left)
//   "HotkeyPause"     pause or resume         (default Ctrl+Alt+Shift+Down)
// Each key is a DWORD: bits 0-7 the virtual-key code, bits 8-11 the
// modifiers as RegisterHotKey takes them (Alt 1, Ctrl 2, Shift 4, Win 8);
// other bits are ignored, and a key code of 0 turns that one key off.
// 0x0727 is Ctrl+Alt+Shift+Right, 0x0878 Win+F9.
//
// The defaults: Ctrl+Alt+arrows rotate the screen with many graphics
// drivers, Win+arrows snap windows, Win+Ctrl+arrows switch virtual desktops
// and Win+Shift+arrows move windows between monitors; with Shift added to
// Ctrl+Alt the arrows are left to programs. Pause is not used: with Ctrl
// held the key sends Break (VK_CANCEL), and many laptops have none.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "app/monitor_choice.h"

namespace qv {

class CProfile;

enum class EHotkeyAction : uint32_t { kNext = 0, kPrevious = 1, kPause = 2 };
inline constexpr size_t kHotkeyActionCount = 3;

// Modifier bits of a stored key (after the shift by 8).
inline constexpr uint32_t kHotkeyAlt = 1, kHotkeyCtrl = 2, kHotkeyShift = 4, kHotkeyWin = 8;

// A stored key made of a virtual-key code and modifiers.
constexpr uint32_t MakeHotkey(uint32_t modifiers, uint32_t virtualKey) {
  return ((modifiers & 0x0F) << 8) | (virtualKey & 0xFF);
}
constexpr uint32_t HotkeyVirtualKey(uint32_t key) { return key & 0xFF; }
constexpr uint32_t HotkeyModifiers(uint32_t key) { return (key >> 8) & 0x0F; }

struct CHotkeyField {
  EHotkeyAction action;
  const char* entry;  // the profile's value
  uint32_t nDefault;  // the key when the value is absent
};
inline constexpr const char* kProfileHotkeys = "Hotkeys";
inline constexpr CHotkeyField kHotkeyFields[kHotkeyActionCount] = {
    {EHotkeyAction::kNext, "HotkeyNext", MakeHotkey(kHotkeyCtrl | kHotkeyAlt | kHotkeyShift, 0x27)},
    {EHotkeyAction::kPrevious, "HotkeyPrevious", MakeHotkey(kHotkeyCtrl | kHotkeyAlt | kHotkeyShift, 0x25)},
    {EHotkeyAction::kPause, "HotkeyPause", MakeHotkey(kHotkeyCtrl | kHotkeyAlt | kHotkeyShift, 0x28)},
};

// The keys to register, by action (index: the action's value); 0 for a key
// that is off (every one when "Hotkeys" is 0).
using CHotkeyKeys = std::array<uint32_t, kHotkeyActionCount>;
CHotkeyKeys ReadHotkeys(const CProfile& profile);

// "Ctrl+Alt+Shift+Right", "Win+F9", "Ctrl+Key 0xBA": for the log and the
// user; empty for a key that is off.
std::string HotkeyText(uint32_t key);

// The show a key acts on, given each show's monitor rectangle (first show
// first) and the pointer: the first show whose rectangle holds the point,
// else the first show; -1 when there are none.
int32_t HotkeyTargetShow(std::span<const CMonitorRect> shows, int32_t x, int32_t y);

}  // namespace qv
