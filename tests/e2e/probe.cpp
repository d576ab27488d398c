// qv_e2e_probe: looks at Quadrivue's windows from another process and pokes
// them, one subcommand per run, one line of "key value ..." per result, so the
// end-to-end script can read it. Exit 0 when the subcommand ran (its answer is
// in the output), 1 when the window or process asked for is not there, 2 on
// bad arguments.
//
//   windows                          every top-level window, top of the z-order first
//   find CLASS                       the first window of CLASS (top-level, else message-only)
//   cover X Y W H SECONDS RRGGBB [KEY]
//                                    a visible window of one colour, raised over the others and
//                                    active (holding the system-wide KEY: bits 0-7 the key code,
//                                    8-11 the modifiers); prints its handle, then runs until
//                                    closed or SECONDS pass
//   setpos-top HWND                  SetWindowPos(HWND_TOP) without moving or sizing
//   move HWND X Y W H                MoveWindow
//   send HWND MSG WPARAM LPARAM      SendMessageTimeout; prints the result
//   post HWND MSG WPARAM LPARAM      PostMessage
//   close-wine-tray                  WM_CLOSE to Wine's stand-in notification area, if shown
//   tray-modify HWND ID              NIM_MODIFY on that icon: result 1 when the shell knows it
//   tray-delete HWND ID              NIM_DELETE on that icon
//   taskbar-created [HWND]           the "TaskbarCreated" message, broadcast or to HWND
//   memory PID                       private bytes and working set of a process
//   controls HWND                    every child window of a dialog: id, class, state and text
//                                    (list and combo boxes: their entries after it, one a line)
//   set-text HWND ID TEXT            WM_SETTEXT to a dialog's control
//   click HWND ID                    BM_CLICK to a dialog's button, posted: a modal box it opens
//                                    does not hold the probe
//   select HWND ID INDEX...          picks an entry of a list or combo box (several in a list
//                                    that takes them), then tells the dialog as a user's choice
//                                    would (LBN_/CBN_SELCHANGE, posted)
//   foreground                       the foreground window ("none" when there is none)
//   responsiveness SECONDS HWND...   WM_NULL to each window every 20 ms for SECONDS; prints
//                                    "started", then per window the worst and mean round trip
//   gdi HWND                         the GDI objects of the Quadrivue process whose frame is HWND
//   focus HWND                       the window with the keyboard focus in HWND's thread, and
//                                    whether a menu is open there
//   activate HWND                    SetForegroundWindow
//   fits HWND FACE POINTS            for every visible control of a dialog with a label: the room
//                                    its text needs in the control's font and the room it has (a
//                                    font of another process cannot be read: then the dialog
//                                    font as the dialog manager makes it, FACE at POINTS)
//
// Control texts go out quoted with \\, \", \n, \r and \t escaped.
#include <windows.h>
// After windows.h, which they build on.
#include <psapi.h>
#include <shellapi.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kBadArgs = 2;
constexpr int kAbsent = 1;
constexpr UINT kSendTimeoutMs = 5000;
constexpr char kCoverClass[] = "QuadrivueProbeCover";
constexpr char kWineTrayTitle[] = "Wine System Tray";

bool ParseNumber(const char* text, long long& value) {
  char* end = nullptr;
  errno = 0;
  value = std::strtoll(text, &end, 0);
  return end != text && *end == '\0' && errno == 0;
}

bool ParseArgs(char** argv, int count, std::vector<long long>& values) {
  values.resize(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    if (!ParseNumber(argv[i], values[static_cast<size_t>(i)])) return false;
  }
  return true;
}

HWND ToHwnd(long long value) { return reinterpret_cast<HWND>(static_cast<intptr_t>(value)); }

unsigned long long HwndValue(HWND hwnd) { return static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(hwnd)); }

// Titles and class names go out quoted with quotes and backslashes escaped,
// so the reader can split a line on spaces outside quotes.
std::string Quoted(const char* text) {
  std::string out = "\"";
  for (const char* p = text; *p; ++p) {
    if (*p == '"' || *p == '\\') out += '\\';
    out += (*p == '\n' || *p == '\r') ? ' ' : *p;
  }
  return out + "\"";
}

