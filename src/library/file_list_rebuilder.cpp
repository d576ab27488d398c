#include "library/file_list_rebuilder.h"

#include "library/file_index.h"
#include "library/file_list_scan.h"

namespace qv {

CRebuildOutcome RunRebuild(CRebuildJob& job, const CJobToken& token, CRebuildProgress& progress) {
  CRebuildOutcome outcome;
  progress.found.store(0, std::memory_order_relaxed);
  progress.writing.store(false, std::memory_order_relaxed);
  std::vector<std::string> files;
  for (const auto& folder : job.folders) {
    // Each folder is a walk of its own, as in a rebuild on the spot.
    CFolderScan(files, job.subfolders, nullptr, &progress.found, &token, &job.excluded).Scan(folder);
    if (!token.Wanted()) return outcome;
  }
  outcome.nFiles = static_cast<int32_t>(files.size());
  progress.writing.store(true, std::memory_order_relaxed);
  outcome.bWritten = CFileIndex(job.indexPath).Write(files, &outcome.strError, [&token] { return token.Wanted(); });
  return outcome;
}

CFileListRebuilder::CFileListRebuilder(std::function<void()> finished)
    : m_worker([this](CRebuildJob& job, const CJobToken& token) { return RunRebuild(job, token, m_progress); },
               [finished = std::move(finished)](uint64_t) {
                 if (finished) finished();
               }) {}

void CFileListRebuilder::Start(CRebuildJob job) { m_worker.Post(std::move(job)); }

}  // namespace qv
