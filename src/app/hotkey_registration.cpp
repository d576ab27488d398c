#include "app/hotkey_registration.h"

#include <algorithm>
#include <vector>

#include "platform/log.h"
#include "platform/system_error.h"

namespace qv {

namespace {

constexpr const char* kHeld = "used by another program";

// "A", "A and B", "A, B and C".
std::string JoinNames(const std::vector<std::string>& names) {
  std::string text;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i) text += i + 1 == names.size() ? " and " : ", ";
    text += names[i];
  }
  return text;
}

}  // namespace

void CHotkeyRegistration::Register(HWND window, const CHotkeyKeys& keys) {
  Unregister();
  m_hWnd = window;
  // Keys other programs hold are named together; other failures each in
  // a sentence of their own.
  std::vector<std::string> held;
  std::string others;
  for (size_t i = 0; i < keys.size(); ++i) {
    const uint32_t key = keys[i];
    if (!key) continue;
    std::string problem;
    const auto before = keys.begin() + static_cast<ptrdiff_t>(i);
    if (std::find(keys.begin(), before, key) != before) {
      problem = "is set for more than one action; the first one takes it";
    } else if (::RegisterHotKey(window, kFirstId + static_cast<int>(i), HotkeyModifiers(key), HotkeyVirtualKey(key))) {
      m_arrRegistered[i] = true;
      continue;
    } else if (const uint32_t error = LastSystemError(); error != ERROR_HOTKEY_ALREADY_REGISTERED) {
      problem = "could not be registered: " + SystemErrorText(error);
    }
    std::string text = "Hotkey " + HotkeyText(key) + " " + (problem.empty() ? std::string("is ") + kHeld : problem);
    if (text.back() != '.') text += '.';
    if (m_setLogged.insert(key).second) Log(text);
    if (problem.empty()) {
      held.push_back(HotkeyText(key));
    } else {
      others += " " + text;
    }
  }
  m_strNote.clear();
  if (!held.empty()) {
    m_strNote = (held.size() == 1 ? "Hotkey " : "Hotkeys ") + JoinNames(held) + (held.size() == 1 ? " is " : " are ") +
                kHeld + ".";
  }
  m_strNote = m_strNote.empty() && !others.empty() ? others.substr(1) : m_strNote + others;
}

void CHotkeyRegistration::Unregister() {
  for (size_t i = 0; i < m_arrRegistered.size(); ++i) {
    if (m_arrRegistered[i]) ::UnregisterHotKey(m_hWnd, kFirstId + static_cast<int>(i));
    m_arrRegistered[i] = false;
  }
}

std::optional<EHotkeyAction> CHotkeyRegistration::ActionOf(WPARAM id) {
  if (id < static_cast<WPARAM>(kFirstId) || id >= static_cast<WPARAM>(kFirstId) + kHotkeyActionCount)
    return std::nullopt;
  return static_cast<EHotkeyAction>(id - kFirstId);
}

}  // namespace qv