void PrintWindow(HWND hwnd, bool messageOnly) {
  char cls[256] = "";
  char title[256] = "";
  ::GetClassNameA(hwnd, cls, sizeof cls);
  ::GetWindowTextA(hwnd, title, sizeof title);
  RECT rc{};
  ::GetWindowRect(hwnd, &rc);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(hwnd, &pid);
  const auto style = static_cast<unsigned long>(::GetWindowLongPtrA(hwnd, GWL_STYLE));
  const auto exStyle = static_cast<unsigned long>(::GetWindowLongPtrA(hwnd, GWL_EXSTYLE));
  std::printf(
      "hwnd 0x%llx pid %lu visible %d enabled %d msgonly %d owner 0x%llx style 0x%08lx exstyle 0x%08lx rect %ld %ld "
      "%ld %ld class %s title %s\n",
      HwndValue(hwnd), pid, ::IsWindowVisible(hwnd) ? 1 : 0, ::IsWindowEnabled(hwnd) ? 1 : 0, messageOnly ? 1 : 0,
      HwndValue(::GetWindow(hwnd, GW_OWNER)), style, exStyle, rc.left, rc.top, rc.right, rc.bottom, Quoted(cls).c_str(),
      Quoted(title).c_str());
}

int CmdWindows() {
  for (HWND hwnd = ::GetTopWindow(nullptr); hwnd; hwnd = ::GetWindow(hwnd, GW_HWNDNEXT)) PrintWindow(hwnd, false);
  return 0;
}

int CmdFind(const char* cls) {
  if (HWND hwnd = ::FindWindowA(cls, nullptr)) {
    PrintWindow(hwnd, false);
    return 0;
  }
  if (HWND hwnd = ::FindWindowExA(HWND_MESSAGE, nullptr, cls, nullptr)) {
    PrintWindow(hwnd, true);
    return 0;
  }
  std::printf("none\n");
  return kAbsent;
}

struct CCoverState {
  COLORREF colour;
};

LRESULT CALLBACK CoverProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_NCCREATE: {
      const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
      ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
      break;
    }
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      const auto* state = reinterpret_cast<const CCoverState*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
      PAINTSTRUCT ps;
      HDC dc = ::BeginPaint(hwnd, &ps);
      HBRUSH brush = ::CreateSolidBrush(state->colour);
      RECT rc;
      ::GetClientRect(hwnd, &rc);
      ::FillRect(dc, &rc, brush);
      ::DeleteObject(brush);
      ::EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_TIMER:
      ::DestroyWindow(hwnd);
      return 0;
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return ::DefWindowProcA(hwnd, msg, wParam, lParam);
}

int CmdCover(char** argv) {
  std::vector<long long> v;
  if (!ParseArgs(argv, 5, v) || v[2] <= 0 || v[3] <= 0 || v[4] <= 0) return kBadArgs;
  char* end = nullptr;
  const unsigned long rgb = std::strtoul(argv[5], &end, 16);
  if (end == argv[5] || *end != '\0' || rgb > 0xffffff) return kBadArgs;
  CCoverState state{RGB((rgb >> 16) & 0xff, (rgb >> 8) & 0xff, rgb & 0xff)};

  WNDCLASSA wc{};
  wc.lpfnWndProc = CoverProc;
  wc.hInstance = ::GetModuleHandleA(nullptr);
  wc.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  wc.lpszClassName = kCoverClass;
  if (!::RegisterClassA(&wc)) return kAbsent;
  HWND hwnd = ::CreateWindowExA(0, kCoverClass, "probe cover", WS_POPUP, static_cast<int>(v[0]), static_cast<int>(v[1]),
                                static_cast<int>(v[2]), static_cast<int>(v[3]), nullptr, nullptr, wc.hInstance, &state);
  if (!hwnd) return kAbsent;
  ::ShowWindow(hwnd, SW_SHOW);
  ::SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  ::SetForegroundWindow(hwnd);
  ::UpdateWindow(hwnd);
  ::SetTimer(hwnd, 1, static_cast<UINT>(v[4] * 1000), nullptr);
  long long key = 0;
  if (argv[6] && ParseNumber(argv[6], key) && key > 0)
    std::printf("hotkey %d\n", ::RegisterHotKey(hwnd, 1, (key >> 8) & 0x0F, key & 0xFF) ? 1 : 0);
  std::printf("hwnd 0x%llx pid %lu\n", HwndValue(hwnd), ::GetCurrentProcessId());
  std::fflush(stdout);
  MSG msg;
  while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
  return 0;
}

