#include <io.h>
#include <windows.h>

#include "platform/file_io.h"

namespace qv {

bool QueryFileSize(const std::string& path, uint64_t& size) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return false;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
  size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return true;
}

bool SeekFile(FILE* file, int64_t offset) { return _fseeki64(file, offset, SEEK_SET) == 0; }

bool FlushFileToDisk(FILE* file) { return _commit(_fileno(file)) == 0; }

bool ReplaceFileWith(const std::string& tempPath, const std::string& path) {
  // A reader that has the file open for a moment (the show reads one entry
  // of the list, a virus scanner looks at the new file) blocks the
  // replacement: try again for about a second before giving up.
  for (int attempt = 0;; ++attempt) {
    if (MoveFileExA(tempPath.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
    const DWORD error = GetLastError();
    const bool busy = error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION;
    if (!busy || attempt >= 40) return false;
    Sleep(25);
    SetLastError(error);
  }
}

bool RemoveFile(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

}  // namespace qv
