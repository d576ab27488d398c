#include "library/excluded_files.h"

#include <cstdio>
#include <memory>

#include "platform/file_io.h"
#include "platform/paths.h"
#include "platform/system_error.h"
#include "platform/text.h"

namespace qv {

namespace {

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};

enum class EFileRead { kRead, kMissing, kFailed };

EFileRead ReadWholeFile(const std::string& path, std::string& text, std::string& error) {
  text.clear();
  std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    const uint32_t code = LastSystemError();
    uint64_t size = 0;
    if (!QueryFileSize(path, size)) return EFileRead::kMissing;
    error = SystemErrorText(code);
    return EFileRead::kFailed;
  }
  char buffer[4096];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) text.append(buffer, n);
  if (std::ferror(file.get())) {
    error = SystemErrorText(LastSystemError());
    return EFileRead::kFailed;
  }
  return EFileRead::kRead;
}

bool IsBlank(std::string_view line) { return line.find_first_not_of(" \t") == std::string_view::npos; }

}  // namespace

// Only Windows separates names with '\', and its file names ignore case.
CExcludedFiles::CExcludedFiles() : CExcludedFiles(PathSeparator() == '\\') {}

CExcludedFiles::CExcludedFiles(bool ignoreCase) : m_bIgnoreCase(ignoreCase) {}

std::string CExcludedFiles::ComparisonKey(std::string_view path, bool ignoreCase) {
  std::string key(path);
  if (ignoreCase) {
    for (char& c : key) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return key;
}

bool CExcludedFiles::Load(const std::string& file) {
  m_strPath = file;
  std::string text, error;
  const bool read = ReadWholeFile(file, text, error) == EFileRead::kRead;
  Parse(read ? text : std::string_view());
  return read;
}

void CExcludedFiles::Parse(std::string_view text) {
  m_setKeys.clear();
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);  // an editor's byte-order mark
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (IsBlank(line) || line.front() == '#') continue;
    m_setKeys.insert(ComparisonKey(StoredTextToUtf8(std::string(line)), m_bIgnoreCase));
  }
}

bool CExcludedFiles::Contains(const std::string& path) const {
  return !m_setKeys.empty() && m_setKeys.count(ComparisonKey(path, m_bIgnoreCase)) > 0;
}

bool CExcludedFiles::Add(const std::string& path, std::string* error) {
  const auto fail = [error](std::string why) {
    if (error) *error = std::move(why);
    return false;
  };
  // A line break would split the path, a leading '#' make it a comment.
  if (IsBlank(path) || path.find_first_of("\r\n") != std::string::npos || path.front() == '#')
    return fail("The path \"" + path + "\" cannot be listed in " + m_strPath + ".");
  if (m_strPath.empty()) return fail("There is no file for the excluded pictures.");
  // The file as it is now: the user may have edited it since it was loaded.
  std::string text, why;
  if (ReadWholeFile(m_strPath, text, why) == EFileRead::kFailed) return fail(why);
  Parse(text);
  if (Contains(path)) return true;
  std::string lineEnd = "\r\n";
  const size_t firstEnd = text.find('\n');
  if (firstEnd != std::string::npos && (firstEnd == 0 || text[firstEnd - 1] != '\r')) lineEnd = "\n";
  if (text.empty()) text = std::string(kHeader) + lineEnd;
  if (text.back() != '\n') text += lineEnd;
  text += path;
  text += lineEnd;
  CAtomicFileWriter writer(m_strPath);
  if (!writer.Write(text.data(), text.size()) || !writer.Commit()) return fail(writer.Error());
  m_setKeys.insert(ComparisonKey(path, m_bIgnoreCase));
  return true;
}

}  // namespace qv