int CmdMessage(char** argv, bool send) {
  std::vector<long long> v;
  if (!ParseArgs(argv, 4, v)) return kBadArgs;
  HWND hwnd = ToHwnd(v[0]);
  if (!::IsWindow(hwnd)) {
    std::printf("none\n");
    return kAbsent;
  }
  const auto msg = static_cast<UINT>(v[1]);
  const auto wParam = static_cast<WPARAM>(v[2]);
  const auto lParam = static_cast<LPARAM>(v[3]);
  if (!send) {
    std::printf("posted %d\n", ::PostMessageA(hwnd, msg, wParam, lParam) ? 1 : 0);
    return 0;
  }
  DWORD_PTR result = 0;
  if (!::SendMessageTimeoutA(hwnd, msg, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result)) {
    std::printf("timeout\n");
    return kAbsent;
  }
  std::printf("result %lld\n", static_cast<long long>(result));
  return 0;
}

int CmdSetPosTop(const char* arg) {
  long long value = 0;
  if (!ParseNumber(arg, value)) return kBadArgs;
  const BOOL ok = ::SetWindowPos(ToHwnd(value), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  std::printf("ok %d\n", ok ? 1 : 0);
  return 0;
}

int CmdMove(char** argv) {
  std::vector<long long> v;
  if (!ParseArgs(argv, 5, v)) return kBadArgs;
  const BOOL ok = ::MoveWindow(ToHwnd(v[0]), static_cast<int>(v[1]), static_cast<int>(v[2]), static_cast<int>(v[3]),
                               static_cast<int>(v[4]), TRUE);
  std::printf("ok %d\n", ok ? 1 : 0);
  return 0;
}

int CmdCloseWineTray() {
  HWND tray = ::FindWindowA(nullptr, kWineTrayTitle);
  if (!tray || !::IsWindowVisible(tray)) {
    std::printf("absent\n");
    return 0;
  }
  DWORD_PTR result = 0;
  ::SendMessageTimeoutA(tray, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result);
  std::printf("closed %d\n", ::IsWindowVisible(tray) ? 0 : 1);
  return 0;
}

int CmdTray(char** argv, DWORD action) {
  std::vector<long long> v;
  if (!ParseArgs(argv, 2, v)) return kBadArgs;
  NOTIFYICONDATAA data{};
  data.cbSize = sizeof data;
  data.hWnd = ToHwnd(v[0]);
  data.uID = static_cast<UINT>(v[1]);
  std::printf("result %d\n", ::Shell_NotifyIconA(action, &data) ? 1 : 0);
  return 0;
}

int CmdTaskbarCreated(int argc, char** argv) {
  const UINT msg = ::RegisterWindowMessageA("TaskbarCreated");
  HWND target = HWND_BROADCAST;
  if (argc > 0) {
    long long value = 0;
    if (!ParseNumber(argv[0], value)) return kBadArgs;
    target = ToHwnd(value);
  }
  DWORD_PTR result = 0;
  const LRESULT sent = ::SendMessageTimeoutA(target, msg, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result);
  std::printf("message 0x%x sent %d\n", msg, sent ? 1 : 0);
  return 0;
}

int CmdMemory(const char* arg) {
  long long pid = 0;
  if (!ParseNumber(arg, pid)) return kBadArgs;
  HANDLE process = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, static_cast<DWORD>(pid));
  if (!process) {
    std::printf("none\n");
    return kAbsent;
  }
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  const BOOL ok =
      ::GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
  ::CloseHandle(process);
  if (!ok) {
    std::printf("unsupported\n");
    return kAbsent;
  }
  std::printf("private %llu working %llu\n", static_cast<unsigned long long>(counters.PrivateUsage),
              static_cast<unsigned long long>(counters.WorkingSetSize));
  return 0;
}

