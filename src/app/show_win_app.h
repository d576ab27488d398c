// The running application on Windows: one copy per session and program
// folder, start-up, the message loop and exit around the settings record and
// file list that CShowApp carries.
#pragma once

#include <memory>

#include "app/command_line.h"
#include "app/main_frame.h"
#include "library/show_app.h"

namespace qv {

class CShowWinApp : public CShowApp {
 public:
  // command: the command-line word this start was given.
  explicit CShowWinApp(ERemoteCommand command = ERemoteCommand::kNone);
  ~CShowWinApp();

  // Hands the word to a copy that runs already, or starts, runs the message
  // loop until Exit, and exits; the process's exit code.
  int Run();

  // Profile counter, settings, random seed, then the hidden main frame.
  // False when the frame could not be made: the application ends.
  bool InitInstance();
  // Stores the show's position in the profile.
  void ExitInstance();

 private:
  ERemoteCommand m_eCommand;
  uint64_t m_nInstanceKey;
  std::unique_ptr<CMainFrame> m_pMainWnd;
};

}  // namespace qv
