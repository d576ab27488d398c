#include <windows.h>

#include "app/show_win_app.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  qv::CShowWinApp app;
  return app.Run();
}
