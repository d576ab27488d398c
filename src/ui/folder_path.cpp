#include "ui/folder_path.h"

#include <algorithm>
#include <string>

#include "platform/directory.h"

namespace qv {

namespace {

constexpr std::string_view kForbidden = "\"*/:<>?\\|";
constexpr size_t kPrefix = 3;  // "E:\", or the start of "\\server"

bool IsEdgeCharacter(char c) { return c == '\t' || c == ' ' || c == '.'; }

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool HasTakenForm(std::string_view path) {
  if (path.size() >= 3 && IsAsciiLetter(path[0]) && path[1] == ':' && path[2] == '\\') return true;
  return path[0] == '\\' || (path.size() >= 2 && path[1] == '\\');
}

}  // namespace

bool IsValidPathComponent(std::string_view text) {
  if (text.empty()) return false;
  if (IsEdgeCharacter(text.front()) || IsEdgeCharacter(text.back())) return false;
  return text.find_first_of(kForbidden) == std::string_view::npos;
}

EFolderCheck CheckOrCreatePath(std::string_view path, bool create) {
  if (path.empty() || !HasTakenForm(path)) return kFolderInvalid;
  // One or two characters leave no level to walk: "\" alone names no folder.
  if (path.size() < kPrefix) return kFolderInvalid;
  if (path.size() == kPrefix) {
    if (!create) return kFolderOk;
    return PathExists(std::string(path)) ? kFolderOk : kFolderNotCreated;
  }
  size_t start = kPrefix;
  for (;;) {
    const size_t end = std::min(path.find('\\', start), path.size());
    if (!IsValidPathComponent(path.substr(start, end - start))) return kFolderInvalid;
    if (create) {
      const std::string sofar(path.substr(0, end));
      CreateFolder(sofar);  // an existing level is fine; what counts is that it exists
      if (!PathExists(sofar)) return kFolderNotCreated;
    }
    if (end == path.size()) return kFolderOk;
    start = end + 1;
    if (start == path.size()) return kFolderInvalid;  // ends with a backslash
  }
}

}  // namespace qv
