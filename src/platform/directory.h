// Enumerating the entries of one folder.
#pragma once

#include <functional>
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

// Whether a file or folder of that name exists.
bool PathExists(const std::string& path);
// Creates one folder (its parent must exist); false when it could not be made.
bool CreateFolder(const std::string& path);

}  // namespace qv
