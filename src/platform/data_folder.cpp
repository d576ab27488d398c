#include "platform/data_folder.h"

#include <cstdio>
#include <memory>

#include "platform/directory.h"
#include "platform/paths.h"

namespace qv {

namespace {

constexpr const char* kOwnFolderName = "Quadrivue";
// Monitors named in numbered data files (settings-2.idx, ...).
constexpr int kMonitorFiles = 32;

struct CFileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};
using CFilePtr = std::unique_ptr<FILE, CFileCloser>;

// from copied to to, which must not exist yet; a copy cut short is removed.
bool CopyNewFile(const std::string& from, const std::string& to) {
  const CFilePtr in(std::fopen(from.c_str(), "rb"));
  if (!in) return false;
  CFilePtr out(std::fopen(to.c_str(), "wb"));
  if (!out) return false;
  char buffer[16384];
  bool ok = true;
  for (size_t n; ok && (n = std::fread(buffer, 1, sizeof buffer, in.get())) > 0;)
    ok = std::fwrite(buffer, 1, n, out.get()) == n;
  ok = ok && !std::ferror(in.get());
  ok = std::fclose(out.release()) == 0 && ok;
  if (!ok) std::remove(to.c_str());
  return ok;
}

}  // namespace

std::vector<std::string> DataFileNames() {
  std::vector<std::string> names{"settings.idx", "filelist.idx", "excluded.txt"};
  for (int monitor = 1; monitor <= kMonitorFiles; ++monitor) {
    for (const char* stem : {"settings-", "filelist-"}) {
      std::string name = stem;
      name += std::to_string(monitor);
      name += ".idx";
      names.push_back(std::move(name));
    }
  }
  return names;
}

bool FolderWritable(const std::string& folder) {
  const std::string probe = JoinPath(folder, ".quadrivue-write-test");
  FILE* file = std::fopen(probe.c_str(), "wb");
  if (!file) return false;
  const bool written = std::fputc('q', file) != EOF;
  const bool closed = std::fclose(file) == 0;
  std::remove(probe.c_str());
  return written && closed;
}

std::string ChooseDataFolder(const std::string& programFolder, const std::string& userFolder,
                             const std::function<bool(const std::string&)>& canWrite) {
  if (canWrite(programFolder) || userFolder.empty()) return programFolder;
  const std::string own = JoinPath(userFolder, kOwnFolderName);
  if (!PathExists(own) && !CreateFolder(own)) return programFolder;
  // Read once from beside the program; from now on written here.
  for (const std::string& name : DataFileNames()) {
    const std::string from = JoinPath(programFolder, name);
    const std::string to = JoinPath(own, name);
    if (!PathExists(to) && PathExists(from)) CopyNewFile(from, to);
  }
  return own;
}

const std::string& GetDataFolder() {
  static const std::string folder = ChooseDataFolder(GetProgramFolder(), GetUserDataRoot(), FolderWritable);
  return folder;
}

}  // namespace qv
