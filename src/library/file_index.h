// filelist.idx: the picture file list as fixed 500-byte records.
//
// Record i starts at 500 * i and holds one path in the ANSI code page, a NUL
// and zero bytes to the end of the record. No header; the count is the file's
// size divided by 500, a trailing partial record ignored.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qv {

inline constexpr size_t kFileIndexRecordSize = 500;
// The longest path a record holds: the rest of the record is its NUL.
inline constexpr size_t kFileIndexMaxPath = kFileIndexRecordSize - 1;

class CFileIndex {
 public:
  explicit CFileIndex(std::string path = std::string()) : m_strPath(std::move(path)) {}

  const std::string& Path() const { return m_strPath; }
  void SetPath(std::string path) { m_strPath = std::move(path); }

  // Number of records; 0 when there is no index file.
  int32_t GetFileCount() const;
  // The path in record index; empty when index is outside the list or the file
  // cannot be read.
  std::string GetFileAt(int32_t index) const;
  // Replaces the index with paths (each at most kFileIndexMaxPath bytes; longer
  // ones are left out). The old file stays when anything fails, and when
  // wanted (if given) turns false before the new file is put in place; error
  // (if given) then says why in the system's words.
  bool Write(const std::vector<std::string>& paths, std::string* error = nullptr,
             const std::function<bool()>& wanted = {}) const;

 private:
  std::string m_strPath;
};

}  // namespace qv
