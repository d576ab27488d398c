#include <windows.h>

#include <string>

#include "platform/directory.h"

namespace qv {

bool EnumerateDirectory(const std::string& folder, const std::function<void(const CDirEntry&)>& visit) {
  WIN32_FIND_DATAA data;
  const std::string pattern = folder + "*.*";
  HANDLE find = FindFirstFileA(pattern.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  do {
    const bool isDir = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    visit(CDirEntry{std::string_view(data.cFileName), isDir});
  } while (FindNextFileA(find, &data));
  FindClose(find);
  return true;
}

bool PathExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool CreateFolder(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) != FALSE; }

}  // namespace qv
