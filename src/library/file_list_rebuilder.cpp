#include "library/file_list_rebuilder.h"

#include "library/file_index.h"
#include "library/file_list_scan.h"

namespace qv {

namespace {

// One list scanned and written; false when it was not wanted any more or
// could not be written (outcome says why).
bool RebuildList(const std::vector<std::string>& folders, const std::string& indexPath, CRebuildJob& job,
                 const CJobToken& token, CRebuildProgress& progress, CRebuildOutcome& outcome, bool first) {
  std::vector<std::string> files;
  for (const auto& folder : folders) {
    // Each folder is a walk of its own, as in a rebuild on the spot.
    CFolderScan(files, job.subfolders, nullptr, &progress.found, &token, &job.excluded).Scan(folder);
    if (!token.Wanted()) return false;
  }
  if (first) outcome.nFiles = static_cast<int32_t>(files.size());
  progress.writing.store(true, std::memory_order_relaxed);
  if (CFileIndex(indexPath).Write(files, &outcome.strError, [&token] { return token.Wanted(); })) {
    progress.writing.store(false, std::memory_order_relaxed);
    return true;
  }
  outcome.strFailedPath = indexPath;
  return false;
}

}  // namespace

CRebuildOutcome RunRebuild(CRebuildJob& job, const CJobToken& token, CRebuildProgress& progress) {
  CRebuildOutcome outcome;
  progress.found.store(0, std::memory_order_relaxed);
  progress.writing.store(false, std::memory_order_relaxed);
  if (!RebuildList(job.folders, job.indexPath, job, token, progress, outcome, true)) return outcome;
  for (const auto& list : job.moreLists) {
    if (!RebuildList(list.folders, list.indexPath, job, token, progress, outcome, false)) return outcome;
  }
  progress.writing.store(true, std::memory_order_relaxed);
  outcome.bWritten = true;
  return outcome;
}

CFileListRebuilder::CFileListRebuilder(std::function<void()> finished)
    : m_worker([this](CRebuildJob& job, const CJobToken& token) { return RunRebuild(job, token, m_progress); },
               [finished = std::move(finished)](uint64_t) {
                 if (finished) finished();
               }) {}

void CFileListRebuilder::Start(CRebuildJob job) { m_worker.Post(std::move(job)); }

}  // namespace qv