// ---- dialogs: their controls are read and driven through messages, which
// travel between processes with their buffers (GetWindowText would not ask
// the control for its text).

bool SendTimeout(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, DWORD_PTR& result) {
  return ::SendMessageTimeoutA(hwnd, msg, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result) != 0;
}

std::string Escaped(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    const char* escape = c == '\\'   ? "\\\\"
                         : c == '"'  ? "\\\""
                         : c == '\n' ? "\\n"
                         : c == '\r' ? "\\r"
                         : c == '\t' ? "\\t"
                                     : nullptr;
    if (escape)
      out += escape;
    else
      out += c;
  }
  return out + "\"";
}

// A text fetched by a length message and a copy message, in UTF-8; "" when
// either fails. The wide messages: Wine hands list entries between processes
// as wide characters even to the narrow ones.
std::string FetchText(HWND hwnd, UINT lengthMsg, UINT textMsg, WPARAM index, bool sizeInWParam) {
  DWORD_PTR length = 0;
  if (!::SendMessageTimeoutW(hwnd, lengthMsg, index, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &length) ||
      static_cast<LRESULT>(length) < 0)
    return std::string();
  std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
  DWORD_PTR got = 0;
  const WPARAM w = sizeInWParam ? static_cast<WPARAM>(buffer.size()) : index;
  if (!::SendMessageTimeoutW(hwnd, textMsg, w, reinterpret_cast<LPARAM>(buffer.data()), SMTO_ABORTIFHUNG,
                             kSendTimeoutMs, &got) ||
      static_cast<LRESULT>(got) < 0)
    return std::string();
  const int units = static_cast<int>(std::min(static_cast<size_t>(got), buffer.size() - 1));
  const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, buffer.data(), units, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<size_t>(bytes > 0 ? bytes : 0), '\0');
  if (bytes > 0) ::WideCharToMultiByte(CP_UTF8, 0, buffer.data(), units, text.data(), bytes, nullptr, nullptr);
  return text;
}

enum class EControlKind { kOther, kButton, kList, kCombo };

EControlKind KindOf(HWND control) {
  char cls[64] = "";
  ::GetClassNameA(control, cls, sizeof cls);
  if (::lstrcmpiA(cls, "Button") == 0) return EControlKind::kButton;
  if (::lstrcmpiA(cls, "ListBox") == 0) return EControlKind::kList;
  if (::lstrcmpiA(cls, "ComboBox") == 0) return EControlKind::kCombo;
  return EControlKind::kOther;
}

bool MultipleSelection(HWND list) {
  return (::GetWindowLongA(list, GWL_STYLE) & (LBS_EXTENDEDSEL | LBS_MULTIPLESEL)) != 0;
}

