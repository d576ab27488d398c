// The hotkeys of the running program, registered on one window (which gets
// WM_HOTKEY with kFirstId + the action's value). The program keeps one for
// its run, so that a key another program holds is logged once.
#pragma once

#include <windows.h>

#include <array>
#include <optional>
#include <set>
#include <string>

#include "app/hotkeys.h"

namespace qv {

class CHotkeyRegistration {
 public:
  // Ids of a program's own hotkeys lie below 0xC000.
  static constexpr int kFirstId = 0xB510;

  CHotkeyRegistration() = default;
  CHotkeyRegistration(const CHotkeyRegistration&) = delete;
  CHotkeyRegistration& operator=(const CHotkeyRegistration&) = delete;
  ~CHotkeyRegistration() { Unregister(); }

  // Registers keys (by action; 0: off) on window, releasing the keys
  // registered before. A key that cannot be had (another program holds it,
  // say) is logged the first time this object meets it and named in Note().
  void Register(HWND window, const CHotkeyKeys& keys);
  void Unregister();

  bool IsRegistered(EHotkeyAction action) const { return m_arrRegistered[static_cast<size_t>(action)]; }
  // The action of a WM_HOTKEY's wParam; nullopt for an id that is not ours.
  static std::optional<EHotkeyAction> ActionOf(WPARAM id);
  // What the last Register could not do, for the settings dialog; empty
  // when every key is registered.
  const std::string& Note() const { return m_strNote; }

 private:
  HWND m_hWnd = nullptr;
  std::array<bool, kHotkeyActionCount> m_arrRegistered{};
  std::set<uint32_t> m_setLogged;
  std::string m_strNote;
};

}  // namespace qv
