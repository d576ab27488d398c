// What a user does with the picture on show besides looking at it: open it
// in the program the system has for its kind, or open its folder with the
// file selected. A failure is explained in a message box over owner.
#pragma once

#include <windows.h>

#include <string>

namespace qv {

// ShellExecute "open" on the file. False (after the message) when it failed.
bool OpenPictureFile(HWND owner, const std::string& path);

// The file's folder with the file selected (SHOpenFolderAndSelectItems, else
// "explorer /select,"). False (after the message) when neither worked.
bool ShowPictureInFolder(HWND owner, const std::string& path);

}  // namespace qv