BOOL CALLBACK PrintControl(HWND control, LPARAM) {
  char cls[64] = "";
  ::GetClassNameA(control, cls, sizeof cls);
  RECT at{};
  ::GetWindowRect(control, &at);
  std::printf("control %d hwnd 0x%llx class %s visible %d enabled %d x %ld y %ld w %ld h %ld", ::GetDlgCtrlID(control),
              HwndValue(control), Quoted(cls).c_str(), ::IsWindowVisible(control) ? 1 : 0,
              ::IsWindowEnabled(control) ? 1 : 0, at.left, at.top, at.right - at.left, at.bottom - at.top);
  const EControlKind kind = KindOf(control);
  DWORD_PTR value = 0;
  if (kind == EControlKind::kButton && SendTimeout(control, BM_GETCHECK, 0, 0, value))
    std::printf(" check %lld", static_cast<long long>(value));
  std::vector<std::string> entries;
  if (kind == EControlKind::kList || kind == EControlKind::kCombo) {
    const bool list = kind == EControlKind::kList;
    DWORD_PTR count = 0;
    DWORD_PTR selected = 0;
    SendTimeout(control, list ? LB_GETCOUNT : CB_GETCOUNT, 0, 0, count);
    SendTimeout(control, list ? LB_GETCURSEL : CB_GETCURSEL, 0, 0, selected);
    // A list that takes several selections: its first selected entry (-1 for none).
    if (list && MultipleSelection(control)) {
      int first = -1;
      DWORD_PTR got = 0;
      SendTimeout(control, LB_GETSELITEMS, 1, reinterpret_cast<LPARAM>(&first), got);
      selected = got == 1 ? static_cast<DWORD_PTR>(first) : static_cast<DWORD_PTR>(-1);
    }
    for (LRESULT i = 0; i < static_cast<LRESULT>(count); ++i) {
      entries.push_back(list ? FetchText(control, LB_GETTEXTLEN, LB_GETTEXT, static_cast<WPARAM>(i), false)
                             : FetchText(control, CB_GETLBTEXTLEN, CB_GETLBTEXT, static_cast<WPARAM>(i), false));
    }
    std::printf(" count %lld sel %lld", static_cast<long long>(count), static_cast<long long>(selected));
  }
  std::printf(" text %s\n", Escaped(FetchText(control, WM_GETTEXTLENGTH, WM_GETTEXT, 0, true)).c_str());
  for (const auto& entry : entries) std::printf("entry %s\n", Escaped(entry).c_str());
  return TRUE;
}

int CmdControls(const char* arg) {
  long long value = 0;
  if (!ParseNumber(arg, value)) return kBadArgs;
  if (!::IsWindow(ToHwnd(value))) {
    std::printf("none\n");
    return kAbsent;
  }
  ::EnumChildWindows(ToHwnd(value), &PrintControl, 0);
  return 0;
}

// The control ID of dialog HWND, from the first two of args; null when absent.
HWND DialogItem(char** args, std::vector<long long>& v, int count, int& rc) {
  rc = kBadArgs;
  if (!ParseArgs(args, count, v)) return nullptr;
  rc = kAbsent;
  HWND control = ::GetDlgItem(ToHwnd(v[0]), static_cast<int>(v[1]));
  if (!control) std::printf("none\n");
  return control;
}

int CmdSetText(char** args) {
  std::vector<long long> v;
  int rc = 0;
  HWND control = DialogItem(args, v, 2, rc);
  if (!control) return rc;
  DWORD_PTR result = 0;
  if (!SendTimeout(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(args[2]), result)) {
    std::printf("timeout\n");
    return kAbsent;
  }
  std::printf("result %lld\n", static_cast<long long>(result));
  return 0;
}

int CmdClick(char** args) {
  std::vector<long long> v;
  int rc = 0;
  HWND control = DialogItem(args, v, 2, rc);
  if (!control) return rc;
  std::printf("posted %d\n", ::PostMessageA(control, BM_CLICK, 0, 0) ? 1 : 0);
  return 0;
}

int CmdSelect(char** args, int count) {
  std::vector<long long> v;
  int rc = 0;
  HWND control = DialogItem(args, v, count, rc);
  if (!control) return rc;
  const EControlKind kind = KindOf(control);
  if (kind != EControlKind::kList && kind != EControlKind::kCombo) return kBadArgs;
  const bool list = kind == EControlKind::kList;
  DWORD_PTR result = 0;
  // A list that takes several selections: these entries alone are selected.
  if (list && MultipleSelection(control)) {
    SendTimeout(control, LB_SETSEL, FALSE, -1, result);
    for (size_t i = 2; i < v.size(); ++i) {
      if (!SendTimeout(control, LB_SETSEL, TRUE, static_cast<LPARAM>(v[i]), result)) {
        std::printf("timeout\n");
        return kAbsent;
      }
    }
  } else if (v.size() != 3) {
    return kBadArgs;
  } else if (!SendTimeout(control, list ? LB_SETCURSEL : CB_SETCURSEL, static_cast<WPARAM>(v[2]), 0, result)) {
    std::printf("timeout\n");
    return kAbsent;
  }
  const WPARAM notify = MAKEWPARAM(static_cast<WORD>(v[1]), list ? LBN_SELCHANGE : CBN_SELCHANGE);
  ::PostMessageA(ToHwnd(v[0]), WM_COMMAND, notify, reinterpret_cast<LPARAM>(control));
  std::printf("result %lld\n", static_cast<long long>(static_cast<LRESULT>(result)));
  return 0;
}

