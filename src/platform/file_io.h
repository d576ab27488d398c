// File services: size queries and whole-file replacement that never leaves a
// half-written file behind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace qv {

// The file's size from its status, without opening it; false when there is no such file.
bool QueryFileSize(const std::string& path, uint64_t& size);

// Writes a new version of a file into "<path>.tmp" beside it and puts it in
// place only on Commit, once every byte is written and flushed. Until then, and
// whenever a step fails, the old file stays as it was and the temporary file is
// removed.
class CAtomicFileWriter {
 public:
  explicit CAtomicFileWriter(std::string path, size_t bufferSize = 4096);
  CAtomicFileWriter(const CAtomicFileWriter&) = delete;
  CAtomicFileWriter& operator=(const CAtomicFileWriter&) = delete;
  ~CAtomicFileWriter();

  bool IsOpen() const { return m_pFile != nullptr; }
  // false once any write failed; later writes are ignored.
  bool Write(const void* data, size_t size);
  bool Commit();
  // Why the file could not be written, in the system's words; empty while
  // nothing failed.
  const std::string& Error() const { return m_strError; }

 private:
  void Abandon();
  // Keeps the reason of the first failure (the system's last error now).
  void Fail();

  std::string m_strPath;
  std::string m_strTempPath;
  FILE* m_pFile = nullptr;
  bool m_bFailed = false;
  std::string m_strError;
};

// Moves to a 64-bit offset from the start of the file.
bool SeekFile(FILE* file, int64_t offset);

// Platform steps of the replacement.
bool FlushFileToDisk(FILE* file);
bool ReplaceFileWith(const std::string& tempPath, const std::string& path);
bool RemoveFile(const std::string& path);

}  // namespace qv
