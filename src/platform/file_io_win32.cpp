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
  return MoveFileExA(tempPath.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool RemoveFile(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

}  // namespace qv