int CmdForeground() {
  const HWND hwnd = ::GetForegroundWindow();
  if (!hwnd) {
    std::printf("none\n");
    return kAbsent;
  }
  PrintWindow(hwnd, false);
  return 0;
}

// Round trips of WM_NULL through each window's message queue: what a user's
// click would wait for.
int CmdResponsiveness(char** args, int count) {
  long long seconds = 0;
  std::vector<long long> handles;
  if (!ParseNumber(args[0], seconds) || seconds <= 0 || !ParseArgs(args + 1, count - 1, handles)) return kBadArgs;
  struct CStats {
    double worst = 0;
    double total = 0;
    long long rounds = 0;
    long long timeouts = 0;
  };
  std::vector<CStats> stats(handles.size());
  LARGE_INTEGER frequency, start, now;
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&start);
  std::printf("started\n");
  std::fflush(stdout);
  const auto elapsedMs = [&](const LARGE_INTEGER& from) {
    ::QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
  };
  while (elapsedMs(start) < seconds * 1000.0) {
    for (size_t i = 0; i < handles.size(); ++i) {
      LARGE_INTEGER sent;
      ::QueryPerformanceCounter(&sent);
      DWORD_PTR ignored = 0;
      const bool answered =
          ::SendMessageTimeoutA(ToHwnd(handles[i]), WM_NULL, 0, 0, SMTO_NORMAL, kSendTimeoutMs, &ignored) != 0;
      const double took = elapsedMs(sent);
      CStats& s = stats[i];
      if (!answered) ++s.timeouts;
      s.worst = std::max(s.worst, took);
      s.total += took;
      ++s.rounds;
    }
    ::Sleep(20);
  }
  for (size_t i = 0; i < handles.size(); ++i) {
    const CStats& s = stats[i];
    std::printf("hwnd 0x%llx worst_ms %.1f mean_ms %.2f rounds %lld timeouts %lld\n",
                static_cast<unsigned long long>(handles[i]), s.worst, s.rounds ? s.total / s.rounds : 0.0, s.rounds,
                s.timeouts);
  }
  return 0;
}

int CmdGdi(const char* arg) {
  long long value = 0;
  if (!ParseNumber(arg, value)) return kBadArgs;
  // The frame answers a query of its remote-command message with its
  // process's GDI objects (Wine keeps no count another process can read).
  constexpr WPARAM kQueryGdiObjects = 100;
  DWORD_PTR count = 0;
  if (!::SendMessageTimeoutA(ToHwnd(value), ::RegisterWindowMessageA("Quadrivue.RemoteCommand"), kQueryGdiObjects, 0,
                             SMTO_ABORTIFHUNG, kSendTimeoutMs, &count)) {
    std::printf("none\n");
    return kAbsent;
  }
  std::printf("gdi %llu\n", static_cast<unsigned long long>(count));
  return 0;
}

int CmdFocus(const char* arg) {
  long long value = 0;
  if (!ParseNumber(arg, value)) return kBadArgs;
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  const DWORD thread = ::GetWindowThreadProcessId(ToHwnd(value), nullptr);
  if (!thread || !::GetGUIThreadInfo(thread, &info)) {
    std::printf("none\n");
    return kAbsent;
  }
  char cls[64] = "";
  if (info.hwndFocus) ::GetClassNameA(info.hwndFocus, cls, sizeof cls);
  std::printf("focus %d hwnd 0x%llx class %s menu %d\n", info.hwndFocus ? ::GetDlgCtrlID(info.hwndFocus) : 0,
              HwndValue(info.hwndFocus), Quoted(cls).c_str(),
              (info.flags & (GUI_INMENUMODE | GUI_POPUPMENUMODE)) ? 1 : 0);
  return 0;
}

