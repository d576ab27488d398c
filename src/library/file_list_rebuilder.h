// The file list rebuilt on a background thread, so that a scan of a large or
// slow folder tree never holds up the tray, the dialogs or the show. The list
// on disk is replaced only when a scan has run to its end; until then the show
// goes on reading the old one. A rebuild asked for while one runs restarts it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "library/excluded_files.h"
#include "platform/latest_job_worker.h"

namespace qv {

// A further list of the same rebuild: its folders and where it is written.
struct CListToRebuild {
  std::vector<std::string> folders;
  std::string indexPath;
};

struct CRebuildJob {
  std::vector<std::string> folders;
  bool subfolders = true;
  std::string indexPath;
  CExcludedFiles excluded{};  // the worker's own copy
  // The lists of monitors with pictures of their own, made after the first.
  std::vector<CListToRebuild> moreLists{};
};

struct CRebuildOutcome {
  bool bWritten = false;      // the new lists are in place
  int32_t nFiles = 0;         // pictures found for the first list (and written when bWritten)
  std::string strError;       // why a list could not be written
  std::string strFailedPath;  // the list that could not be written
};

// How far a rebuild got, for a reader on another thread.
struct CRebuildProgress {
  std::atomic<int32_t> found{0};     // pictures found so far
  std::atomic<bool> writing{false};  // the scan is done, the list is being written
};

// Scans and writes on the calling thread. Nothing is written once token says
// the job is no longer wanted.
CRebuildOutcome RunRebuild(CRebuildJob& job, const CJobToken& token, CRebuildProgress& progress);

class CFileListRebuilder {
 public:
  // finished runs on the worker thread when an outcome can be taken.
  explicit CFileListRebuilder(std::function<void()> finished = {});

  // Starts a rebuild; one that is running stops and its list is not written.
  void Start(CRebuildJob job);
  // Stops the running rebuild; the list on disk stays as it was.
  void Cancel() { m_worker.Cancel(); }
  bool Running() const { return m_worker.Working(); }
  // Pictures found so far by the running (or last) rebuild.
  int32_t FilesFound() const { return m_progress.found.load(std::memory_order_relaxed); }
  bool Writing() const { return m_progress.writing.load(std::memory_order_relaxed); }
  // The outcome of the newest rebuild once it has ended, once.
  std::optional<CRebuildOutcome> Take() { return m_worker.Take(); }

 private:
  CRebuildProgress m_progress;
  CLatestJobWorker<CRebuildJob, CRebuildOutcome> m_worker;
};

}  // namespace qv
