// The running application on Windows: start-up, the message loop and exit
// around the settings record and file list that CShowApp carries.
#pragma once

#include <memory>

#include "app/main_frame.h"
#include "library/show_app.h"

namespace qv {

class CShowWinApp : public CShowApp {
 public:
  CShowWinApp();
  ~CShowWinApp();

  // Start-up, the message loop until Exit, and exit; the process's exit code.
  int Run();

  // Profile counter, settings, random seed, then the hidden main frame.
  // False when the frame could not be made: the application ends.
  bool InitInstance();
  // Stores the show's position in the profile.
  void ExitInstance();

 private:
  std::unique_ptr<CMainFrame> m_pMainWnd;
};

}  // namespace qv
