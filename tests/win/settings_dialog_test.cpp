#include "ui/settings_dialog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "codec/codec_test_support.h"
#include "platform/paths.h"
#include "platform/startup_entry.h"
#include "res/resource.h"
#include "shell_test_support.h"

namespace qv {
namespace {

using namespace std::chrono_literals;

// Plays a modal dialog from a thread timer, which keeps firing inside the
// dialog's loop and inside any message box it opens. Each step runs once,
// when its condition holds; posted messages keep the steps from nesting.
class CDialogScript {
 public:
  struct Step {
    std::function<bool()> ready;
    std::function<void()> act;
  };
  explicit CDialogScript(std::vector<Step> steps) : m_steps(std::move(steps)) {
    s_pCurrent = this;
    m_nTimer = ::SetTimer(nullptr, 0, 30, &CDialogScript::Tick);
  }
  ~CDialogScript() {
    ::KillTimer(nullptr, m_nTimer);
    s_pCurrent = nullptr;
  }
  size_t Done() const { return m_nNext; }

 private:
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    CDialogScript* self = s_pCurrent;
    if (!self || self->m_nNext >= self->m_steps.size()) return;
    const Step& step = self->m_steps[self->m_nNext];
    if (!step.ready()) return;
    ++self->m_nNext;
    step.act();
  }
  static inline CDialogScript* s_pCurrent = nullptr;
  std::vector<Step> m_steps;
  size_t m_nNext = 0;
  UINT_PTR m_nTimer = 0;
};

// The message box the dialog opened: its text, read from its static.
HWND FindMessageBox(HWND owner) {
  for (HWND w = ::GetTopWindow(nullptr); w; w = ::GetWindow(w, GW_HWNDNEXT)) {
    char cls[16] = {};
    ::GetClassNameA(w, cls, sizeof cls);
    if (std::string(cls) == "#32770" && ::GetWindow(w, GW_OWNER) == owner && ::IsWindowVisible(w)) return w;
  }
  return nullptr;
}

std::string ItemText(HWND dialog, int id) {
  char text[1024] = {};
  ::GetDlgItemTextA(dialog, id, text, sizeof text);
  return text;
}

// A data file that cannot be written is named, the dialog stays open, and
// OK succeeds once the file can be written: the settings, and the file list
// that a changed folder choice rebuilds (and rebuilds again on the retry).
TEST(SettingsDialog, OkThatCannotWriteADataFileSaysSoAndStaysOpen) {
  const struct {
    const char* file;
    const char* phrase;
    bool changeFolders;
  } cases[] = {
      {"settings.idx", "could not write the settings", false},
      {"filelist.idx", "could not write the file list", true},
  };
  for (const auto& c : cases) {
    test::CTempFolder dir;
    CShowApp app(dir.Path("settings.idx"), dir.Path("filelist.idx"));
    // The new file is written beside the old one first: a folder in its way
    // fails the write, whoever runs the test.
    const std::string target = dir.Path(c.file);
    const std::string blocker = target + ".tmp";
    std::filesystem::create_directories(blocker);
    CFileListRebuilder rebuilder;
    CSettingsDlg dialog(app, nullptr, rebuilder);
    const auto hwnd = [&] { return dialog.GetSafeHwnd(); };
    std::string message;
    bool openAfterMessage = false;
    CDialogScript script({
        {[&] { return hwnd() != nullptr; },
         [&] {
           if (c.changeFolders) ::SendDlgItemMessageA(hwnd(), IDC_SUBFOLDERS, BM_CLICK, 0, 0);
           ::PostMessageA(hwnd(), WM_COMMAND, IDOK, 0);
         }},
        {[&] { return FindMessageBox(hwnd()) != nullptr; },
         [&] {
           const HWND box = FindMessageBox(hwnd());
           message = ItemText(box, 0xFFFF);
           ::PostMessageA(box, WM_COMMAND, IDOK, 0);
         }},
        {[&] { return FindMessageBox(hwnd()) == nullptr; },
         [&] {
           openAfterMessage = ::IsWindow(hwnd()) != FALSE;
           std::filesystem::remove(blocker);
           ::PostMessageA(hwnd(), WM_COMMAND, IDOK, 0);
         }},
    });
    const INT_PTR result = dialog.DoModal();
    EXPECT_EQ(script.Done(), 3u) << c.file;
    EXPECT_NE(message.find(c.phrase), std::string::npos) << message;
    EXPECT_NE(message.find(target), std::string::npos) << message;
    EXPECT_TRUE(openAfterMessage) << c.file;
    EXPECT_EQ(result, IDOK) << c.file;
    EXPECT_TRUE(std::filesystem::exists(target)) << c.file;
  }
}

// A save that fails applies nothing: the record keeps its values through the
// message and a Cancel, so a later OK does not store what was cancelled.
TEST(SettingsDialog, AFailedSaveAppliesNothing) {
  test::CTempFolder dir;
  CShowApp app(dir.Path("settings.idx"), dir.Path("filelist.idx"));
  CFileListRebuilder rebuilder;
  const std::string blocker = dir.Path("settings.idx.tmp");
  std::filesystem::create_directories(blocker);
  int32_t intervalAfterFailure = -1;
  {
    CSettingsDlg dialog(app, nullptr, rebuilder);
    const auto hwnd = [&] { return dialog.GetSafeHwnd(); };
    CDialogScript script({
        {[&] { return hwnd() != nullptr; },
         [&] {
           ::SetDlgItemTextA(hwnd(), IDC_INTERVAL, "77");
           ::PostMessageA(hwnd(), WM_COMMAND, IDOK, 0);
         }},
        {[&] { return FindMessageBox(hwnd()) != nullptr; },
         [&] { ::PostMessageA(FindMessageBox(hwnd()), WM_COMMAND, IDOK, 0); }},
        {[&] { return FindMessageBox(hwnd()) == nullptr; },
         [&] {
           intervalAfterFailure = app.m_nInterval;
           ::PostMessageA(hwnd(), WM_COMMAND, IDCANCEL, 0);
         }},
    });
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  }
  EXPECT_EQ(intervalAfterFailure, 20);
  EXPECT_EQ(app.m_nInterval, 20);
  std::filesystem::remove(blocker);
  CSettingsDlg again(app, nullptr, rebuilder);
  CDialogScript ok({{[&] { return again.GetSafeHwnd() != nullptr; },
                     [&] { ::PostMessageA(again.GetSafeHwnd(), WM_COMMAND, IDOK, 0); }}});
  EXPECT_EQ(again.DoModal(), IDOK);
  CShowSettings stored;
  ASSERT_EQ(LoadSettingsFile(dir.Path("settings.idx"), stored), ESettingsLoad::Loaded);
  EXPECT_EQ(stored.m_nInterval, 20);
}

// The box shows whether a sign-in start is stored (one naming another
// folder too); OK makes it start this executable, or removes it.
TEST(SettingsDialog, TheSignInStartFollowsTheBox) {
  static constexpr const char* kKey = "Software\\Quadrivue test\\Run";
  struct CRemoveKey {
    ~CRemoveKey() { ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Quadrivue test"); }
  } removeKey;
  const CStartupEntry entry("Quadrivue", kKey);
  const std::string command = StartupCommand(GetModulePath());
  const struct {
    std::optional<std::string> before;
    bool click;
    bool shownChecked;
    std::optional<std::string> after;
  } kCases[] = {
      {"\"C:\\Moved\\Quadrivue.exe\"", false, true, command},
      {command, true, true, std::nullopt},
      {std::nullopt, true, false, command},
      {std::nullopt, false, false, std::nullopt},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.before.value_or("(none)") + (c.click ? ", clicked" : ""));
    ASSERT_TRUE(c.before ? entry.Write(*c.before) : entry.Remove());
    test::CTempFolder dir;
    CShowApp app(dir.Path("settings.idx"), dir.Path("filelist.idx"));
    CFileListRebuilder rebuilder;
    CSettingsDlg dialog(app, nullptr, rebuilder);
    dialog.SetStartupEntry(entry);
    bool shownChecked = false;
    CDialogScript script({{[&] { return dialog.GetSafeHwnd() != nullptr; },
                           [&] {
                             const HWND hwnd = dialog.GetSafeHwnd();
                             shownChecked = ::IsDlgButtonChecked(hwnd, IDC_START_WITH_WINDOWS) == BST_CHECKED;
                             if (c.click) ::SendDlgItemMessageA(hwnd, IDC_START_WITH_WINDOWS, BM_CLICK, 0, 0);
                             ::PostMessageA(hwnd, WM_COMMAND, IDOK, 0);
                           }}});
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(shownChecked, c.shownChecked);
    EXPECT_EQ(entry.Read(), c.after);
  }
}

// A note on hotkeys shows below the controls, the dialog grown to hold it;
// without one the dialog keeps its size.
TEST(SettingsDialog, TheHotkeyNoteShowsBelowTheControls) {
  test::CTempFolder dir;
  CShowApp app(dir.Path("settings.idx"), dir.Path("filelist.idx"));
  CFileListRebuilder rebuilder;
  LONG plainHeight = 0;
  for (const std::string note :
       {"", "Hotkeys Ctrl+Alt+Shift+Right and Ctrl+Alt+Shift+Down are used by another program."}) {
    CSettingsDlg dialog(app, nullptr, rebuilder);
    dialog.SetHotkeyNote(note);
    bool visible = false;
    std::string text;
    RECT client{}, box{}, ok{};
    CDialogScript script({{[&] { return dialog.GetSafeHwnd() != nullptr; },
                           [&] {
                             const HWND hwnd = dialog.GetSafeHwnd();
                             const HWND control = ::GetDlgItem(hwnd, IDC_HOTKEY_NOTE);
                             visible = ::IsWindowVisible(control) != FALSE;
                             text = ItemText(hwnd, IDC_HOTKEY_NOTE);
                             ::GetClientRect(hwnd, &client);
                             ::GetWindowRect(control, &box);
                             ::GetWindowRect(::GetDlgItem(hwnd, IDOK), &ok);
                             ::MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&box), 2);
                             ::MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&ok), 2);
                             ::PostMessageA(hwnd, WM_COMMAND, IDCANCEL, 0);
                           }}});
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(visible, !note.empty());
    if (note.empty()) {
      plainHeight = client.bottom;
      EXPECT_LE(ok.bottom, client.bottom);
      continue;
    }
    EXPECT_EQ(text, note);
    EXPECT_GT(client.bottom, plainHeight);
    EXPECT_GE(box.top, ok.bottom);
    EXPECT_LT(box.bottom, client.bottom);
  }
}

}  // namespace
}  // namespace qv

namespace qv {
namespace {

// The monitor list's selections and the first monitor with its mask: one
// selection is the single show of earlier versions (mask 0), several keep
// every one of them with the first as m_nMonitor.
TEST(SettingsDialog, MonitorSelectionsAndTheMask) {
  const struct {
    int32_t first, mask;
    size_t count;
    std::vector<int32_t> selected;
    int32_t backFirst, backMask;
  } kCases[] = {
      {1, 0, 2, {1}, 1, 0},     {-1, 0, 2, {}, -1, 0}, {0, 0b11, 2, {0, 1}, 0, 0b11}, {2, 0b101, 3, {0, 2}, 0, 0b101},
      {1, 0b110, 2, {1}, 1, 0}, {5, 0, 2, {}, -1, 0},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(MonitorSelection(c.first, c.mask, c.count), c.selected) << c.first << " mask " << c.mask;
    int32_t first = 7, mask = 7;
    MonitorsFromSelection(c.selected, first, mask);
    EXPECT_EQ(first, c.backFirst) << c.first << " mask " << c.mask;
    EXPECT_EQ(mask, c.backMask) << c.first << " mask " << c.mask;
  }
}

}  // namespace
}  // namespace qv
