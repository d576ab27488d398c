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

std::optional<CFolderIdentity> QueryFolderIdentity(const std::string& path) {
  // Opening a folder needs FILE_FLAG_BACKUP_SEMANTICS; without
  // FILE_FLAG_OPEN_REPARSE_POINT the handle is the link's target. No access
  // right is asked for: the identity is metadata.
  HANDLE file = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info;
  const BOOL ok = GetFileInformationByHandle(file, &info);
  CloseHandle(file);
  if (!ok) return std::nullopt;
  return CFolderIdentity{info.dwVolumeSerialNumber,
                         (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

bool PathExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool CreateFolder(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) != FALSE; }

}  // namespace qv
