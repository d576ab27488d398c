#include "app/command_line.h"

#include <array>
#include <string_view>

namespace qv {

namespace {

struct CWord {
  std::string_view text;
  ERemoteCommand command;
};

constexpr std::array<CWord, 5> kWords{{
    {"next", ERemoteCommand::kNext},
    {"pause", ERemoteCommand::kPause},
    {"resume", ERemoteCommand::kResume},
    {"settings", ERemoteCommand::kSettings},
    {"exit", ERemoteCommand::kExit},
}};

char FoldCase(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string Folded(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = FoldCase(c);
  return out;
}

}  // namespace

CCommandLine ParseCommandLine(const std::vector<std::string>& words) {
  CCommandLine result;
  if (words.empty()) return result;
  if (words.size() > 1) {
    result.strError = "Quadrivue takes one word at a time.";
    return result;
  }
  const std::string& word = words.front();
  if (word.size() > 1 && (word[0] == '/' || word[0] == '-')) {
    const bool doubleDash = word[0] == '-' && word[1] == '-';
    const std::string name = Folded(std::string_view(word).substr(doubleDash ? 2 : 1));
    for (const auto& known : kWords) {
      if (name == known.text) {
        result.command = known.command;
        return result;
      }
    }
  }
  result.strError = "Quadrivue does not know the word \"" + word + "\".";
  return result;
}

std::string CommandLineUsage() {
  return "Start Quadrivue without a word, or with one of:\n\n"
         "/next\tthe next picture now\n"
         "/pause\tstop the slideshow\n"
         "/resume\tstart it again\n"
         "/settings\topen the settings\n"
         "/exit\tend Quadrivue";
}

bool StartsWhenAlone(ERemoteCommand command) {
  return command != ERemoteCommand::kPause && command != ERemoteCommand::kExit;
}

ERemoteCommand CommandForRunningCopy(ERemoteCommand command) {
  // Starting the program again is the everyday way to find it: its settings.
  return command == ERemoteCommand::kNone ? ERemoteCommand::kSettings : command;
}

uint64_t InstanceKey(const std::string& programFolder) {
  uint64_t hash = 14695981039346656037ull;
  for (const char c : programFolder) {
    hash ^= static_cast<uint8_t>(FoldCase(c));
    hash *= 1099511628211ull;
  }
  return hash;
}

}  // namespace qv