// The font a control draws with, as a font of this process: the control's
// own description where this process may read it (font 1), else the dialog
// font made as the dialog manager makes it from its template (font 2).
struct CDialogFont {
  std::wstring face;
  int points = 8;
};
CDialogFont g_dialogFont;

HFONT ControlFont(HWND control, int& source) {
  DWORD_PTR value = 0;
  SendTimeout(control, WM_GETFONT, 0, 0, value);
  LOGFONTW description{};
  if (value && ::GetObjectW(reinterpret_cast<HFONT>(value), sizeof description, &description)) {
    source = 1;
    return ::CreateFontIndirectW(&description);
  }
  source = 2;
  const HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  return ::CreateFontW(-::MulDiv(g_dialogFont.points, dpi, 72), 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE,
                       DEFAULT_CHARSET, 0, 0, PROOF_QUALITY, FF_DONTCARE, g_dialogFont.face.c_str());
}

// The width a button's check box or radio circle and its gap take before
// the text.
int MarkWidth(HWND control) {
  const LONG kind = ::GetWindowLongA(control, GWL_STYLE) & BS_TYPEMASK;
  const bool marked = kind == BS_CHECKBOX || kind == BS_AUTOCHECKBOX || kind == BS_RADIOBUTTON ||
                      kind == BS_AUTORADIOBUTTON || kind == BS_3STATE || kind == BS_AUTO3STATE;
  if (!marked) return 0;
  const HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSX);
  ::ReleaseDC(nullptr, screen);
  return ::MulDiv(13 + 4, dpi, 96);
}

