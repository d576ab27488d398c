// Enumerating the entries of one folder.
#pragma once

#include <compare>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace qv {

struct CDirEntry {
  std::string_view name;  // the entry's own name, no folder
  bool isDirectory;
};

// Calls visit for every entry of folder, "." and ".." included, in the order
// the file system returns them; hidden and system entries are not filtered.
// folder must end with the path separator (on Windows the pattern is
// folder + "*.*"). Returns false when nothing could be enumerated.
bool EnumerateDirectory(const std::string& folder, const std::function<void(const CDirEntry&)>& visit);

// What tells one folder from another whatever path reaches it: the volume
// (device) and the folder's number on it (inode, file index). Two paths that
// lead to the same folder through links give the same identity.
struct CFolderIdentity {
  uint64_t volume = 0;
  uint64_t file = 0;
  friend auto operator<=>(const CFolderIdentity&, const CFolderIdentity&) = default;
};

// The identity of the folder at path, links and reparse points followed;
// nothing when it cannot be read. path may end with the separator.
std::optional<CFolderIdentity> QueryFolderIdentity(const std::string& path);

// Whether a file or folder of that name exists.
bool PathExists(const std::string& path);
// Creates one folder (its parent must exist); false when it could not be made.
bool CreateFolder(const std::string& path);

}  // namespace qv
