// The scan of picture folders behind the file list: every file with a picture
// extension, depth-first in the order the file system lists the entries.
#pragma once

#include <atomic>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "platform/directory.h"
#include "platform/latest_job_worker.h"

namespace qv {

class CExcludedFiles;

// Where a scan reports how far it got in words ("Files so far: 20").
class CProgressControl {
 public:
  virtual ~CProgressControl() = default;
  virtual void SetText(const std::string& text) = 0;
};

// One walk of the scan: the folders it has entered, by identity, so that a
// folder reached again through a link (to itself, to a parent, a second link
// to the same place) is not listed again. The path-length limit still ends a
// walk where identities cannot be read.
class CFolderScan {
 public:
  // Appends to files. progress gets "Files so far: %d" every tenth file;
  // found (if given) counts every file as it is added, for a reader on
  // another thread; the walk stops early once token (if given) is no longer
  // wanted. Files that excluded (if given) contains are left out.
  CFolderScan(std::vector<std::string>& files, bool subfolders, CProgressControl* progress = nullptr,
              std::atomic<int32_t>* found = nullptr, const CJobToken* token = nullptr,
              const CExcludedFiles* excluded = nullptr);
  void Scan(std::string folder);
  bool Stopped() const { return m_pToken && !m_pToken->Wanted(); }

 private:
  void Add(std::string path);

  std::vector<std::string>& m_files;
  bool m_bSubfolders;
  CProgressControl* m_pProgress;
  std::atomic<int32_t>* m_pFound;
  const CJobToken* m_pToken;
  const CExcludedFiles* m_pExcluded;
  std::set<CFolderIdentity> m_visited;
};

}  // namespace qv