BOOL CALLBACK PrintFit(HWND control, LPARAM) {
  if (!::IsWindowVisible(control)) return TRUE;
  char cls[64] = "";
  ::GetClassNameA(control, cls, sizeof cls);
  const bool button = ::lstrcmpiA(cls, "Button") == 0;
  if (!button && ::lstrcmpiA(cls, "Static") != 0) return TRUE;
  const LONG style = ::GetWindowLongA(control, GWL_STYLE);
  if (!button && ((style & SS_TYPEMASK) == SS_BITMAP || (style & SS_TYPEMASK) == SS_ICON)) return TRUE;
  std::wstring text(512, L'\0');
  text.resize(static_cast<size_t>(std::max(0, ::GetWindowTextW(control, text.data(), 512))));
  if (text.empty()) return TRUE;
  const bool prefix = button || !(style & SS_NOPREFIX);
  std::wstring shown;
  for (size_t i = 0; i < text.size(); ++i) {
    if (prefix && text[i] == L'&' && ++i >= text.size()) break;
    shown.push_back(text[i]);
  }
  RECT client{};
  ::GetClientRect(control, &client);
  int source = 0;
  const HFONT font = ControlFont(control, source);
  const HDC screen = ::GetDC(nullptr);
  const HGDIOBJ before = ::SelectObject(screen, font);
  SIZE need{};
  const bool group = button && (style & BS_TYPEMASK) == BS_GROUPBOX;
  LONG haveW = client.right - client.left - MarkWidth(control);
  LONG haveH = client.bottom - client.top;
  if (!button && (style & SS_TYPEMASK) <= SS_RIGHT) {
    // Text that wraps: the height it takes at the control's width.
    RECT box{0, 0, haveW, 0};
    ::DrawTextW(screen, shown.c_str(), static_cast<int>(shown.size()), &box, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    need = SIZE{box.right - box.left, box.bottom - box.top};
  } else {
    ::GetTextExtentPoint32W(screen, shown.c_str(), static_cast<int>(shown.size()), &need);
  }
  if (group) haveW -= 2 * ::MulDiv(need.cy, 1, 2);  // the frame's corners beside the caption
  ::SelectObject(screen, before);
  ::ReleaseDC(nullptr, screen);
  if (font) ::DeleteObject(font);
  const int bytes =
      ::WideCharToMultiByte(CP_UTF8, 0, shown.c_str(), static_cast<int>(shown.size()), nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(std::max(bytes, 0)), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, shown.c_str(), static_cast<int>(shown.size()), utf8.data(), bytes, nullptr,
                        nullptr);
  std::printf("fit %d needw %ld needh %ld havew %ld haveh %ld font %d text %s\n", ::GetDlgCtrlID(control), need.cx,
              need.cy, haveW, haveH, font ? source : 0, Escaped(utf8).c_str());
  return TRUE;
}

int CmdActivate(const char* arg) {
  long long value = 0;
  if (!ParseNumber(arg, value)) return kBadArgs;
  std::printf("result %d\n", ::SetForegroundWindow(ToHwnd(value)) ? 1 : 0);
  return 0;
}

int CmdFits(char** args) {
  long long value = 0;
  long long points = 0;
  if (!ParseNumber(args[0], value) || !ParseNumber(args[2], points) || points <= 0) return kBadArgs;
  g_dialogFont.points = static_cast<int>(points);
  g_dialogFont.face.assign(args[1], args[1] + std::strlen(args[1]));
  if (!::IsWindow(ToHwnd(value))) {
    std::printf("none\n");
    return kAbsent;
  }
  ::EnumChildWindows(ToHwnd(value), &PrintFit, 0);
  return 0;
}

int Usage() {
  std::fprintf(stderr,
               "usage: qv_e2e_probe windows | find CLASS | cover X Y W H SECONDS RRGGBB | setpos-top HWND |\n"
               "       move HWND X Y W H | send|post HWND MSG WPARAM LPARAM | close-wine-tray |\n"
               "       tray-modify|tray-delete HWND ID | taskbar-created [HWND] | memory PID |\n"
               "       controls HWND | set-text HWND ID TEXT | click HWND ID | select HWND ID INDEX... |\n"
               "       foreground | responsiveness SECONDS HWND... | gdi HWND | focus HWND |\n"
               "       activate HWND | fits HWND FACE POINTS\n");
  return kBadArgs;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string cmd = argv[1];
  const int n = argc - 2;
  char** args = argv + 2;
  int rc = kBadArgs;
  if (cmd == "windows" && n == 0)
    rc = CmdWindows();
  else if (cmd == "find" && n == 1)
    rc = CmdFind(args[0]);
  else if (cmd == "cover" && (n == 6 || n == 7))
    rc = CmdCover(args);
  else if (cmd == "setpos-top" && n == 1)
    rc = CmdSetPosTop(args[0]);
  else if (cmd == "move" && n == 5)
    rc = CmdMove(args);
  else if (cmd == "send" && n == 4)
    rc = CmdMessage(args, true);
  else if (cmd == "post" && n == 4)
    rc = CmdMessage(args, false);
  else if (cmd == "close-wine-tray" && n == 0)
    rc = CmdCloseWineTray();
  else if (cmd == "tray-modify" && n == 2)
    rc = CmdTray(args, NIM_MODIFY);
  else if (cmd == "tray-delete" && n == 2)
    rc = CmdTray(args, NIM_DELETE);
  else if (cmd == "taskbar-created" && n <= 1)
    rc = CmdTaskbarCreated(n, args);
  else if (cmd == "memory" && n == 1)
    rc = CmdMemory(args[0]);
  else if (cmd == "controls" && n == 1)
    rc = CmdControls(args[0]);
  else if (cmd == "set-text" && n == 3)
    rc = CmdSetText(args);
  else if (cmd == "click" && n == 2)
    rc = CmdClick(args);
  else if (cmd == "select" && n >= 3)
    rc = CmdSelect(args, n);
  else if (cmd == "foreground" && n == 0)
    rc = CmdForeground();
  else if (cmd == "responsiveness" && n >= 2)
    rc = CmdResponsiveness(args, n);
  else if (cmd == "gdi" && n == 1)
    rc = CmdGdi(args[0]);
  else if (cmd == "focus" && n == 1)
    rc = CmdFocus(args[0]);
  else if (cmd == "activate" && n == 1)
    rc = CmdActivate(args[0]);
  else if (cmd == "fits" && n == 3)
    rc = CmdFits(args);
  if (rc == kBadArgs) return Usage();
  std::fflush(stdout);
  return rc;
}
