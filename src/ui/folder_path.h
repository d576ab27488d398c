// Checks of a folder path typed into the folder chooser, and the creation of
// its missing levels.
#pragma once

#include <cstdint>
#include <string_view>

namespace qv {

enum EFolderCheck : int32_t {
  kFolderOk = 0,          // the path is well formed (and, when creating, exists)
  kFolderInvalid = 1,     // not a path the chooser takes
  kFolderNotCreated = 2,  // a level could not be created
};

// Whether text can name one folder level: not empty, no blank, tab or period
// at either end, none of " * / : < > ? \ |. Bytes from 0x80 up are allowed.
bool IsValidPathComponent(std::string_view text);

// A path is taken when it starts with a drive ("E:\") or has a backslash as
// its first or second character, and every level after the first three
// characters is a valid component, with no backslash at the end. With create
// set, every missing level is created in turn.
EFolderCheck CheckOrCreatePath(std::string_view path, bool create);

}  // namespace qv
