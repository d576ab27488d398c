#include "library/file_index.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

#include "platform/file_io.h"
#include "platform/text.h"

namespace qv {

namespace {
struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};
}  // namespace

int32_t CFileIndex::GetFileCount() const {
  uint64_t size = 0;
  if (!QueryFileSize(m_strPath, size)) return 0;
  const uint64_t count = size / kFileIndexRecordSize;
  return count > static_cast<uint64_t>(std::numeric_limits<int32_t>::max()) ? std::numeric_limits<int32_t>::max()
                                                                            : static_cast<int32_t>(count);
}

std::string CFileIndex::GetFileAt(int32_t index) const {
  if (index < 0 || index >= GetFileCount()) return std::string();
  std::unique_ptr<FILE, FileCloser> file(std::fopen(m_strPath.c_str(), "rb"));
  if (!file) return std::string();
  // 64-bit offset: records beyond 2 GiB are still reachable.
  const int64_t offset = static_cast<int64_t>(index) * static_cast<int64_t>(kFileIndexRecordSize);
  if (!SeekFile(file.get(), offset)) return std::string();
  std::array<char, kFileIndexRecordSize> record{};
  const size_t got = std::fread(record.data(), 1, record.size(), file.get());
  const void* nul = std::memchr(record.data(), '\0', got);
  const size_t length = nul ? static_cast<size_t>(static_cast<const char*>(nul) - record.data()) : got;
  return StoredTextToUtf8(std::string(record.data(), length));
}

bool CFileIndex::Write(const std::vector<std::string>& paths, std::string* error,
                       const std::function<bool()>& wanted) const {
  CAtomicFileWriter writer(m_strPath, 1 << 16);
  const auto failed = [&] {
    if (error) *error = writer.Error();
    return false;
  };
  if (!writer.IsOpen()) return failed();
  std::array<char, kFileIndexRecordSize> record;
  for (const auto& path : paths) {
    if (path.size() > kFileIndexMaxPath) continue;
    record.fill('\0');
    std::memcpy(record.data(), path.data(), path.size());
    if (!writer.Write(record.data(), record.size())) return failed();
  }
  // Given up before the new list replaces the old one: the old one stays.
  if (wanted && !wanted()) return false;
  return writer.Commit() || failed();
}

}  // namespace qv
