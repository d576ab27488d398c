#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "platform/directory.h"

namespace qv {

namespace {

struct DirCloser {
  void operator()(DIR* d) const { closedir(d); }
};

bool IsDirectoryEntry(DIR* dir, const dirent* entry) {
  if (entry->d_type == DT_DIR) return true;
  if (entry->d_type != DT_UNKNOWN && entry->d_type != DT_LNK) return false;
  // The file system did not say, or the entry is a link: ask for the target.
  struct stat st;
  if (fstatat(dirfd(dir), entry->d_name, &st, 0) != 0) return false;
  return S_ISDIR(st.st_mode);
}

}  // namespace

bool EnumerateDirectory(const std::string& folder, const std::function<void(const CDirEntry&)>& visit) {
  std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
  if (!dir) return false;
  while (const dirent* entry = readdir(dir.get())) {
    visit(CDirEntry{std::string_view(entry->d_name), IsDirectoryEntry(dir.get(), entry)});
  }
  return true;
}

std::optional<CFolderIdentity> QueryFolderIdentity(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return std::nullopt;
  return CFolderIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

bool PathExists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

bool CreateFolder(const std::string& path) { return mkdir(path.c_str(), 0777) == 0; }

}  // namespace qv
