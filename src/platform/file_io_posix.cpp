#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "platform/file_io.h"

namespace qv {

bool QueryFileSize(const std::string& path, uint64_t& size) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  size = static_cast<uint64_t>(st.st_size);
  return true;
}

bool SeekFile(FILE* file, int64_t offset) { return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0; }

bool FlushFileToDisk(FILE* file) { return fsync(fileno(file)) == 0; }

bool ReplaceFileWith(const std::string& tempPath, const std::string& path) {
  return std::rename(tempPath.c_str(), path.c_str()) == 0;
}

bool RemoveFile(const std::string& path) { return std::remove(path.c_str()) == 0; }

}  // namespace qv
