// The pictures the user never wants to see again: excluded.txt beside the
// settings, one path a line, which the user may edit. Lines starting with '#'
// are comments; blank lines are ignored; lines end in CRLF or LF. Text that is
// not UTF-8 is read as stored text of an older build. A line naming no file
// still counts (its drive may be unmounted) and is never dropped.
#pragma once

#include <set>
#include <string>
#include <string_view>

namespace qv {

class CExcludedFiles {
 public:
  static constexpr const char* kFileName = "excluded.txt";
  // The first line of a new file.
  static constexpr const char* kHeader =
      "# Quadrivue never shows the pictures listed here, one path a line. You may edit this file; lines starting "
      "with # are comments.";

  // Paths compare as the file system of this platform does.
  CExcludedFiles();
  // ignoreCase: ASCII letters compare regardless of case (Windows).
  explicit CExcludedFiles(bool ignoreCase);

  // Reads the list from file, which Add then extends. A missing or unreadable
  // file excludes nothing; false when it could not be read.
  bool Load(const std::string& file);
  bool Contains(const std::string& path) const;
  bool Empty() const { return m_setKeys.empty(); }
  size_t Count() const { return m_setKeys.size(); }
  const std::string& Path() const { return m_strPath; }

  // Adds path to the list and to the file unless the file names it already:
  // the file is written again with every line it has kept as it was (a new
  // file starts with kHeader). False with the reason in error (if given) when
  // the file could not be read or written; it then stays as it was.
  bool Add(const std::string& path, std::string* error = nullptr);

  // The form in which paths are compared: the path itself, with ASCII letters
  // in lower case when ignoreCase.
  static std::string ComparisonKey(std::string_view path, bool ignoreCase);

 private:
  void Parse(std::string_view text);

  bool m_bIgnoreCase;
  std::string m_strPath;
  std::set<std::string> m_setKeys;
};

}  // namespace qv
