// Where the program lives and how its paths are spelt on this platform.
#pragma once

#include <string>

namespace qv {

// The separator between folder and file names: '\' on Windows, '/' elsewhere.
char PathSeparator();

// Full path of the running executable.
std::string GetModulePath();

// The running executable's folder without a trailing separator; the whole
// module name when it holds no separator.
std::string GetProgramFolder();

// The executable's file name without folder and extension ("Quadrivue" for
// C:\Tools\Quadrivue.exe); the application name of the per-user profile.
std::string GetProgramName();

// The user's own folder for application data ("%APPDATA%" on Windows,
// $XDG_CONFIG_HOME or ~/.config elsewhere); empty when the system names none.
std::string GetUserDataRoot();

// folder + separator + name, without doubling a separator the folder ends with.
std::string JoinPath(const std::string& folder, const std::string& name);

}  // namespace qv
