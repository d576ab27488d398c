#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "codec/codec_test_support.h"
#include "platform/log.h"
#include "platform/win/dialog.h"
#include "platform/win/window.h"
#include "res/resource.h"

namespace qv {
namespace {

// Counts WM_SETTEXT and throws on m_nThrowOn (a std::exception, or an int).
class CProbeWnd : public win::CWnd {
 public:
  int m_nSetText = 0;
  UINT m_nThrowOn = 0;
  bool m_bThrowOther = false;

  bool Create() {
    RegisterClassOnce("QvFrameworkProbe", 0, nullptr, nullptr, nullptr);
    return CreateEx(0, "QvFrameworkProbe", "", WS_POPUP, RECT{0, 0, 20, 20}, nullptr, nullptr);
  }

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_SETTEXT) ++m_nSetText;
    if (message == m_nThrowOn && m_bThrowOther) throw 42;
    if (message == m_nThrowOn) throw std::runtime_error("probe failure");
    return CWnd::WindowProc(message, wParam, lParam);
  }
};

HWND MakeStatic() {
  return ::CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 40, 20, nullptr, nullptr, win::ProgramInstance(), nullptr);
}

bool RoundTrip(HWND window, const std::string& text) {
  ::SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  return win::WindowText(window) == text;
}

// Another window's user data, even a live object's address, is not ours.
TEST(WindowFramework, FromHandleFindsOnlyTheFrameworksOwnWindows) {
  CProbeWnd own;
  ASSERT_TRUE(own.Create());
  EXPECT_EQ(win::CWnd::FromHandle(own.GetSafeHwnd()), &own);
  const HWND foreign = MakeStatic();
  ::SetWindowLongPtrA(foreign, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&own));
  EXPECT_EQ(win::CWnd::FromHandle(foreign), nullptr);
  ::DestroyWindow(foreign);
  const HWND made = own.GetSafeHwnd();
  own.DestroyWindow();
  EXPECT_EQ(win::CWnd::FromHandle(made), nullptr);
}

// A subclassed control's messages pass through the object to its own
// procedure; once the object lets go (Detach, its end, the control's
// destruction) the control works alone.
TEST(WindowFramework, SubclassedControlKeepsItsProcedureAndOutlivesTheObject) {
  enum class EEnd { kDetach, kObjectEnds, kControlDestroyed };
  for (const EEnd end : {EEnd::kDetach, EEnd::kObjectEnds, EEnd::kControlDestroyed}) {
    SCOPED_TRACE(static_cast<int>(end));
    const HWND control = MakeStatic();
    auto probe = std::make_unique<CProbeWnd>();
    ASSERT_TRUE(probe->SubclassWindow(control));
    EXPECT_EQ(win::CWnd::FromHandle(control), probe.get());
    CProbeWnd second;
    EXPECT_FALSE(second.SubclassWindow(control)) << "one object per window";
    EXPECT_TRUE(RoundTrip(control, "through the object"));
    EXPECT_EQ(probe->m_nSetText, 1);

    if (end == EEnd::kControlDestroyed) {
      ::DestroyWindow(control);
      EXPECT_EQ(probe->GetSafeHwnd(), nullptr);
      continue;
    }
    if (end == EEnd::kDetach) probe->Detach();
    if (end == EEnd::kObjectEnds) probe.reset();
    EXPECT_EQ(win::CWnd::FromHandle(control), nullptr);
    EXPECT_TRUE(RoundTrip(control, "alone again"));
    EXPECT_TRUE(!probe || probe->m_nSetText == 1);
    ::DestroyWindow(control);
  }
}

// A handler that throws: the message still gets its default processing (the
// text is set, the dialog runs on), the process goes on, and the log has one
// line per failure.
TEST(WindowFramework, ExceptionsEndAtTheProcedureAsLogLines) {
  test::CTempFolder folder;
  OpenProgramLog(folder.Path("test.log"));
  struct CCloseLog {
    ~CCloseLog() { CloseProgramLog(); }
  } closeLog;
  std::vector<std::string> expected;
  for (const bool subclassed : {false, true}) {
    for (const bool other : {false, true}) {
      SCOPED_TRACE(std::to_string(subclassed) + std::to_string(other));
      CProbeWnd probe;
      probe.m_nThrowOn = WM_SETTEXT;
      probe.m_bThrowOther = other;
      const HWND control = subclassed ? MakeStatic() : nullptr;
      ASSERT_TRUE(subclassed ? probe.SubclassWindow(control) : probe.Create());
      EXPECT_TRUE(RoundTrip(probe.GetSafeHwnd(), "set anyway"));
      if (control) ::DestroyWindow(control);
      expected.push_back(other ? "Window message 0x000C failed: unknown exception"
                               : "Window message 0x000C failed: probe failure");
    }
  }

  class CFailingStart : public win::CDialog {
   public:
    CFailingStart() : CDialog(IDD_ABOUTBOX, nullptr) {}

   protected:
    BOOL OnInitDialog() override {
      ::PostMessageA(m_hWnd, WM_COMMAND, IDCANCEL, 0);
      throw std::runtime_error("no start");
    }
  } dialog;
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  expected.push_back("Window message 0x0110 failed: no start");

  std::ifstream log(folder.Path("test.log"));
  std::vector<std::string> lines;
  for (std::string line; std::getline(log, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), expected.size());
  for (size_t i = 0; i < lines.size(); ++i) EXPECT_NE(lines[i].find(expected[i]), std::string::npos) << lines[i];
}

// A dialog object that holds a window already cannot take the dialog: the
// dialog ends at once rather than stay open with nothing to close it.
TEST(WindowFramework, DialogThatCannotBeAttachedEndsAtOnce) {
  win::CDialog dialog(IDD_ABOUTBOX, nullptr);
  const HWND control = MakeStatic();
  ASSERT_TRUE(dialog.SubclassWindow(control));
  EXPECT_EQ(dialog.DoModal(), -1);
  ::DestroyWindow(control);
}

}  // namespace
}  // namespace qv
