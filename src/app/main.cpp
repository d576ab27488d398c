#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/show_win_app.h"
#include "platform/win/window.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  std::vector<std::string> words;
  for (int i = 1; i < __argc; ++i) words.emplace_back(__argv[i]);
  const qv::CCommandLine line = qv::ParseCommandLine(words);
  if (!line.strError.empty()) {
    qv::win::ShowMessageBox(nullptr, line.strError + "\n\n" + qv::CommandLineUsage(), MB_OK | MB_ICONEXCLAMATION);
    return 2;
  }
  qv::CShowWinApp app(line.command);
  return app.Run();
}
