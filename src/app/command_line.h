// The command-line words of Quadrivue.exe. A start while a copy already runs
// (same session, same program folder) hands its word to that copy and ends:
//   (none)      the running copy brings its settings dialog to the front
//   /next       the next picture on every show now
//   /pause      the slide timers stop (as the tray menu's "Pause Slideshow")
//   /resume     they start again
//   /settings   the settings dialog, opened or brought to the front
//   /exit       the running copy ends
// Words are taken in any case, with '/' or '-' before them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qv {

enum class ERemoteCommand : uint32_t {
  kNone = 0,
  kNext = 1,
  kPause = 2,
  kResume = 3,
  kSettings = 4,
  kExit = 5,
};

struct CCommandLine {
  ERemoteCommand command = ERemoteCommand::kNone;
  std::string strError;  // not empty: the words could not be understood
};

// The words after the program's name.
CCommandLine ParseCommandLine(const std::vector<std::string>& words);

// The usage text for a message box.
std::string CommandLineUsage();

// What a word does when no copy runs yet: start one (and then do it, for
// /settings), or nothing at all (/pause, /exit: there is nothing to pause or
// end).
bool StartsWhenAlone(ERemoteCommand command);

// What the running copy does when a second start hands it this word.
ERemoteCommand CommandForRunningCopy(ERemoteCommand command);

// A number that names this program folder among copies in other folders:
// FNV-1a over the folder's bytes, ASCII letters folded to lower case.
uint64_t InstanceKey(const std::string& programFolder);

}  // namespace qv
