#include "library/file_list_scan.h"

#include <cstdio>

#include "library/excluded_files.h"
#include "library/file_index.h"
#include "library/show_app.h"
#include "platform/paths.h"

namespace qv {

CFolderScan::CFolderScan(std::vector<std::string>& files, bool subfolders, CProgressControl* progress,
                         std::atomic<int32_t>* found, const CJobToken* token, const CExcludedFiles* excluded)
    : m_files(files),
      m_bSubfolders(subfolders),
      m_pProgress(progress),
      m_pFound(found),
      m_pToken(token),
      m_pExcluded(excluded) {}

void CFolderScan::Scan(std::string folder) {
  const char separator = PathSeparator();
  if (folder.empty() || Stopped()) return;  // an empty entry names no folder (not the drive root)
  if (folder.back() != separator) folder += separator;
  // Nothing below a folder this long fits in an index record.
  if (folder.size() >= kFileIndexMaxPath) return;
  if (const auto identity = QueryFolderIdentity(folder)) {
    if (!m_visited.insert(*identity).second) return;
  }
  EnumerateDirectory(folder, [&](const CDirEntry& entry) {
    if (Stopped() || entry.name.empty() || entry.name == "." || entry.name == "..") return;
    std::string path = folder;
    path.append(entry.name);
    if (entry.isDirectory) {
      if (m_bSubfolders) Scan(std::move(path));
      return;
    }
    // A path a record cannot hold is left out rather than stored cut short.
    if (path.size() > kFileIndexMaxPath || !CShowApp::IsPictureFile(path)) return;
    if (m_pExcluded && m_pExcluded->Contains(path)) return;
    Add(std::move(path));
  });
}

void CFolderScan::Add(std::string path) {
  m_files.push_back(std::move(path));
  if (m_pFound) m_pFound->store(static_cast<int32_t>(m_files.size()), std::memory_order_relaxed);
  if (m_pProgress && m_files.size() % 10 == 0) {
    char text[64];
    std::snprintf(text, sizeof text, "Files so far: %d", static_cast<int>(m_files.size()));
    m_pProgress->SetText(text);
  }
}

}  // namespace qv
